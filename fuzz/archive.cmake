# Seeds: the real RAR 2.0 archives (LZ, multimedia, encrypted, comments) and small
# archives written by vkd itself, plain and encrypted, made when the fuzz target is built.
set(archive_seed_input ${CMAKE_CURRENT_BINARY_DIR}/archive-seed-input)
set(archive_seeds ${CMAKE_CURRENT_BINARY_DIR}/archive-seeds)
file(MAKE_DIRECTORY ${archive_seeds})
file(WRITE ${archive_seed_input}/data/scripts/demo.txt "INSERT_EFFECT layer background\n")
file(WRITE ${archive_seed_input}/data/empty.txt "")
file(WRITE ${archive_seed_input}/data/shaders/fp_blur.cg "uniform sampler2D t; void main() {}\n")
add_custom_command(
  OUTPUT ${archive_seeds}/encrypted.vkd ${archive_seeds}/plain.vkd
  COMMAND $<TARGET_FILE:vkd> pack --mtime 0 -p password ${archive_seeds}/encrypted.vkd ${archive_seed_input}
  COMMAND $<TARGET_FILE:vkd> pack --mtime 0 ${archive_seeds}/plain.vkd ${archive_seed_input}
  DEPENDS vkd
  COMMENT "Packing the archive fuzzer's seeds")
add_custom_target(fuzz_archive_seeds DEPENDS ${archive_seeds}/encrypted.vkd ${archive_seeds}/plain.vkd)
add_dependencies(fuzz_archive fuzz_archive_seeds)
set(FUZZ_SEED_DIRS ${DE_TESTDATA_DIR}/rar20 ${archive_seeds})
