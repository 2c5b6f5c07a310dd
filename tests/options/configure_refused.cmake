# Configures SOURCE in the empty folder SCRATCH with GENERATOR and the
# arguments after "--", and fails unless that configure fails with a message
# that holds EXPECTED (CMake wraps long messages: spaces and line ends count
# as one space).
#
#   cmake -DSOURCE=... -DSCRATCH=... -DGENERATOR=... -DEXPECTED=... -P configure_refused.cmake -- -DX=ON ...
set(arguments)
set(after_separator FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(index RANGE ${last})
  if(after_separator)
    list(APPEND arguments "${CMAKE_ARGV${index}}")
  elseif(CMAKE_ARGV${index} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()

file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${SCRATCH}" -G "${GENERATOR}" ${arguments}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE_RECURSE "${SCRATCH}")
string(REGEX REPLACE "[ \n]+" " " flowing "${output}")
list(JOIN arguments " " shown)
if(status EQUAL 0)
  message(FATAL_ERROR "cmake ${shown} configured; it should have been refused with: ${EXPECTED}\n${output}")
endif()
string(FIND "${flowing}" "${EXPECTED}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "cmake ${shown} failed (status ${status}) without saying: ${EXPECTED}\n${output}")
endif()
