; The Windows installer of Vellumry, for makensis (Debian's nsis) on the Windows build:
;   makensis -DVERSION=0.1.0 -DVERSION4=0.1.0.0 -DBUILD=<folder with the two .exe>
;            -DICON=<vellumry.ico> -DOUTFILE=<setup .exe> installer.nsi
; It installs vellumry.exe and its decoder vellumry-decode.exe, with LICENSE and
; THIRD-PARTY-NOTICES.txt, into Program Files\Vellumry, a
; Start-menu shortcut for all users, "Open with" for the picture types that load, and an entry
; in Apps & features whose uninstaller takes all of it away again. /S installs or uninstalls
; without asking; /D=<folder> (last on the command line) installs elsewhere.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Vellumry"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumry"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\vellumry.exe"
!define APPLICATION_KEY "Software\Classes\Applications\vellumry.exe"
!define PROGID "Vellumry.Picture"
!define PROGID_KEY "Software\Classes\Vellumry.Picture"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} installer"
VIAddVersionKey "CompanyName" "The Vellumry developers"
VIAddVersionKey "LegalCopyright" "The Vellumry developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The picture types "Open with" offers the program for: those its decoder reads.
!macro ForEachPictureType MACRO
  !insertmacro ${MACRO} ".png"
  !insertmacro ${MACRO} ".jpg"
  !insertmacro ${MACRO} ".jpeg"
  !insertmacro ${MACRO} ".jpe"
  !insertmacro ${MACRO} ".bmp"
  !insertmacro ${MACRO} ".gif"
  !insertmacro ${MACRO} ".tga"
  !insertmacro ${MACRO} ".psd"
  !insertmacro ${MACRO} ".hdr"
  !insertmacro ${MACRO} ".pic"
  !insertmacro ${MACRO} ".ppm"
  !insertmacro ${MACRO} ".pgm"
  !insertmacro ${MACRO} ".pnm"
!macroend

!macro RegisterType EXT
  WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" "${EXT}" ""
  WriteRegStr HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}" ""
!macroend

!macro UnregisterType EXT
  DeleteRegValue HKLM "Software\Classes\${EXT}\OpenWithProgids" "${PROGID}"
  ; The type's own keys stay unless registering it made them and nothing else uses them.
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}\OpenWithProgids"
  DeleteRegKey /ifempty HKLM "Software\Classes\${EXT}"
!macroend

; The 64-bit program's registry and Program Files, and shortcuts for everyone.
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
  File "${BUILD}/vellumry.exe"
  File "${BUILD}/vellumry-decode.exe"
  File "${BUILD}/LICENSE"
  File "${BUILD}/THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Started from the menu, the program keeps its window layout in its working folder.
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vellumry.exe" "" "$INSTDIR\vellumry.exe" 0

  ; Apps & features.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Vellumry developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vellumry.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; "vellumry" typed into Run or a shell finds the program.
  WriteRegStr HKLM "${APP_PATHS_KEY}" "" "$INSTDIR\vellumry.exe"

  ; "Open with": the application, the types it supports, and a type description of its own
  ; that each picture type lists among its "open with" choices.
  WriteRegStr HKLM "${APPLICATION_KEY}" "FriendlyAppName" "${PRODUCT}"
  WriteRegStr HKLM "${APPLICATION_KEY}\DefaultIcon" "" "$INSTDIR\vellumry.exe,0"
  WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\vellumry.exe" "%1"'
  WriteRegStr HKLM "${PROGID_KEY}" "" "Picture (${PRODUCT})"
  WriteRegStr HKLM "${PROGID_KEY}\DefaultIcon" "" "$INSTDIR\vellumry.exe,0"
  WriteRegStr HKLM "${PROGID_KEY}\shell\open\command" "" '"$INSTDIR\vellumry.exe" "%1"'
  !insertmacro ForEachPictureType RegisterType
  ; SHCNE_ASSOCCHANGED: Explorer reads the associations again.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\vellumry.exe"
  Delete "$INSTDIR\vellumry-decode.exe"
  Delete "$INSTDIR\LICENSE"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  ; The window layout earlier versions kept in this folder (it now lives in %APPDATA%\Vellumry).
  Delete "$INSTDIR\imgui.ini"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  !insertmacro ForEachPictureType UnregisterType
  DeleteRegKey HKLM "${PROGID_KEY}"
  DeleteRegKey HKLM "${APPLICATION_KEY}"
  DeleteRegKey HKLM "${APP_PATHS_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
