# Installation layout and the Debian packages (cpack -G DEB in the build
# folder):
#   kv770-cli   kvctl, kvsim and their manual pages; no desktop libraries, so
#               a headless provisioning host can install it
#   kv770-tool  kvtool with its desktop entry, icon and manual page; depends
#               on kv770-cli
# Each carries its copyright file and the changelog. Binaries are stripped;
# the manual pages and the changelog are gzip-compressed at build time.
include(GNUInstallDirs)

set(KV_PACKAGE_MAINTAINER "KV-770 Tool maintainers <kv770-tool@example.org>"
    CACHE STRING "Maintainer field of the Debian packages")

# Compressed as Debian wants them: gzip -9, no name or time stamp inside (-n),
# so the same input makes the same package.
set(KV_DOC_OUT ${CMAKE_BINARY_DIR}/packaging)
set(KV_DOC_GZ)
foreach(doc docs/kvctl.1 docs/kvsim.1 docs/kvtool.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${KV_DOC_OUT}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_DOC_OUT}
    COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/${doc} > ${KV_DOC_OUT}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${doc}
    COMMENT "Compressing ${doc}"
    VERBATIM)
  list(APPEND KV_DOC_GZ ${KV_DOC_OUT}/${name}.gz)
endforeach()
add_custom_target(package_docs ALL DEPENDS ${KV_DOC_GZ})

function(kv_package_docs component package)
  install(FILES packaging/copyright ${KV_DOC_OUT}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

install(TARGETS kvctl kvsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
install(FILES ${KV_DOC_OUT}/kvctl.1.gz ${KV_DOC_OUT}/kvsim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
kv_package_docs(cli kv770-cli)
set(CPACK_COMPONENTS_ALL cli)
if(TARGET kvtool)
  install(TARGETS kvtool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT desktop)
  install(FILES packaging/kvtool.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT desktop)
  install(FILES src/res/kvtool_icon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
          RENAME kvtool.png COMPONENT desktop)
  install(FILES ${KV_DOC_OUT}/kvtool.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT desktop)
  kv_package_docs(desktop kv770-tool)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "kv770-tool")
set(CPACK_PACKAGE_VENDOR "KV-770 Tool maintainers")
set(CPACK_PACKAGE_CONTACT "${KV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE "kv770-tool")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Library dependencies come from the binaries themselves (dpkg-shlibdeps,
# which needs the file program); the desktop package also depends on the
# terminal package of the same version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DESKTOP_DEPENDS cli)

set(CPACK_DEBIAN_CLI_PACKAGE_NAME "kv770-cli")
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_CLI_DESCRIPTION [=[set up KV-770 GPS trackers from a terminal
kvctl does the KV-770 Tool's jobs from a terminal, for scripts and for a box
of trackers at once: it lists tracker ports, probes trackers and reads their
IMEI and firmware version, reads their settings into settings files (or as
JSON), writes and checks settings files on them, compares them, and sends
new firmware to the boot loader over YMODEM. One thread serves each tracker
and a summary table follows.
.
kvsim is a simulated tracker on a pseudo-terminal, for trying kvctl and the
desktop tool without hardware.
.
The package needs no desktop libraries, so a headless provisioning host can
install it.]=])

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME "kv770-tool")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION [=[set up KV-770 GPS trackers: settings, settings files, firmware
kvtool is the desktop tool for the KV-770 personal GPS/GSM tracker. Connect a
tracker by USB and the tool finds its port, connects and shows its IMEI,
reads and writes the tracker's settings, keeps them in settings files and
sends new firmware to its boot loader.
.
The terminal program kvctl and the simulated tracker kvsim come with the
kv770-cli package, which this package depends on.]=])
include(CPack)
