# What a Windows user gets, in ${CMAKE_BINARY_DIR}/windows/ (target windows_dist):
#   ZV-16x16_FirmwareUpdater.exe                    the updater, stripped; needs only system DLLs
#   zv16x16-update.exe                              the console updater, stripped, likewise
#   ZV-16x16 Firmware Updater <version> Setup.exe   the installer (NSIS, dist/windows/installer.nsi)
#   ZV-16x16_FirmwareUpdater-<version>-win32.zip    the portable updaters with their licence, in
#                                                   a folder of their own
# Two builds of one commit give the same bytes (see ZV_REPRODUCIBLE). With ZV_SIGN_COMMAND
# (scripts/sign-windows, which scripts/build-windows passes when given a key) the updater,
# the uninstaller and the installer are signed.
set(ZV_WINDOWS_DIST ${CMAKE_BINARY_DIR}/windows)
set(exe_name ${ZV_UPDATER_NAME}.exe)
set(stripped ${ZV_WINDOWS_DIST}/${exe_name})
set(console_name zv16x16-update.exe)
set(console ${ZV_WINDOWS_DIST}/${console_name})
set(licence ${ZV_WINDOWS_DIST}/LICENSE.txt)
set(ZV_WINDOWS_INSTALLER "${ZV_WINDOWS_DIST}/${ZV_PRODUCT_NAME} ${PROJECT_VERSION} Setup.exe")
set(zip_folder ${ZV_UPDATER_NAME}-${PROJECT_VERSION})
set(ZV_WINDOWS_ZIP ${ZV_WINDOWS_DIST}/${zip_folder}-win32.zip)
set(ZV_SIGN_COMMAND "" CACHE STRING "Signs a Windows file in place, given its path; empty: unsigned")

find_program(MAKENSIS makensis REQUIRED)
# For a zip that two builds make alike; where they are missing (a build on Windows itself),
# CMake's own archiver makes it.
find_program(ZIP zip)
find_program(STRIP_NONDETERMINISM strip-nondeterminism)

# The updater's single-instance segment, as Qt names the file mapping of a QSharedMemory whose
# key is the application name (the executable's base name) and "_shmem": the installer looks
# for it to tell whether the updater runs.
get_filename_component(app_name ${exe_name} NAME_WE)
string(SHA1 key_hash "${app_name}_shmem")
string(REGEX REPLACE "[^A-Za-z]" "" key_letters "${app_name}_shmem")
set(instance_mapping qipc_sharedmemory_${key_letters}${key_hash})

set(sign_exe "")
set(sign_console "")
if(ZV_SIGN_COMMAND)
  set(sign_exe COMMAND ${ZV_SIGN_COMMAND} ${stripped})
  set(sign_console COMMAND ${ZV_SIGN_COMMAND} ${console})
endif()
# What signs: the key file's hash and the time-stamp server, rewritten only when they change.
# The signed files depend on it, so that a new key signs them again in a reused build folder.
set(signing_stamp ${CMAKE_BINARY_DIR}/signing.txt)
set(signing_key unsigned)
if(ZV_SIGN_COMMAND AND EXISTS "$ENV{ZV_SIGN_PKCS12}")
  file(SHA256 "$ENV{ZV_SIGN_PKCS12}" signing_key)
endif()
file(CONFIGURE OUTPUT ${signing_stamp} CONTENT "${signing_key} $ENV{ZV_SIGN_TIMESTAMP_URL}\n")

add_custom_command(OUTPUT ${stripped} ${licence}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZV_WINDOWS_DIST}
  # Debian's strip stamps the image with SOURCE_DATE_EPOCH, or the time: 0, as the linker.
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
    ${CMAKE_STRIP} -o ${stripped} $<TARGET_FILE:${ZV_UPDATER_NAME}>
  ${sign_exe}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/res/LICENSE.txt ${licence}
  DEPENDS ${ZV_UPDATER_NAME} ${PROJECT_SOURCE_DIR}/res/LICENSE.txt ${signing_stamp}
  COMMENT "Stripping the updater" VERBATIM)
