; Tavorophone's per-user installer and uninstaller (NSIS 3, Unicode, Japanese pages).
;
; Built by scripts/release.sh, which stages the release files in one folder and runs
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.00 -DVERSION4=1.0.0.0 -DSTAGE=<folder>
;            -DOUTFILE=<setup.exe> [-DICON=<file.ico>] installer/tavoro.nsi
;
; Per user because the program keeps setting.ini beside its executable: the folder has to be
; writable by the user who runs it, which Program Files is not. Nothing here needs elevation.
;
; Command line of the installer:    /S silent, /D=<folder> (last, unquoted) the program folder
; Command line of the uninstaller:  /S silent, /REMOVESETTINGS also delete setting.ini

!ifndef VERSION | VERSION4 | STAGE | OUTFILE
  !error "VERSION, VERSION4, STAGE and OUTFILE must be defined (see scripts/release.sh)"
!endif

Unicode true
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
; The installed files get the stored times (the release's fixed time), not the time of install.
SetDateSave on

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define PRODUCT "Tavorophone"
!define PUBLISHER "Tavorophone"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An update goes where the last install went, whatever folder the user chose then.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; Ondawn runs when this page is closed (.onInstSuccess), so the page says what comes next.
!define MUI_FINISHPAGE_TEXT "$(^NameDA) をインストールしました。$\r$\n$\r$\n「完了」をクリックすると初期設定 (Ondawn) が行われ、$(^NameDA) が起動します。"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "設定ファイル (setting.ini) は、チェックしたときだけ削除されます。残しておくと、次にインストールしたときにそのまま使われます。"
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} ${VERSION} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "${PUBLISHER}"

; A running Tavoro.exe cannot be replaced or deleted: Windows refuses to open a running image
; for writing. Finding that out before the first file is touched means an update or a removal
; never stops half done. Silent runs cannot ask, so they end with exit code 2.
!macro ENSURE_NOT_RUNNING un
Function ${un}EnsureNotRunning
  retry:
  ${IfNot} ${FileExists} "$INSTDIR\Tavoro.exe"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $0 "$INSTDIR\Tavoro.exe" a
  ${IfNot} ${Errors}
    FileClose $0
    Return
  ${EndIf}
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "$(^NameDA) (Tavoro.exe) が実行中です。$\r$\n$(^NameDA) を終了してから「再試行」をクリックしてください。" \
    /SD IDCANCEL IDRETRY retry
  SetErrorLevel 2
  Quit
FunctionEnd
!macroend
!insertmacro ENSURE_NOT_RUNNING ""
!insertmacro ENSURE_NOT_RUNNING "un."

Function .onInit
  SetShellVarContext current
FunctionEnd

Section "-Program"
  SetShellVarContext current
  Call EnsureNotRunning
  SetOutPath "$INSTDIR"
  ; setting.ini is not among these, so an update never replaces the user's settings.
  File "${STAGE}\Tavoro.exe"
  File "${STAGE}\Ondawn.exe"
  File "${STAGE}\Tavoro.chm"
  File "${STAGE}\sd.avi"
  File "${STAGE}\README-ja.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The installer's own Start-menu entry, so the program can be found on every Windows version
  ; (Ondawn makes shortcuts only where the version check tells it to). Ondawn replaces the same
  ; file where it does, so the menu never holds two.
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Tavoro.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tavoro.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; After the last page (in a silent install: after the files), so that Tavoro, which Ondawn
; starts, does not open under the installer's window. Waiting for Ondawn alone means the
; installer ends once the shortcuts are made, while Tavoro goes on running.
Function .onInstSuccess
  SetOutPath "$INSTDIR"
  ExecWait '"$INSTDIR\Ondawn.exe"'
FunctionEnd

Section "-un.Program"
  SetShellVarContext current
  Call un.EnsureNotRunning
  ClearErrors
  Delete "$INSTDIR\Tavoro.exe"
  Delete "$INSTDIR\Ondawn.exe"
  Delete "$INSTDIR\Tavoro.chm"
  Delete "$INSTDIR\sd.avi"
  Delete "$INSTDIR\README-ja.txt"
  ${If} ${Errors}
    ; Keep the way back: the uninstaller and its entry stay, so a second try can finish.
    MessageBox MB_OK|MB_ICONEXCLAMATION \
      "一部のファイルを削除できませんでした。$\r$\n$(^NameDA) を終了してから、もう一度アンインストールしてください。" /SD IDOK
    SetErrorLevel 2
  ${Else}
    Delete "$INSTDIR\${UNINSTALLER}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}

  ; The installer's entry and Ondawn's shortcuts: Ondawn writes into a "Tavorophone" folder on
  ; the desktop and in Programs; a shortcut the user moved straight onto the desktop goes too.
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$DESKTOP\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$DESKTOP\${PRODUCT}"
  Delete "$DESKTOP\${PRODUCT}.lnk"

  ; Start with Windows: per user on Vista and later. Where the program registered itself for
  ; the whole machine (XP), the value goes only if it names this copy and the user may write
  ; there; another copy's registration is left alone.
  DeleteRegValue HKCU "${RUN_KEY}" "Tavoro"
  ReadRegStr $0 HKLM "${RUN_KEY}" "Tavoro"
  ${If} $0 == '"$INSTDIR\Tavoro.exe"'
  ${OrIf} $0 == "$INSTDIR\Tavoro.exe"
    DeleteRegValue HKLM "${RUN_KEY}" "Tavoro"
  ${EndIf}
SectionEnd

Section /o "un.設定ファイル (setting.ini) も削除する" SettingsSection
  Delete "$INSTDIR\setting.ini"
SectionEnd

Section "-un.Folder"
  ; Only when empty: the user's settings, or anything else put there, keep the folder.
  RMDir "$INSTDIR"
SectionEnd

; After the sections, whose numbers it needs. The settings stay unless asked for: by the
; check box on the components page, or by /REMOVESETTINGS, which also ticks that box.
Function un.onInit
  SetShellVarContext current
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SettingsSection}
  ${EndIf}
FunctionEnd
