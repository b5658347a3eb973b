# The end-to-end tests run the built program and vkd on the sample demo, so building the
# test builds those first. Without the sample demo (DE_BUILD_DEMO=OFF) the tests skip.
if(TARGET SampleDemo_gltest)
  add_dependencies(SampleDemo_gltest demoengine)
  if(TARGET vkd)
    add_dependencies(SampleDemo_gltest vkd)
  endif()
  if(DE_BUILD_DEMO AND EXISTS ${CMAKE_SOURCE_DIR}/demo/CMakeLists.txt)
    add_dependencies(SampleDemo_gltest demo_data)
  endif()
endif()
if(TARGET GenScenes_test AND TARGET gen-scenes)
  add_dependencies(GenScenes_test gen-scenes)
endif()
