; The 64-bit Windows installer of the KV-770 Tool (scripts/package-windows.sh
; builds it). Defines given by the script:
;   VERSION  product version ("1.4.0")
;   BINDIR   folder with kvctl.exe (and kvtool.exe when KVTOOL is defined)
;   SRCDIR   the source tree (copyright, Windows notes)
;   OUTFILE  the installer to write
; Components: the program files with the uninstaller (required), Start-menu
; shortcuts (on by default) and the install folder on the system PATH (off
; by default; a silent install with /S takes the defaults, /S /PATH adds it).
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include x64.nsh
!include WinMessages.nsh
!include StrFunc.nsh
!include FileFunc.nsh
!include Sections.nsh
${StrStr}
${UnStrRep}

!define PRODUCT "KV-770 Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-770 Tool"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles


Function un.onInit
  SetRegView 64
FunctionEnd

Section "${PRODUCT} (required)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${BINDIR}\kvctl.exe"
!ifdef KVTOOL
  ; The desktop tool, once the Windows build has it.
  File "${BINDIR}\kvtool.exe"
!endif
  File /oname=LICENSE.txt "${SRCDIR}\packaging\copyright"
  File /oname=README-Windows.txt "${SRCDIR}\docs\windows.md"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Start menu shortcuts" SecShortcuts
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  ; kvctl is a terminal program: a command prompt in the install folder.
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\kvctl command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && kvctl.exe --help"' "$SYSDIR\cmd.exe" 0
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Windows notes.lnk" "$INSTDIR\README-Windows.txt"
!ifdef KVTOOL
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\kvtool.exe"
!endif
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section /o "Add the install folder to PATH" SecPath
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${StrStr} $1 ";$0;" ";$INSTDIR;"
  ${If} $1 == ""
    ${If} $0 == ""
      WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$INSTDIR"
    ${Else}
      WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
    ${EndIf}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "The ${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  ; /PATH on the command line chooses the PATH component (for /S installs).
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The PATH entry goes only when this installer added it.
  ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $2 == 1
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${UnStrRep} $1 ";$0;" ";$INSTDIR;" ";"
    ; Strip the separators added around the value above.
    StrCpy $1 $1 "" 1
    StrCpy $1 $1 -1
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
    SendMessage ${HWND_BROADCAST} ${WM_WININICHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\*.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$INSTDIR\kvctl.exe"
  Delete "$INSTDIR\kvtool.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README-Windows.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: files the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
