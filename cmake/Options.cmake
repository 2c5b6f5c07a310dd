# Every option of this build, with what it means, and the combinations that
# cannot work, refused before anything is searched for or built. Included by
# the top-level CMakeLists.txt right after project(); nothing else declares an
# option or a cache entry that a user is meant to set. CMakePresets.json names
# the combinations that the Makefile, CI and IDEs build.
#
# What a build holds.
option(VHDX_BUILD_APP "The programs vhdx-inspect and vhdx-inspect-json (need Boost.ProgramOptions)" ON)
option(VHDX_BUILD_TESTS "The tests, when GoogleTest is found (bash scripts/install-deps.sh test)" ON)
option(VHDX_WITH_PYTHON "The Python module vhdx_inspect and its tests (pybind11-dev, python3-dev)" ON)
option(VHDX_BENCH "The benchmarks and the floor program of bench/ (Google Benchmark where found)" OFF)
option(VHDX_FUZZ "The libFuzzer target of fuzz/ (clang, with VHDX_SANITIZE)" OFF)
# The views (views/) are built whatever is chosen here. The Python module
# also links the programs' folder walk (Boost.Filesystem), so it is left out
# without the programs.

# How it is compiled.
option(VHDX_WERROR "Treat compiler warnings as errors (every preset sets it)" OFF)
option(VHDX_SANITIZE "AddressSanitizer and UndefinedBehaviorSanitizer over everything built" OFF)
option(VHDX_TSAN "ThreadSanitizer over everything built (make test-tsan)" OFF)

# Optional dependencies of the tests and benchmarks. Each one may be missing,
# or switched off here: what needs it is then not built, or its tests skip
# with the reason (the preset "minimal" switches all of them off, so that a
# build without them is tried on every CI run).
option(VHDX_WITH_FUSE3 "The slow-storage mount of the parallel-scan tests and benchmarks (libfuse3)" ON)
option(VHDX_WITH_EXTERNAL_READERS "Tests against qemu-img, vhdiinfo and sgdisk" ON)
option(VHDX_WITH_VALGRIND "The hostile corpus under valgrind's memcheck" ON)
option(VHDX_WITH_STRACE "The trace of the program's opens and writes (strace)" ON)
option(VHDX_WITH_JSONSCHEMA "The schema check of vhdx-inspect-json's output (python3-jsonschema)" ON)

# Where things are found and installed.
set(VHDX_BOOST_SOURCES "" CACHE PATH
    "Boost sources to compile instead of find_package(Boost), for the Windows cross build (scripts/fetch-boost-sources.sh)")
set(VHDX_BOOST_SOURCE "" CACHE STRING
    "Debian source package=version of the Boost the Windows program is compiled from; when set, a native build's Boost must be it")
set(VHDX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, compiled in a cross build")
set(VHDX_NLOHMANN_JSON_HEADERS /usr/include/nlohmann CACHE PATH "The host's nlohmann/json headers, for a cross build")
set(VHDX_PYTHON3 /usr/bin/python3 CACHE FILEPATH
    "The Python interpreter the module vhdx_inspect is built for (-DPython3_EXECUTABLE=PATH sets it too)")
set(VHDX_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
    "Where the Python package vhdx_inspect is installed, under the prefix")
set(CPACK_PACKAGE_CONTACT "vhdx-inspect developers <vhdx-inspect@invalid>" CACHE STRING
    "Maintainer of the Debian package")
# The programs that the tests look for (VHDX_VALGRIND, VHDX_STRACE, ...) are
# find_program() results in the cache; giving one names another copy.

# Combinations that cannot work: stop here, saying why.
if(VHDX_SANITIZE AND VHDX_TSAN)
  message(FATAL_ERROR "VHDX_SANITIZE and VHDX_TSAN cannot be combined: AddressSanitizer and ThreadSanitizer "
                      "cannot share one program. Configure a build folder for each (the presets sanitize and tsan).")
endif()
if(VHDX_FUZZ)
  if(NOT VHDX_SANITIZE)
    message(FATAL_ERROR "VHDX_FUZZ needs VHDX_SANITIZE=ON: the fuzz target runs under AddressSanitizer and "
                        "UndefinedBehaviorSanitizer. Use the preset fuzz (make fuzz).")
  endif()
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VHDX_FUZZ needs clang for libFuzzer, but the compiler is ${CMAKE_CXX_COMPILER_ID} "
                        "(${CMAKE_CXX_COMPILER}). Configure a new build folder with -DCMAKE_CXX_COMPILER=clang++-14, "
                        "or use the preset fuzz (make fuzz).")
  endif()
endif()
