# Delay-loaded system DLLs for the Windows programs.
#
# Windows loads a DLL that is not one of its known DLLs from the program's own folder first.
# Every DLL a program imports at start is loaded before main(), where no program can change
# the search: a dwmapi.dll left in Downloads beside the portable updater would run inside it.
# The DLLs of that kind that Qt and the updaters import are delay-loaded instead: each is
# loaded at its first call, after main() has restricted the search to the system folder
# (updatecore/systemlibraries.h). check_executable.sh lists what is still imported at start.
#
# For each DLL, an import library of the same name that delay-loads it is made from
# mingw-w64's own (its functions as `nm` lists them, its DLL as `dlltool --identify` names
# it). Qt's package turns its "-lname" into paths with find_library, so the library shadows
# mingw-w64's: it lies at the same path under a root of its own that is searched first
# (CMAKE_FIND_ROOT_PATH), and the same folder is the linker's first for the project's own
# "-lname". mingw-w64's runtime provides __delayLoadHelper2.
set(ZV_DELAYED_DLLS dwmapi uxtheme version winmm userenv netapi32 wtsapi32 mpr)
set(delayload_root ${PROJECT_BINARY_DIR}/delayload)

find_program(ZV_DLLTOOL NAMES ${ZV_MINGW}-dlltool dlltool REQUIRED)
find_program(ZV_NM NAMES ${ZV_MINGW}-nm nm REQUIRED)

foreach(name IN LISTS ZV_DELAYED_DLLS)
  find_library(system_lib_${name} NAMES lib${name}.a NO_CACHE REQUIRED)
  set(system_lib ${system_lib_${name}})
  get_filename_component(system_dir ${system_lib} DIRECTORY)
  set(delay_dir ${delayload_root}${system_dir})
  file(MAKE_DIRECTORY ${delay_dir})
  set(delay_lib ${delay_dir}/lib${name}.a)
  list(APPEND delay_dirs ${delay_dir})
  if(EXISTS ${delay_lib} AND NOT ${system_lib} IS_NEWER_THAN ${delay_lib})
    continue()
  endif()
  execute_process(COMMAND ${ZV_DLLTOOL} --identify ${system_lib}
    OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${ZV_NM} ${system_lib}
    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  # "00000000 T _Name@8": the function Name, whose stdcall arguments take 8 bytes.
  string(REGEX MATCHALL "[0-9a-f]+ T _[A-Za-z0-9_@]+" functions "${symbols}")
  list(TRANSFORM functions REPLACE "^[0-9a-f]+ T _" "")
  list(REMOVE_DUPLICATES functions)
  list(SORT functions)
  list(JOIN functions "\n" exports)
  file(WRITE ${delay_dir}/${name}.def "LIBRARY \"${dll}\"\nEXPORTS\n${exports}\n")
  # -k: the DLL exports the names without their "@8". Relative names: dlltool names its
  # symbols after the output's path.
  execute_process(COMMAND ${ZV_DLLTOOL} -k -d ${name}.def -y lib${name}.a
    WORKING_DIRECTORY ${delay_dir} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
list(REMOVE_DUPLICATES delay_dirs)
link_directories(BEFORE ${delay_dirs})
list(PREPEND CMAKE_FIND_ROOT_PATH ${delayload_root})
