# Renders the manual page as plain ASCII text with CR LF line ends, for
# readers on Windows (the zip of the Windows program):
#
#   cmake -DGROFF=<groff> -DINPUT=<page.1> -DOUTPUT=<page.txt> -P RenderManualAsText.cmake
execute_process(
  COMMAND ${GROFF} -t -man -Tascii -P-cbou -rLL=78n ${INPUT}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status
  ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR errors)
  message(FATAL_ERROR "groff could not render ${INPUT}: ${errors}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
