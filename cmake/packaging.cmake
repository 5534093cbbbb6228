# What a Linux install puts in place, and the Debian package that carries it (CPack DEB):
#   bin/ZV-16x16_FirmwareUpdater, bin/zv16x16-update (the console updater)
#   share/applications/<app id>.desktop, share/metainfo/<app id>.metainfo.xml
#   share/icons/hicolor/<size>/apps/<app id>.png
#   the udev rule, in udev's own rules directory
#   share/doc/<package>/copyright and changelog.gz
#   share/man/man1/ZV-16x16_FirmwareUpdater.1.gz and zv16x16-update.1.gz
# scripts/package builds the package.
include(GNUInstallDirs)
set(ZV_PACKAGE zv16x16-firmware-updater)

install(TARGETS ZV-16x16_FirmwareUpdater zv16x16-update RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${ZV_DIST_DIR}/${ZV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZV_DIST_DIR}/${ZV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icon theme's usual sizes, drawn by make_icon at build time.
set(icons "")
foreach(size 16 24 32 48 64 128 256)
  set(icon ${ZV_DIST_DIR}/icons/${size}x${size}/${ZV_APP_ID}.png)
  add_custom_command(OUTPUT ${icon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZV_DIST_DIR}/icons/${size}x${size}
    COMMAND make_icon --png ${size} ${icon}
    DEPENDS make_icon COMMENT "Drawing the ${size}x${size} icon")
  list(APPEND icons ${icon})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

set(changelog ${ZV_DIST_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/dist/linux/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/dist/linux/changelog COMMENT "Compressing the changelog")
set(manuals "")
foreach(page ZV-16x16_FirmwareUpdater zv16x16-update)
  set(manual ${ZV_DIST_DIR}/${page}.1.gz)
  add_custom_command(OUTPUT ${manual}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/dist/linux/${page}.1 > ${manual}
    DEPENDS ${PROJECT_SOURCE_DIR}/dist/linux/${page}.1
    COMMENT "Compressing the manual page of ${page}")
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  list(APPEND manuals ${manual})
endforeach()
add_custom_target(desktop_files ALL DEPENDS ${icons} ${changelog} ${manuals})
install(FILES ${PROJECT_SOURCE_DIR}/dist/linux/copyright ${changelog}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${ZV_PACKAGE})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ZV_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${ZV_PUBLISHER}")
set(CPACK_PACKAGE_CONTACT "${ZV_PUBLISHER} <updater@zv16x16.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware updater for the ZV-16x16 USB audio interface")
# The package's long description; CPack puts the summary in front and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
The updater carries the newest firmware for the ZV-16x16. It checks the
interface's product, version, build and checksum, refuses a wrong product, an
older image and one already installed, and sends the image paced by the
interface, verifying the result. Sleep and shutdown are held off meanwhile.

The package gives the desktop user access to the interface (a udev rule) and
puts the updater in the application menu.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from the shared libraries it links
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ZV_DIST_DIR}/postinst ${ZV_DIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
