; The Windows installer of the ZV-16x16 Firmware Updater: one per-machine install under
; Program Files, a Start-menu shortcut, and an uninstaller listed in Add or Remove Programs.
; /S installs and uninstalls silently.
;
; Installing again finds the folder of the earlier install (its InstallLocation), so that a
; newer version upgrades in place, in a folder the user chose too, and the same version
; repairs. An older version does not install over a newer one: the newer updater would be
; replaced by one that may not know the interface's newer firmware. Neither the installer
; nor the uninstaller goes on while the updater runs: one that is updating an interface must
; not lose its program under it.
;
; The build (cmake/packaging_windows.cmake) defines every one of these:
;   NAME              the product's name, also the folder, the shortcut and the uninstall key
;   VERSION           the updater's version, three numbers
;   PUBLISHER         who publishes it
;   EXE               the stripped updater, installed as EXE_NAME
;   EXE_NAME          the updater's file name
;   CONSOLE_EXE       the stripped console updater, installed as CONSOLE_EXE_NAME
;   CONSOLE_EXE_NAME  the console updater's file name
;   LICENSE           the licence text the installer shows and installs
;   ICON              the application's icon, for the installer and the uninstaller
;   INSTANCE_MAPPING  the name of the updater's single-instance segment (a file mapping)
;   OUTFILE           the installer to write
; and, to sign the installer and the uninstaller it carries, SIGN_COMMAND: a command that
; signs the file it is given, in place.
!ifndef NAME
  !error "NAME is not defined: the product's name"
!endif
!ifndef VERSION
  !error "VERSION is not defined: the updater's version"
!endif
!ifndef PUBLISHER
  !error "PUBLISHER is not defined"
!endif
!ifndef EXE
  !error "EXE is not defined: the stripped updater"
!endif
!ifndef EXE_NAME
  !error "EXE_NAME is not defined: the updater's file name"
!endif
!ifndef CONSOLE_EXE
  !error "CONSOLE_EXE is not defined: the stripped console updater"
!endif
!ifndef CONSOLE_EXE_NAME
  !error "CONSOLE_EXE_NAME is not defined: the console updater's file name"
!endif
!ifndef LICENSE
  !error "LICENSE is not defined: the licence text"
!endif
!ifndef ICON
  !error "ICON is not defined: the application's icon"
!endif
!ifndef INSTANCE_MAPPING
  !error "INSTANCE_MAPPING is not defined: the updater's single-instance segment"
!endif
!ifndef OUTFILE
  !error "OUTFILE is not defined: the installer to write"
!endif

!ifdef SIGN_COMMAND
  !finalize '"${SIGN_COMMAND}" "%1"'
  !uninstfinalize '"${SIGN_COMMAND}" "%1"'
!endif

Unicode true
ManifestDPIAware true
SetCompressor /SOLID lzma
; No build-time file dates in the installer: two builds of one source give the same bytes.
SetDateSave off

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define UNINSTALLER "Uninstall.exe"
!define SHORTCUT "$SMPROGRAMS\${NAME}.lnk"
; Returned by a silent run that found the updater running (NSIS's own "aborted by the script").
!define EXIT_UPDATER_RUNNING 2
; Returned by a silent run that found a newer version installed.
!define EXIT_NEWER_INSTALLED 3

Name "${NAME}"
OutFile "${OUTFILE}"
; A 32-bit program: $PROGRAMFILES is "Program Files (x86)" on 64-bit Windows. An earlier
; install's folder takes its place.
InstallDir "$PROGRAMFILES\${NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${NAME} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WordFunc.nsh"
!include "MUI2.nsh"
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "run the updater" box: it would run with the installer's administrator token.
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Waits while the updater runs: the updater holds its single-instance segment for as long as
; it runs, in the signed-in user's session, which is the installer's too. Asks to close it;
; Cancel, or a silent run, ends with EXIT_UPDATER_RUNNING.
!macro REFUSE_WHILE_UPDATER_RUNS prefix
  Function ${prefix}RefuseWhileUpdaterRuns
    check:
    System::Call 'kernel32::OpenFileMappingW(i 4, i 0, w "${INSTANCE_MAPPING}") p .r0'
    ${If} $0 = 0
      Return
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r0)'
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "The ${NAME} is running. Close it first, then choose Retry." /SD IDCANCEL IDRETRY check
    SetErrorLevel ${EXIT_UPDATER_RUNNING}
    Quit
  FunctionEnd
!macroend
!insertmacro REFUSE_WHILE_UPDATER_RUNS ""
!insertmacro REFUSE_WHILE_UPDATER_RUNS "un."

; The installed version, as its entry in Add or Remove Programs says; none, or an older or
; the same one, goes on. A newer one ends the run with EXIT_NEWER_INSTALLED.
Function RefuseOlderOverNewer
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 == ""
    Return
  ${EndIf}
  ${VersionCompare} "$0" "${VERSION}" $1
  ${If} $1 != 1
    Return
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP \
    "Version $0 of the ${NAME} is installed, which is newer than ${VERSION}. Uninstall it first to install this version." \
    /SD IDOK
  SetErrorLevel ${EXIT_NEWER_INSTALLED}
  Quit
FunctionEnd

; For every user of the machine: the shortcut in the common Start menu.
Function .onInit
  SetShellVarContext all
  Call RefuseWhileUpdaterRuns
  Call RefuseOlderOverNewer
FunctionEnd

Function un.onInit
  SetShellVarContext all
  Call un.RefuseWhileUpdaterRuns
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${EXE}"
  File "/oname=${CONSOLE_EXE_NAME}" "${CONSOLE_EXE}"
  File "/oname=LICENSE.txt" "${LICENSE}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The shortcut starts the updater in its own folder.
  CreateShortCut "${SHORTCUT}" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; What the folder holds now, in KiB, as Add or Remove Programs shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "${SHORTCUT}"
  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\${CONSOLE_EXE_NAME}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
