# What a Windows user gets, in ${CMAKE_BINARY_DIR}/windows/ (target windows_dist):
#   ZV-16x16_FirmwareUpdater.exe                    the updater, stripped; needs only system DLLs
#   ZV-16x16 Firmware Updater <version> Setup.exe   the installer (NSIS, dist/windows/installer.nsi)
#   ZV-16x16_FirmwareUpdater-<version>-win32.zip    the portable updater with its licence
set(ZV_WINDOWS_DIST ${CMAKE_BINARY_DIR}/windows)
set(exe_name ZV-16x16_FirmwareUpdater.exe)
set(stripped ${ZV_WINDOWS_DIST}/${exe_name})
set(licence ${ZV_WINDOWS_DIST}/LICENSE.txt)
set(ZV_WINDOWS_INSTALLER "${ZV_WINDOWS_DIST}/${ZV_PRODUCT_NAME} ${PROJECT_VERSION} Setup.exe")
set(ZV_WINDOWS_ZIP ${ZV_WINDOWS_DIST}/ZV-16x16_FirmwareUpdater-${PROJECT_VERSION}-win32.zip)

find_program(MAKENSIS makensis REQUIRED)

add_custom_command(OUTPUT ${stripped} ${licence}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZV_WINDOWS_DIST}
  COMMAND ${CMAKE_STRIP} -o ${stripped} $<TARGET_FILE:ZV-16x16_FirmwareUpdater>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/res/LICENSE.txt ${licence}
  DEPENDS ZV-16x16_FirmwareUpdater ${PROJECT_SOURCE_DIR}/res/LICENSE.txt
  COMMENT "Stripping the updater")

# The size that Add or Remove Programs shows, in KiB: the updater, its licence and the
# uninstaller, taken from the stripped file when the installer is made.
add_custom_command(OUTPUT ${ZV_WINDOWS_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -DEXE=${stripped} -DLICENCE=${licence}
    -DMAKENSIS=${MAKENSIS} -DSCRIPT=${PROJECT_SOURCE_DIR}/dist/windows/installer.nsi
    -DNAME=${ZV_PRODUCT_NAME} -DVERSION=${PROJECT_VERSION} -DPUBLISHER=${ZV_PUBLISHER}
    -DEXE_NAME=${exe_name} -DICON=${ZV_ICON} -DOUTFILE=${ZV_WINDOWS_INSTALLER}
    -P ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake
  DEPENDS ${stripped} ${licence} ${PROJECT_SOURCE_DIR}/dist/windows/installer.nsi
    ${PROJECT_SOURCE_DIR}/cmake/make_installer.cmake app_icon
  COMMENT "Making the Windows installer")

add_custom_command(OUTPUT ${ZV_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${ZV_WINDOWS_ZIP} --format=zip ${exe_name} LICENSE.txt
  WORKING_DIRECTORY ${ZV_WINDOWS_DIST}
  DEPENDS ${stripped} ${licence}
  COMMENT "Packing the portable updater")

add_custom_target(windows_dist ALL DEPENDS ${ZV_WINDOWS_INSTALLER} ${ZV_WINDOWS_ZIP})
