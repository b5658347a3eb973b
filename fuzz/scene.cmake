# Seeds: small scene files written by the engine's own writer when the fuzz target is built.
set(scene_seeds ${CMAKE_CURRENT_BINARY_DIR}/scene-seeds)
file(MAKE_DIRECTORY ${scene_seeds})
add_executable(fuzz_scene_seeds_writer ${CMAKE_CURRENT_SOURCE_DIR}/scene_seeds.cpp)
target_link_libraries(fuzz_scene_seeds_writer PRIVATE de_sceneFile)
target_include_directories(fuzz_scene_seeds_writer PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_custom_command(
  OUTPUT ${scene_seeds}/walls.vkg ${scene_seeds}/every.vkg ${scene_seeds}/empty.vkg
  COMMAND fuzz_scene_seeds_writer ${scene_seeds}
  DEPENDS fuzz_scene_seeds_writer
  COMMENT "Writing the scene fuzzer's seeds")
add_custom_target(fuzz_scene_seeds DEPENDS ${scene_seeds}/walls.vkg ${scene_seeds}/every.vkg ${scene_seeds}/empty.vkg)
add_dependencies(${program} fuzz_scene_seeds)
set(FUZZ_SEED_DIRS ${scene_seeds})
