# The ZV-16x16's identity, read from the one header that names it (zvtest/usbdevs_ids.h), the
# updater's application id (app/zv_app_id.h), and what the build writes from them into
# dist/linux/: the udev rule that gives the desktop
# user access to the interface, the desktop entry, the AppStream metainfo and the package's
# maintainer scripts.
#
# Sets ZV_USB_VENDOR_ID and ZV_USB_PRODUCT_ID (four lower-case hex digits each), ZV_APP_ID,
# ZV_PRODUCT_NAME and ZV_PUBLISHER,
# ZV_UDEV_RULES_DIR (where udev reads packaged rules), ZV_UDEV_RULE (the generated rule) and
# ZV_DIST_DIR (where the generated files are).

set(ids_header ${PROJECT_SOURCE_DIR}/zvtest/usbdevs_ids.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ids_header})
file(READ ${ids_header} ids_text)
foreach(kind VENDOR PRODUCT)
  if(NOT ids_text MATCHES "#define ZV_USB_${kind}_ID 0x([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f])\n")
    message(FATAL_ERROR "${ids_header}: no ZV_USB_${kind}_ID of four hex digits")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" ZV_USB_${kind}_ID)
  string(TOUPPER "${CMAKE_MATCH_1}" ZV_USB_${kind}_ID_UPPER)  # as the kernel's modalias has it
endforeach()
set(app_id_header ${PROJECT_SOURCE_DIR}/app/zv_app_id.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${app_id_header})
file(READ ${app_id_header} app_id_text)
if(NOT app_id_text MATCHES "#define ZV_APP_ID \"([a-z0-9_.]+)\"\n")
  message(FATAL_ERROR "${app_id_header}: no ZV_APP_ID of lower-case reverse DNS")
endif()
set(ZV_APP_ID ${CMAKE_MATCH_1})

# The updater's executable name: its application name too, and so the name of its one-copy
# guard, which the console updater, the Windows installer and the tests look for.
set(ZV_UPDATER_NAME ZV-16x16_FirmwareUpdater)

# The names the installers show.
set(ZV_PRODUCT_NAME "ZV-16x16 Firmware Updater")
set(ZV_PUBLISHER "The ZV-16x16 Firmware Updater developers")

# udev's own directory for rules that packages install; never /etc, which is the
# administrator's.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(udev_dir udev udevdir)
endif()
if(NOT udev_dir)
  set(udev_dir /lib/udev)
endif()
set(ZV_UDEV_RULES_DIR ${udev_dir}/rules.d)
set(ZV_UDEV_RULE_INSTALLED ${ZV_UDEV_RULES_DIR}/70-zv16x16.rules)

set(ZV_DIST_DIR ${PROJECT_BINARY_DIR}/dist/linux)
set(ZV_RELEASE_DATE 2026-12-08)  # of version ${PROJECT_VERSION}
set(dist ${PROJECT_SOURCE_DIR}/dist/linux)

# 70: before systemd's 73-seat-late.rules, which turns the uaccess tag into an ACL for the
# user at the seat.
set(ZV_UDEV_RULE ${ZV_DIST_DIR}/70-zv16x16.rules)
configure_file(${dist}/70-zv16x16.rules.in ${ZV_UDEV_RULE} @ONLY)
configure_file(${dist}/updater.desktop.in ${ZV_DIST_DIR}/${ZV_APP_ID}.desktop @ONLY)
configure_file(${dist}/updater.metainfo.xml.in ${ZV_DIST_DIR}/${ZV_APP_ID}.metainfo.xml @ONLY)
configure_file(${dist}/postinst.in ${ZV_DIST_DIR}/postinst @ONLY)
configure_file(${dist}/postrm.in ${ZV_DIST_DIR}/postrm @ONLY)
