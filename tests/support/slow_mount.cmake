# slow_mount: a FUSE pass-through that adds a fixed latency to every open and
# read (slow_mount.cpp), for the parallel-scan tests and `make bench`. Built
# when libfuse3 (Debian's libfuse3-dev) is there.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(VHDX_FUSE3 IMPORTED_TARGET fuse3)
endif()
if(VHDX_FUSE3_FOUND)
  find_package(Threads REQUIRED)
  add_executable(slow_mount slow_mount.cpp)
  target_link_libraries(slow_mount PRIVATE PkgConfig::VHDX_FUSE3 Threads::Threads vhdx_warnings)
else()
  message(STATUS "libfuse3 not found: no slow_mount, the slow-storage tests are skipped")
endif()
