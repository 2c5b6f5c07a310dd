set(testsupport_test_sources
  checksums_test.cpp
  plugin_image_test.cpp
  scratch.cpp)
if(NOT WIN32)
  # qemu-img, vhdiinfo and sgdisk are run as POSIX programs.
  list(APPEND testsupport_test_sources external_tools_test.cpp required_tool_test.cpp)
endif()
add_executable(testsupport_tests ${testsupport_test_sources})
target_link_libraries(testsupport_tests PRIVATE vhdx_testsupport GTest::gtest_main vhdx_warnings)
if(NOT WIN32)
  target_link_libraries(testsupport_tests PRIVATE vhdx_test_programs)
endif()
gtest_discover_tests(testsupport_tests DISCOVERY_TIMEOUT 60)
