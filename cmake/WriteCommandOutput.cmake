# cmake -DCOMMAND=program;arg;... -DOUTPUT=file [-DWORKING_DIRECTORY=dir] -P WriteCommandOutput.cmake
# Runs the command and writes its standard output to the file; a failing command fails the
# step and leaves no file behind.
execute_process(COMMAND ${COMMAND} WORKING_DIRECTORY ${WORKING_DIRECTORY}
                OUTPUT_FILE ${OUTPUT}.part RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "${COMMAND} failed: ${result}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
