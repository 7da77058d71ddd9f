; The Windows installer: built on Linux with makensis (see CMakeLists.txt beside this file).
; Defines passed in: VERSION (1.1), FILE_VERSION (1.1.0.0), OUTFILE, DAEMON_EXE and, when the
; tray program is built, TRAY_EXE and its ICON.
; Per machine, into Program Files; a Start-menu folder; an uninstaller under the Uninstall key
; that removes the program, its shortcuts and both start-with-Windows entries, and keeps the
; settings (SOFTWARE\QuorvixDDNS), so a reinstall finds the domains again.

; 64-bit like the programs (and Wine runs it without its 32-bit parts).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"

!define PRODUCT "quorvixDDNS"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\quorvixDDNS"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define MENU_FOLDER "$SMPROGRAMS\quorvixDDNS"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} 动态域名客户端 安装"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 动态域名客户端 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${FILE_VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "${PRODUCT}"

!define MUI_ABORTWARNING
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "${PRODUCT}"
  SetOutPath "$INSTDIR"
  File "/oname=quorvixddnsd.exe" "${DAEMON_EXE}"
!ifdef TRAY_EXE
  File "/oname=quorvixDDNS.exe" "${TRAY_EXE}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "${MENU_FOLDER}"
!ifdef TRAY_EXE
  CreateShortcut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\quorvixDDNS.exe"
!endif
  ; The console client needs a command prompt that stays open: one in the program's folder.
  CreateShortcut "${MENU_FOLDER}\quorvixddnsd 命令行.lnk" "$SYSDIR\cmd.exe" \
    '/k "$INSTDIR\quorvixddnsd.exe" --help'
  CreateShortcut "${MENU_FOLDER}\卸载 ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION} 动态域名客户端"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!ifdef TRAY_EXE
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvixDDNS.exe"
!endif
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; The start-with-Windows entries of both programs, in either hive (the programs fall back
  ; to the user's hive where the machine's is not writable).
  DeleteRegValue HKLM "${RUN_KEY}" "quorvixDDNS"
  DeleteRegValue HKLM "${RUN_KEY}" "quorvixddnsd"
  DeleteRegValue HKCU "${RUN_KEY}" "quorvixDDNS"
  DeleteRegValue HKCU "${RUN_KEY}" "quorvixddnsd"

  Delete "${MENU_FOLDER}\${PRODUCT}.lnk"
  Delete "${MENU_FOLDER}\quorvixddnsd 命令行.lnk"
  Delete "${MENU_FOLDER}\卸载 ${PRODUCT}.lnk"
  RMDir "${MENU_FOLDER}"

  ; A running program keeps its file until the next restart.
  Delete /REBOOTOK "$INSTDIR\quorvixDDNS.exe"
  Delete /REBOOTOK "$INSTDIR\quorvixddnsd.exe"
  ; The files the programs keep beside themselves when the folder is writable.
  Delete "$INSTDIR\quorvixDDNS.log"
  Delete "$INSTDIR\quorvixDDNS.log.1"
  Delete "$INSTDIR\quorvixDDNS.status"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; SOFTWARE\QuorvixDDNS stays: the domains and options survive a reinstall or an upgrade.
SectionEnd
