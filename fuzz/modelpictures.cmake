# Seeds: the picture readers' own seed sets (PNG, JPEG, DDS, RGBE) reach every branch of the
# format check; the conversion takes whatever they decode.
foreach(format png jpeg dds rgbe)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${format})
    list(APPEND FUZZ_SEED_DIRS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${format})
  endif()
endforeach()
file(GLOB picture_seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds/png/* ${CMAKE_CURRENT_SOURCE_DIR}/seeds/jpeg/*)
list(APPEND FUZZ_REPLAY_INPUTS ${picture_seeds})
