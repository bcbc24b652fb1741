include(CMakePackageConfigHelpers)

install(TARGETS tern keelconfig tern-decode EXPORT ternTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS ${TERN_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/ platform/keelconfig/include/ platform/decode/include/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")

set(TERN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tern)
install(EXPORT ternTargets NAMESPACE tern:: DESTINATION ${TERN_CMAKE_DIR})
configure_package_config_file(cmake/ternConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ternConfig.cmake INSTALL_DESTINATION ${TERN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ternConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ternConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/ternConfigVersion.cmake DESTINATION ${TERN_CMAKE_DIR})

# The .pc file finds its prefix from where it lies, so an installed tree can be moved.
file(RELATIVE_PATH TERN_PC_PREFIX_REL "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(cmake/tern.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tern.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tern.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
