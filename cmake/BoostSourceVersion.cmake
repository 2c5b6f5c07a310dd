# Checks that the Boost a native build found is Debian's source package and
# version that the Windows program is compiled from, so that both programs,
# tested against one expected text, print the same help text and option
# errors:
#
#   -DVHDX_BOOST_SOURCE=<source package>=<source version>
#
# scripts/windows-test.sh sets it to what scripts/fetch-boost-sources.sh
# fetched (the "source" file of its folder); empty: no check. Declared in
# cmake/Options.cmake.

function(vhdx_check_boost_source)
  if(NOT VHDX_BOOST_SOURCE)
    return()
  endif()
  set(header "${Boost_INCLUDE_DIRS}/boost/version.hpp")
  execute_process(COMMAND dpkg-query -S "${header}"
                  OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "The Windows program is compiled from Boost ${VHDX_BOOST_SOURCE}, but this build's "
                        "Boost (${header}, version ${Boost_VERSION}) belongs to no Debian package, so its version "
                        "cannot be compared: build with Debian's Boost.")
  endif()
  string(REGEX REPLACE ": /.*$" "" package "${owner}")
  execute_process(COMMAND dpkg-query -W "-f=\${source:Package}=\${source:Version}" "${package}"
                  OUTPUT_VARIABLE found RESULT_VARIABLE failed ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed OR NOT found STREQUAL VHDX_BOOST_SOURCE)
    message(FATAL_ERROR "This build links Boost ${found} (package ${package}, ${header}), but the Windows "
                        "program is compiled from Boost ${VHDX_BOOST_SOURCE}: both are tested against one "
                        "expected text and must be the same. Fetch the Windows program's sources again "
                        "(scripts/fetch-boost-sources.sh follows the installed Boost), or install that version.")
  endif()
  message(STATUS "Boost ${found}: the same as the Windows program's")
endfunction()
