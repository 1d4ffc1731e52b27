; SPDX-License-Identifier: MIT
; The Windows installer: the programs, the README and the licence texts in
; Program Files (x86)\Brimsel tool, Start-menu entries for the window and the
; lights, the lights at login (brimsel-lights.exe in the Startup folder: the
; OpenRGB agent and the game's telemetry with a tray icon; a component that
; can be left out) and an uninstaller listed under Add/Remove Programs, which removes
; them all. /S installs (with the lights at login) and uninstalls silently. Made by windows/build-windows.sh:
;
;   makensis -DVERSION=2.0.0.0 -DDIST=<unpacked zip folder> -DOUTFILE=<setup.exe>
;            -DICON=app/logo_app_48.ico installer.nsi
Unicode true
!include MUI2.nsh
!include FileFunc.nsh

!macro REQUIRE NAME
!ifndef ${NAME}
!error "${NAME} must be given with -D${NAME}=..."
!endif
!macroend
!insertmacro REQUIRE VERSION
!insertmacro REQUIRE DIST
!insertmacro REQUIRE OUTFILE
!insertmacro REQUIRE ICON

!define PRODUCT "Brimsel tool"
!define PUBLISHER "Brimsel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; A 32-bit program: on 64-bit Windows this is Program Files (x86).
InstallDir "$PROGRAMFILES32\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "MIT licence; Qt under the LGPL 3"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\brimsel-tool.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_LICENSEPAGE_TEXT_TOP "Brimsel tool is MIT licensed. It contains Qt (LGPL 3) and hidapi (BSD-style); their licence texts are installed in the licenses folder."
!insertmacro MUI_PAGE_LICENSE "${DIST}\LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Brimsel tool" SecProgram
    SectionIn RO
    SetShellVarContext all
    ; A running agent holds the files an upgrade replaces.
    nsExec::Exec 'taskkill /f /im brimsel-lights.exe'
    nsExec::Exec 'taskkill /f /im brimsel-ctl.exe'
    SetOutPath "$INSTDIR"
    File "${DIST}\brimsel-tool.exe"
    File "${DIST}\brimsel-ctl.exe"
    File "${DIST}\brimsel-lights.exe"
    File "${DIST}\README.txt"
    File "${DIST}\LICENSE.txt"
    File "${DIST}\lights-example.toml"
    SetOutPath "$INSTDIR\licenses"
    File "${DIST}\licenses\*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\brimsel-tool.exe"
    CreateShortcut "$SMPROGRAMS\Brimsel lights.lnk" "$INSTDIR\brimsel-lights.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brimsel-tool.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Start the lights at login" SecLights
    SetShellVarContext all
    CreateShortcut "$SMSTARTUP\Brimsel lights.lnk" "$INSTDIR\brimsel-lights.exe"
SectionEnd

LangString DESC_SecProgram ${LANG_ENGLISH} "The window, brimsel-ctl and their documents."
LangString DESC_SecLights ${LANG_ENGLISH} "At every login, in the system tray: the accessories served to RGB programs (OpenRGB SDK) with their colours kept, and the lights following racing games."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_SecProgram)
    !insertmacro MUI_DESCRIPTION_TEXT ${SecLights} $(DESC_SecLights)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "Uninstall"
    SetShellVarContext all
    ; The lights at login first, so that nothing starts them again; then
    ; the running agents, which hold their files.
    Delete "$SMSTARTUP\Brimsel lights.lnk"
    nsExec::Exec 'taskkill /f /im brimsel-lights.exe'
    nsExec::Exec 'taskkill /f /im brimsel-ctl.exe'
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\Brimsel lights.lnk"
    Delete "$INSTDIR\brimsel-tool.exe"
    Delete "$INSTDIR\brimsel-ctl.exe"
    Delete "$INSTDIR\brimsel-lights.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\lights-example.toml"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    ; Only if empty: files the user put there stay.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
