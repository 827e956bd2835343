# Installation: the shared library with its SONAME, the public headers under
# include/quorel, a pkg-config file, a CMake package with an imported target,
# and the udev rule template for the device nodes.
include(CMakePackageConfigHelpers)

install(TARGETS QuorelSdk_470KX_PLU EXPORT QuorelSdkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB quorel_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${quorel_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorel)

install(EXPORT QuorelSdkTargets NAMESPACE Quorel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuorelSdk)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuorelSdkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorelSdkConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuorelSdk)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorelSdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorelSdkConfig.cmake ${PROJECT_BINARY_DIR}/QuorelSdkConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/QuorelSdk)

# The pkg-config file locates the prefix relative to itself, so an installed
# tree can be moved (or installed with --prefix) and still be found.
file(RELATIVE_PATH QUOREL_PC_PREFIX_FROM_PCDIR "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorel-sdk.pc.in ${PROJECT_BINARY_DIR}/quorel-sdk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorel-sdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(GLOB quorel_udev_rules ${PROJECT_SOURCE_DIR}/packaging/udev/*.rules)
if(quorel_udev_rules)
  install(FILES ${quorel_udev_rules} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorel/udev)
endif()
