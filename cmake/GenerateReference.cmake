# Writes the bash completion script and the manual page from the tables the
# program reads, by asking the built program for them:
#   cmake -DWENDLE=path/to/wendle -DTEMPLATE=dist/wendle.1.in -DOUTPUT_DIR=dir -P GenerateReference.cmake
execute_process(COMMAND ${WENDLE} --print-completion OUTPUT_VARIABLE completion RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wendle --print-completion failed: ${failed}")
endif()
execute_process(COMMAND ${WENDLE} --print-manual-sections OUTPUT_VARIABLE sections RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "wendle --print-manual-sections failed: ${failed}")
endif()
file(READ ${TEMPLATE} manual)
string(REPLACE ".\\\" @GENERATED_SECTIONS@\n" "${sections}" manual "${manual}")
file(WRITE ${OUTPUT_DIR}/wendle.bash-completion "${completion}")
file(WRITE ${OUTPUT_DIR}/wendle.1 "${manual}")
