# Installation layout and the Debian package: kvtool, kvctl and kvsim, the
# desktop entry with the tool's icon, and kvctl's manual page.
include(GNUInstallDirs)

install(TARGETS kvctl kvsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kvtool)
  install(TARGETS kvtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/kvtool.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES src/res/kvtool_icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
          RENAME kvtool.png)
endif()
install(FILES docs/kvctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kv770-tool")
set(CPACK_PACKAGE_VENDOR "KV-770 Tool team")
set(CPACK_PACKAGE_CONTACT "KV-770 Tool team <kv770-tool@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Set up KV-770 GPS trackers: settings, settings files, firmware")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
# Library dependencies come from the binaries themselves (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
include(CPack)
