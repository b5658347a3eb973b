# The library boundaries, checked by building: a file compiled with one library's include
# folder cannot reach a library above it or beside it, SDL stays inside the platform library,
# and no two modules of src/ include each other in a circle.
set(layer_includes ${CMAKE_BINARY_DIR}/layer-include)
add_test(NAME Layers.AReversedIncludeDoesNotBuild
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${layer_includes}/base
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/reversed_include.cpp)
set_tests_properties(Layers.AReversedIncludeDoesNotBuild PROPERTIES
  PASS_REGULAR_EXPRESSION "demoSystem/DemoClock.h'? file not found|demoSystem/DemoClock.h: No such file")
add_test(NAME Layers.TheArchiveSeesOnlyItself
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${layer_includes}/archive
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/archive_sees_base.cpp)
set_tests_properties(Layers.TheArchiveSeesOnlyItself PROPERTIES
  PASS_REGULAR_EXPRESSION "base/Error.h'? file not found|base/Error.h: No such file")
add_test(NAME Layers.TheArchiveSeesItsOwnHeaders
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${layer_includes}/archive
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/archive_sees_itself.cpp)
add_test(NAME Layers.AnAllowedIncludeBuilds
  COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -I${layer_includes}/base
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/allowed_include.cpp)
add_test(NAME Layers.SdlStaysInThePlatformLayer
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-boundaries.sh ${CMAKE_SOURCE_DIR} $<TARGET_FILE:vkd>)

# Include circles and relative includes: none in src/, where the check must see every module
# the tree holds; it finds the circle planted in its fixture (naming just the two modules in
# it), the "../" include planted in another, and fails on a root that holds nothing.
file(GLOB_RECURSE layer_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h ${CMAKE_SOURCE_DIR}/src/*.cpp
     ${CMAKE_SOURCE_DIR}/src/*.inl)
list(TRANSFORM layer_sources REPLACE "\\.(h|cpp|inl)$" "")
list(REMOVE_DUPLICATES layer_sources)
list(LENGTH layer_sources layer_modules)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME Layers.NoIncludeCirclesInTheSources
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-include-circles.py
          --modules ${layer_modules} ${CMAKE_SOURCE_DIR}/src)
add_test(NAME Layers.TheCircleCheckFailsOnARootWithoutTheSources
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-include-circles.py
          --modules ${layer_modules} ${CMAKE_SOURCE_DIR}/no-such-folder)
set_tests_properties(Layers.TheCircleCheckFailsOnARootWithoutTheSources PROPERTIES
  PASS_REGULAR_EXPRESSION "^found 0 modules under .*no-such-folder, the tree holds [1-9][0-9]*\n$")
add_test(NAME Layers.APlantedRelativeIncludeIsRefused
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-include-circles.py
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/planted-relative)
set_tests_properties(Layers.APlantedRelativeIncludeIsRefused PROPERTIES
  PASS_REGULAR_EXPRESSION "^base/Sneaky.cpp: relative include \"../demoSystem/DemoClock.h\" \\(name the header from the source root\\)\n$")
add_test(NAME Layers.APlantedIncludeCircleIsFound
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/layers/check-include-circles.py
          ${CMAKE_CURRENT_SOURCE_DIR}/layers/planted-circle)
set_tests_properties(Layers.APlantedIncludeCircleIsFound PROPERTIES
  PASS_REGULAR_EXPRESSION "^include circle: alpha/Left <-> beta/Right\n$")
