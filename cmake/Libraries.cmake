# One library per folder of src/: de_library(FOLDER [USES LIBRARY...]) builds every .cpp of
# src/FOLDER (and the folders below it) into the static library de_FOLDER, which may include
# its own headers and those of the libraries it uses, directly or through them, and nothing
# else. Each library compiles against its own include folder in the build tree that holds
# links to exactly those source folders, so an include against the direction does not build.
# The libraries a folder uses are named in its CMakeLists.txt; they are linked PUBLIC.

set(DE_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/layer-include)

function(de_library folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "USES")
  set(target de_${folder})
  # What this library may see: itself and everything the libraries it uses may see.
  set(visible ${folder})
  foreach(used ${arg_USES})
    get_property(more GLOBAL PROPERTY DE_VISIBLE_${used})
    if(NOT more)
      message(FATAL_ERROR "${target} uses ${used}, which is not defined yet: define the lower library first")
    endif()
    list(APPEND visible ${more})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  list(SORT visible)
  set_property(GLOBAL PROPERTY DE_VISIBLE_de_${folder} ${visible})

  set(dir ${DE_INCLUDE_ROOT}/${folder})
  file(MAKE_DIRECTORY ${dir})
  # A link left by an earlier configuration would let the library see too much.
  file(GLOB links LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  foreach(link ${links})
    if(NOT link IN_LIST visible)
      file(REMOVE ${dir}/${link})
    endif()
  endforeach()
  foreach(f ${visible})
    if(NOT EXISTS ${dir}/${f})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${f} ${dir}/${f} SYMBOLIC)
    endif()
  endforeach()

  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${dir})
  target_compile_options(${target} PRIVATE ${DE_WARNINGS})
  target_link_libraries(${target} PUBLIC ${arg_USES})
endfunction()
