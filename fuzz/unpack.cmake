if(NOT DE_FUZZ)
  return()
endif()

# Seeds: raw streams from the tests' stream writer, made when the fuzz target is built.
set(unpack_seeds ${CMAKE_CURRENT_BINARY_DIR}/unpack-seeds)
file(MAKE_DIRECTORY ${unpack_seeds})
add_executable(fuzz_unpack_seeds_writer ${CMAKE_CURRENT_SOURCE_DIR}/unpack_seeds.cpp)
target_link_libraries(fuzz_unpack_seeds_writer PRIVATE demoengine_core)
target_include_directories(fuzz_unpack_seeds_writer PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(fuzz_unpack_seeds_writer PRIVATE
  DE_TESTDATA_DIR="${DE_TESTDATA_DIR}" DE_BINARY_DIR="${CMAKE_BINARY_DIR}")
set(unpack_written_seeds lz solid-crossing audio window)
list(TRANSFORM unpack_written_seeds PREPEND ${unpack_seeds}/)
add_custom_command(
  OUTPUT ${unpack_written_seeds}
  COMMAND fuzz_unpack_seeds_writer ${unpack_seeds}
  DEPENDS fuzz_unpack_seeds_writer
  COMMENT "Writing the decoder fuzzer's seeds")
add_custom_target(fuzz_unpack_seeds DEPENDS ${unpack_written_seeds})
add_dependencies(fuzz_unpack fuzz_unpack_seeds)
set(FUZZ_SEED_DIRS ${unpack_seeds})
