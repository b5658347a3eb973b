# The programs every scene loads, built into the engine from the sample demo's shader files
# (one source of truth): DefaultShaders.cpp is written into the build tree whenever one of
# them changes. Run with -P, this file is the generator itself.
if(CMAKE_SCRIPT_MODE_FILE)
  # -DOUTPUT=<file.cpp> -DSOURCES=<shader|shader|...>
  string(REPLACE "|" ";" sources "${SOURCES}")
  set(text "// Generated from demo/data/shaders by src/engine/DefaultShaders.cmake: do not edit.\n")
  string(APPEND text "#include \"engine/DefaultShaders.h\"\n\nnamespace {\n\n")
  string(APPEND text "struct BuiltInShader {\n  const char* name;\n  const char* source;\n};\n\n")
  string(APPEND text "constexpr BuiltInShader kBuiltIn[] = {\n")
  foreach(source ${sources})
    get_filename_component(name ${source} NAME)
    file(READ ${source} content)
    string(APPEND text "    {\"data/shaders/${name}\", R\"DE_SHADER(${content})DE_SHADER\"},\n")
  endforeach()
  string(APPEND text "};\n\n}  // namespace\n\n")
  string(APPEND text "const char* defaultShaderSource(const std::string& fileName) {\n")
  string(APPEND text "  for (const BuiltInShader& shader : kBuiltIn)\n")
  string(APPEND text "    if (fileName == shader.name) return shader.source;\n  return nullptr;\n}\n")
  file(WRITE ${OUTPUT} "${text}")
  return()
endif()

set(DE_DEFAULT_SHADER_NAMES vp_depth_info.cg fp_depth_info.cg vp_light_distance.cg fp_light_distance.cg
    fp_shadowmap.cg vp_omni_shadowmap.cg fp_omni_shadowmap.cg)
set(DE_DEFAULT_SHADER_FILES ${DE_DEFAULT_SHADER_NAMES})
list(TRANSFORM DE_DEFAULT_SHADER_FILES PREPEND ${CMAKE_SOURCE_DIR}/demo/data/shaders/)
string(REPLACE ";" "|" DE_DEFAULT_SHADER_LIST "${DE_DEFAULT_SHADER_FILES}")
set(DE_DEFAULT_SHADERS_CPP ${CMAKE_BINARY_DIR}/generated/engine/DefaultShaders.cpp)
add_custom_command(
  OUTPUT ${DE_DEFAULT_SHADERS_CPP}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${DE_DEFAULT_SHADERS_CPP} -DSOURCES=${DE_DEFAULT_SHADER_LIST}
          -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${DE_DEFAULT_SHADER_FILES} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Building the scene programs into the engine"
  VERBATIM)
target_sources(de_engine PRIVATE ${DE_DEFAULT_SHADERS_CPP})
