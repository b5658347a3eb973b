# The programs' version: PROJECT_VERSION, from the project() line of the top-level
# CMakeLists.txt and nowhere else. de_version holds it together with the git description of
# the checkout, which is taken again at every build (the tree may have changed since the
# configure); the generated source changes only when the description does.
set(DE_VERSION_SOURCE ${CMAKE_BINARY_DIR}/generated/BuildVersion.cpp)
set(DE_VERSION_WRITE ${CMAKE_COMMAND}
  -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
  -DTEMPLATE=${CMAKE_CURRENT_LIST_DIR}/BuildVersion.cpp.in -DOUTPUT=${DE_VERSION_SOURCE}
  -P ${CMAKE_CURRENT_LIST_DIR}/WriteVersion.cmake)
execute_process(COMMAND ${DE_VERSION_WRITE})
add_custom_target(de_version_describe
  COMMAND ${DE_VERSION_WRITE}
  BYPRODUCTS ${DE_VERSION_SOURCE}
  VERBATIM)

add_library(de_version STATIC ${CMAKE_SOURCE_DIR}/src/version/Version.cpp ${DE_VERSION_SOURCE})
add_dependencies(de_version de_version_describe)
# Included as "version/Version.h" through a folder that holds only this library.
set(DE_VERSION_INCLUDE ${CMAKE_BINARY_DIR}/version-include)
file(MAKE_DIRECTORY ${DE_VERSION_INCLUDE})
if(NOT EXISTS ${DE_VERSION_INCLUDE}/version)
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/version ${DE_VERSION_INCLUDE}/version SYMBOLIC)
endif()
target_include_directories(de_version PUBLIC ${DE_VERSION_INCLUDE})
target_compile_options(de_version PRIVATE ${DE_WARNINGS})
