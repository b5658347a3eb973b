# Writes the source that holds the version and the git description of the checkout.
# Run at every build (cmake -P), it rewrites OUTPUT only when the text changes, so an
# unchanged checkout rebuilds nothing.
# Input: SOURCE_DIR, VERSION, TEMPLATE, OUTPUT.
set(DESCRIPTION "")
# Only a checkout of this tree counts, not a git repository that merely contains it.
if(EXISTS ${SOURCE_DIR}/.git)
  find_program(GIT_PROGRAM git)
  if(GIT_PROGRAM)
    execute_process(
      COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} describe --tags --always --dirty
      OUTPUT_VARIABLE DESCRIPTION
      OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET
      RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT DESCRIPTION MATCHES "^[A-Za-z0-9._+-]+$")
      set(DESCRIPTION "")
    endif()
  endif()
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