add_custom_command(OUTPUT ${console}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ZV_WINDOWS_DIST}
  COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0
    ${CMAKE_STRIP} -o ${console} $<TARGET_FILE:zv16x16-update>
  ${sign_console}
  DEPENDS zv16x16-update ${signing_stamp}
  COMMENT "Stripping the console updater" VERBATIM)

# zv_windows_installer(OUTFILE VERSION [EXE FILE] [SIGN_COMMAND COMMAND]): the installer of
# the updater FILE (by default this build's), saying it is VERSION, signed with COMMAND (by
# default ZV_SIGN_COMMAND). The tests make an older one to upgrade from, and a signed one.
function(zv_windows_installer outfile version)
  cmake_parse_arguments(arg "" "EXE;SIGN_COMMAND" "" ${ARGN})
  if(NOT arg_EXE)
    set(arg_EXE ${stripped})
  endif()
  set(sign "")
  if(arg_SIGN_COMMAND)
    set(sign "-DSIGN_COMMAND=${arg_SIGN_COMMAND}")
  elseif(ZV_SIGN_COMMAND)
    set(sign "-DSIGN_COMMAND=${ZV_SIGN_COMMAND}")
  endif()
  add_custom_command(OUTPUT ${outfile}
    COMMAND ${MAKENSIS} -V2 -NOCD
      -DNAME=${ZV_PRODUCT_NAME} -DVERSION=${version} -DPUBLISHER=${ZV_PUBLISHER}
      -DEXE=${arg_EXE} -DEXE_NAME=${exe_name} -DCONSOLE_EXE=${console}
      -DCONSOLE_EXE_NAME=${console_name} -DLICENSE=${licence} -DICON=${ZV_ICON}
      -DINSTANCE_MAPPING=${instance_mapping} -DOUTFILE=${outfile} ${sign}
      ${PROJECT_SOURCE_DIR}/dist/windows/installer.nsi
    DEPENDS ${arg_EXE} ${console} ${licence} ${PROJECT_SOURCE_DIR}/dist/windows/installer.nsi app_icon
      ${arg_SIGN_COMMAND} ${signing_stamp}
    COMMENT "Making the Windows installer of ${version}" VERBATIM)
endfunction()
zv_windows_installer(${ZV_WINDOWS_INSTALLER} ${PROJECT_VERSION})

# The zip's files are in a folder of their own: unpacked "here" into Downloads, the updaters
# would otherwise sit among whatever else was downloaded there, and Windows looks for some
# of the DLLs they import in the program's folder first (README, "On Windows").
# No owner, permissions or extra times in the entries (zip -X), the files' modes fixed, and the
# entry times set to the source's (SOURCE_DATE_EPOCH).
set(zip_stage ${CMAKE_BINARY_DIR}/zip-stage)
file(MAKE_DIRECTORY ${zip_stage})
set(zip_files ${zip_folder}/${exe_name} ${zip_folder}/${console_name} ${zip_folder}/LICENSE.txt)
if(ZIP AND STRIP_NONDETERMINISM)
  set(pack_zip
    COMMAND chmod 0755 ${zip_folder}
    COMMAND chmod 0644 ${zip_files}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${ZV_WINDOWS_ZIP}
    COMMAND ${ZIP} -X -q -9 ${ZV_WINDOWS_ZIP} ${zip_folder}/ ${zip_files}
    COMMAND ${STRIP_NONDETERMINISM} --type zip --timestamp ${ZV_SOURCE_DATE_EPOCH} ${ZV_WINDOWS_ZIP})
else()
  set(pack_zip
    COMMAND ${CMAKE_COMMAND} -E tar cf ${ZV_WINDOWS_ZIP} --format=zip ${zip_files})
endif()
add_custom_command(OUTPUT ${ZV_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage}/${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}/${zip_folder}
  COMMAND ${CMAKE_COMMAND} -E copy ${stripped} ${console} ${licence} ${zip_stage}/${zip_folder}
  ${pack_zip}
  WORKING_DIRECTORY ${zip_stage}
  DEPENDS ${stripped} ${console} ${licence}
  COMMENT "Packing the portable updaters" VERBATIM)

add_custom_target(windows_dist ALL DEPENDS ${ZV_WINDOWS_INSTALLER} ${ZV_WINDOWS_ZIP})
