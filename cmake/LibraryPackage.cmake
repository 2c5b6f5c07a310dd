# The library for C++ users, in the install component "development" (the
# Debian package libvhdx-inspect-dev):
#
#   include/vhdx_inspect/*.h                      the public headers
#   lib/<multiarch>/libvhdx_inspect.a             a static library: no ABI is promised yet
#   lib/<multiarch>/cmake/VhdxInspect/            find_package(VhdxInspect 2.0) → VhdxInspect::vhdx_inspect
#   lib/<multiarch>/pkgconfig/vhdx-inspect.pc     pkg-config --cflags --libs vhdx-inspect
#
# Versions with the same major number are compatible; the version is the
# project's.
#
# The Windows zip holds the programs only, so a Windows build installs no
# library.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VHDX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VhdxInspect)

install(TARGETS vhdx_inspect EXPORT VhdxInspectTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/vhdx_inspect DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
install(EXPORT VhdxInspectTargets NAMESPACE VhdxInspect:: DESTINATION ${VHDX_CMAKE_PACKAGE_DIR}
        COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VhdxInspectConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/VhdxInspectConfig.cmake
                              INSTALL_DESTINATION ${VHDX_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VhdxInspectConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VhdxInspectConfig.cmake ${PROJECT_BINARY_DIR}/VhdxInspectConfigVersion.cmake
        DESTINATION ${VHDX_CMAKE_PACKAGE_DIR} COMPONENT development)

# The prefix is found from the .pc file's own folder, so that the package
# works wherever the files are installed or staged.
file(RELATIVE_PATH VHDX_PC_UP_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/vhdx-inspect.pc.in ${PROJECT_BINARY_DIR}/vhdx-inspect.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vhdx-inspect.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
