# The layer boundaries, checked by building: a file compiled with one layer's include folder
# cannot reach a layer above it, and SDL stays inside the platform layer.
set(base_includes -I${CMAKE_BINARY_DIR}/layer-include/base)
add_test(NAME Layers.AReversedIncludeDoesNotBuild
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only ${base_includes}
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/reversed_include.cpp)
set_tests_properties(Layers.AReversedIncludeDoesNotBuild PROPERTIES
  PASS_REGULAR_EXPRESSION "demoSystem/DemoClock.h'? file not found|demoSystem/DemoClock.h: No such file")
add_test(NAME Layers.AnAllowedIncludeBuilds
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only ${base_includes}
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/allowed_include.cpp)
add_test(NAME Layers.SdlStaysInThePlatformLayer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-boundaries.sh ${CMAKE_SOURCE_DIR} $<TARGET_FILE:vkd>)
