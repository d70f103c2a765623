; The Windows installer: gantrell-cli.exe and gantrell-publish.exe in
; bin\, their translations in share\locale\, the trust anchors (when the
; package was given them) in share\gantrell\authority\ where the programs
; look for them beside their own folder, an uninstaller and its entry in "Apps & features".
; Built by scripts/package-windows:
;   makensis -DVERSION=1.11 -DSTAGE=<folder> -DOUTFILE=<setup.exe> [-DANCHORS] gantrell.nsi
; The programs are 64-bit: so is the installer, which then also writes the
; 64-bit view of the registry.
Target amd64-unicode
!include "MUI2.nsh"

Name "Gantrell ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Gantrell"
InstallDirRegKey HKLM "Software\Gantrell" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Gantrell"

Section "Gantrell"
  SetOutPath "$INSTDIR\bin"
  File "${STAGE}\gantrell-cli.exe"
  File "${STAGE}\gantrell-publish.exe"
  SetOutPath "$INSTDIR\share"
  File /r "${STAGE}\share\locale"
!ifdef ANCHORS
  SetOutPath "$INSTDIR\share\gantrell\authority"
  File "${STAGE}\authority\master.dat"
  File "${STAGE}\authority\signone.dat"
  File "${STAGE}\authority\signtwo.dat"
  File "${STAGE}\authority\signthree.dat"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Gantrell" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Gantrell"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Gantrell"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\bin\gantrell-cli.exe"
  Delete "$INSTDIR\bin\gantrell-publish.exe"
  RMDir "$INSTDIR\bin"
  Delete "$INSTDIR\share\gantrell\authority\master.dat"
  Delete "$INSTDIR\share\gantrell\authority\signone.dat"
  Delete "$INSTDIR\share\gantrell\authority\signtwo.dat"
  Delete "$INSTDIR\share\gantrell\authority\signthree.dat"
  RMDir "$INSTDIR\share\gantrell\authority"
  RMDir "$INSTDIR\share\gantrell"
  RMDir /r "$INSTDIR\share\locale"
  RMDir "$INSTDIR\share"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Gantrell"
SectionEnd
