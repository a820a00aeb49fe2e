; The 64-bit Windows installer of the KV-770 Tool (scripts/package-windows.sh
; builds it). Defines given by the script:
;   VERSION  product version ("1.4.0")
;   BINDIR   folder with the stripped kvctl.exe and kvpath.exe (and
;            kvtool.exe when KVTOOL is defined)
;   DOCDIR   folder with README-Windows.txt and LICENSE.txt (plain text)
;   OUTFILE  the installer to write
; Components: the program files with the uninstaller (required), Start-menu
; shortcuts (on by default) and the install folder on the system PATH (off
; by default; a silent install with /S takes the defaults, /S /PATH adds it;
; an install over one that added it keeps it).
;
; The PATH is changed by kvpath.exe, unpacked into the installer's temporary
; folder: the installer's strings hold 1024 characters, fewer than a system
; PATH may, and a PATH cut there would lose the rest of it. kvpath reads and
; writes the whole value and adds or removes only the install folder.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include x64.nsh
!include WinMessages.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "KV-770 Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KV-770 Tool"
!define PUBLISHER "KV-770 Tool maintainers"
!ifdef KVTOOL
  !define ICON_FILE "kvtool.exe"
!else
  !define ICON_FILE "kvctl.exe"
!endif

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

; The files an install of any version puts into its folder.
!macro RemoveProgramFiles folder
  Delete "${folder}\kvctl.exe"
  Delete "${folder}\kvtool.exe"
  Delete "${folder}\LICENSE.txt"
  Delete "${folder}\README-Windows.txt"
  Delete "${folder}\uninstall.exe"
!macroend

; Runs kvpath.exe (VERB is add or remove) on FOLDER; its exit status in $0:
; 0 changed, 1 nothing to change, other: failed (the PATH is unchanged).
!macro RunKvpath verb folder
  InitPluginsDir
  File "/oname=$PLUGINSDIR\kvpath.exe" "${BINDIR}\kvpath.exe"
  nsExec::ExecToLog '"$PLUGINSDIR\kvpath.exe" ${verb} "${folder}"'
  Pop $0
!macroend

Section "${PRODUCT} (required)" SecProgram
  SectionIn RO
  ; An install in another folder goes first: its files and its PATH entry.
  ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R2 != ""
  ${AndIf} $R2 != "$INSTDIR"
    ReadRegDWORD $R3 HKLM "${UNINSTALL_KEY}" "AddedToPath"
    ${If} $R3 == 1
      !insertmacro RunKvpath remove "$R2"
      DeleteRegValue HKLM "${UNINSTALL_KEY}" "AddedToPath"
    ${EndIf}
    !insertmacro RemoveProgramFiles "$R2"
    RMDir "$R2"
  ${EndIf}
  ; Shortcuts of an earlier version may have other names.
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\*.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  SetOutPath "$INSTDIR"
  File "${BINDIR}\kvctl.exe"
!ifdef KVTOOL
  File "${BINDIR}\kvtool.exe"
!else
  Delete "$INSTDIR\kvtool.exe"
!endif
  File "${DOCDIR}\LICENSE.txt"
  File "${DOCDIR}\README-Windows.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${ICON_FILE}",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, as Programs and Features shows it.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
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
  !insertmacro RunKvpath add "$INSTDIR"
  ${If} $0 == 0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
  ${ElseIf} $0 != 1
    DetailPrint "The install folder could not be added to the PATH (kvpath exit status $0)."
    SetErrorLevel 2
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
  ; An install over one that added the folder to PATH keeps it there.
  ReadRegDWORD $R1 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $R1 == 1
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The PATH entry goes only when this installer added it.
  ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $2 == 1
    !insertmacro RunKvpath remove "$INSTDIR"
    ${If} $0 != 0
    ${AndIf} $0 != 1
      DetailPrint "The install folder could not be taken off the PATH (kvpath exit status $0)."
      SetErrorLevel 2
    ${EndIf}
  ${EndIf}
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\*.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  !insertmacro RemoveProgramFiles "$INSTDIR"
  ; Only an empty folder goes: files the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
