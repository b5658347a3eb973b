# Replayed in every build: the shared regression archives, read where they are kept.
file(GLOB FUZZ_REPLAY_INPUTS CONFIGURE_DEPENDS ${DE_TESTDATA_DIR}/regressions/*.rar)
if(NOT DE_FUZZ)
  return()
endif()

# Seeds: the real RAR 2.0 archives (LZ, multimedia, encrypted, comments), small archives
# written by vkd itself, plain and encrypted, and small compressed ones (LZ, multimedia,
# solid, encrypted) from the tests' stream writer, made when the fuzz target is built.
set(archive_seed_input ${CMAKE_CURRENT_BINARY_DIR}/archive-seed-input)
set(archive_seeds ${CMAKE_CURRENT_BINARY_DIR}/archive-seeds)
file(MAKE_DIRECTORY ${archive_seeds})
file(WRITE ${archive_seed_input}/data/scripts/demo.txt "INSERT_EFFECT layer background\n")
file(WRITE ${archive_seed_input}/data/empty.txt "")
file(WRITE ${archive_seed_input}/data/shaders/fp_blur.cg "uniform sampler2D t; void main() {}\n")
add_executable(fuzz_archive_seeds_writer ${CMAKE_CURRENT_SOURCE_DIR}/archive_seeds.cpp)
target_link_libraries(fuzz_archive_seeds_writer PRIVATE demoengine_core)
target_include_directories(fuzz_archive_seeds_writer PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(fuzz_archive_seeds_writer PRIVATE
  DE_TESTDATA_DIR="${DE_TESTDATA_DIR}" DE_BINARY_DIR="${CMAKE_BINARY_DIR}")
set(archive_written_seeds lz.rar audio.rar solid.rar encrypted-lz.rar)
list(TRANSFORM archive_written_seeds PREPEND ${archive_seeds}/)
add_custom_command(
  OUTPUT ${archive_written_seeds}
  COMMAND fuzz_archive_seeds_writer ${archive_seeds}
  DEPENDS fuzz_archive_seeds_writer
  COMMENT "Writing the archive fuzzer's compressed seeds")
add_custom_command(
  OUTPUT ${archive_seeds}/encrypted.vkd ${archive_seeds}/plain.vkd
  COMMAND $<TARGET_FILE:vkd> pack --mtime 0 -p password ${archive_seeds}/encrypted.vkd ${archive_seed_input}
  COMMAND $<TARGET_FILE:vkd> pack --mtime 0 ${archive_seeds}/plain.vkd ${archive_seed_input}
  DEPENDS vkd
  COMMENT "Packing the archive fuzzer's seeds")
add_custom_target(fuzz_archive_seeds
  DEPENDS ${archive_seeds}/encrypted.vkd ${archive_seeds}/plain.vkd ${archive_written_seeds})
add_dependencies(fuzz_archive fuzz_archive_seeds)
set(FUZZ_SEED_DIRS ${DE_TESTDATA_DIR}/rar20 ${archive_seeds})
