# What `cmake --install` puts where, and the Debian package that CPack makes
# of it (`make package`, or `cpack -G DEB` in a build directory).
#
#   bin/vhdx-inspect                                   (programs/vhdx-inspect/CMakeLists.txt)
#   share/man/man1/vhdx-inspect.1.gz                   the manual page
#   share/bash-completion/completions/vhdx-inspect     loaded on demand by bash-completion
#   bin/vhdx-inspect-json, its manual page and completion, and
#   share/vhdx-inspect/vhdx-inspect-json.schema.json   (programs/vhdx-inspect-json/CMakeLists.txt)
#   bin/vhdx-inspect-report, its manual page and completion
#                                                      (programs/vhdx-inspect-report/CMakeLists.txt)
#
# The package's dependencies are computed from the installed binary by
# dpkg-shlibdeps (the Boost runtime libraries, the C++ runtime, libc), and its
# version is the project version. The library's headers, static library,
# CMake package and pkg-config file (cmake/LibraryPackage.cmake) make a second
# package, libvhdx-inspect-dev. The Python module (python/CMakeLists.txt),
# when it is built, makes a third, python3-vhdx-inspect:
#
#   lib/python3/dist-packages/vhdx_inspect/   __init__.py, __init__.pyi, py.typed
#                                             and _native<the interpreter's extension suffix>
#
# For Windows, CPack makes a zip instead (`make package-windows`):
# vhdx-inspect-<version>-win64.zip, with one folder holding
#
#   vhdx-inspect.exe      self-contained: it imports only Windows' own DLLs
#   README.md
#   vhdx-inspect.txt      the manual page as plain text with CR LF line ends
#   vhdx-inspect-json.exe, vhdx-inspect-json.txt, vhdx-inspect-json.schema.json
#   vhdx-inspect-report.exe, vhdx-inspect-report.txt
if(NOT VHDX_BUILD_APP)
  return()  # nothing to install without the program
endif()
include(GNUInstallDirs)

vhdx_install_program_documentation(vhdx-inspect vhdx)
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
endif()

set(CPACK_PACKAGE_NAME vhdx-inspect)
set(CPACK_PACKAGE_VENDOR "vhdx-inspect developers")
# CPACK_PACKAGE_CONTACT, the package's maintainer: cmake/Options.cmake.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "check plugin VHDX images and report what they hold")
set(CPACK_PACKAGE_DESCRIPTION
    "vhdx-inspect validates the VHDX header section, the metadata table and the\n\
plugin metadata of plugin VHDX images (VHDX images that carry a description\n\
of their disk's partition tables and volumes), prints what they hold, and\n\
verifies the stored primary GPT against the backup. It only reads images.\n\
vhdx-inspect-json makes the same checks and writes one JSON object per image;\n\
vhdx-inspect-report writes one self-contained HTML page with a map of each image.")
set(CPACK_PACKAGE_VERSION_MAJOR ${PROJECT_VERSION_MAJOR})
set(CPACK_PACKAGE_VERSION_MINOR ${PROJECT_VERSION_MINOR})
set(CPACK_PACKAGE_VERSION_PATCH ${PROJECT_VERSION_PATCH})
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(CPACK_GENERATOR DEB)
elseif(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vhdx-inspect-${PROJECT_VERSION}-win64)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)          # vhdx-inspect_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)           # needs dpkg-shlibdeps (dpkg-dev) and file
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, man-db")

# One Debian package per install component: the programs, and the library
# for C++ users (which a Windows build does not install).
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME vhdx-inspect)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvhdx-inspect-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)  # a static library and headers
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libstdc++-12-dev | libstdc++-dev")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "check plugin VHDX images: C++ library (development files)\nThe vhdx-inspect library inspects one plugin VHDX image and returns the\nresult as a value: the verdict, the first failed check with its line, the\nGPT verification's findings and every record read. This package holds the\nheaders, the static library, the CMake package (find_package(VhdxInspect))\nand the pkg-config file.")

# The Python module, for Debian's python3 of this build: the interpreter's
# version bounds it, as Debian's own python3-* extension packages are bound.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vhdx-inspect)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
if(VHDX_PYTHON3 AND NOT VHDX_PYTHON_MODULE_MISSING)
  execute_process(COMMAND ${VHDX_PYTHON3} -c "import sys; print('%d.%d' % sys.version_info[:2]); print('%d.%d' % (sys.version_info[0], sys.version_info[1] + 1))"
                  OUTPUT_VARIABLE python_versions OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REPLACE "\n" ";" python_versions "${python_versions}")
  list(GET python_versions 0 python_version)
  list(GET python_versions 1 python_next_version)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${python_version}~), python3 (<< ${python_next_version})")
endif()
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
    "check plugin VHDX images: Python 3 module\nThe module vhdx_inspect inspects plugin VHDX images from Python: by path\n(str, bytes or os.PathLike) or in memory, with the GIL released, and returns\nthe verdict, the failed check, the GPT findings and every record read;\nto_dict() is the object that vhdx-inspect-json writes. Type stubs included.")

include(CPack)
