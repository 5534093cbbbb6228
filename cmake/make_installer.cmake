# Runs makensis on the installer script with the values of this build (cmake -P; the
# variables are listed in cmake/packaging_windows.cmake). A script, so that the installed
# size is measured when the stripped updater exists.
file(SIZE ${EXE} exe_size)
file(SIZE ${LICENCE} licence_size)
# The uninstaller that NSIS writes is about 50 KiB.
math(EXPR size_kb "(${exe_size} + ${licence_size} + 51200 + 1023) / 1024")
execute_process(
  COMMAND ${MAKENSIS} -V2 -NOCD
    "-DNAME=${NAME}" "-DVERSION=${VERSION}" "-DPUBLISHER=${PUBLISHER}"
    "-DEXE=${EXE}" "-DEXE_NAME=${EXE_NAME}" "-DLICENSE=${LICENCE}" "-DICON=${ICON}"
    "-DOUTFILE=${OUTFILE}" "-DSIZE_KB=${size_kb}" ${SCRIPT}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "makensis failed (${result})")
endif()
