; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of vyx-cfg: a 64-bit NSIS installer in Polish that
; installs the staged install tree (cmake --install of the Windows build) per
; user, without administrator rights, into %LOCALAPPDATA%\Programs\vyx-cfg, with
; a Start-menu entry and an uninstaller registered under HKCU. The program
; writes its log (vyx-cfg.log) beside itself, and the technician keeps his own
; device files (*.dat) there too: the uninstaller removes only the files the
; installer put there, and a folder only when it is left empty.
;
;
; Installed over another version, it upgrades in place: the version there is
; uninstalled first by its own uninstaller (silently, in place), which removes
; only what it installed, so the log, the technician's device files and the
; settings (in the user's application data) stay, files the new version no
; longer has go, and one entry stays in the list of programs. An older version
; over a newer one asks first; a silent install (/S) never does that, and ends
; with exit code 2, changing nothing.
;
; scripts/package-windows builds it; by hand:
;   makensis -INPUTCHARSET UTF8 -DVERSION=5.0 -DSTAGE=/abs/stage \
;            -DFILES=/abs/files.nsh -DOUTFILE=/abs/vyx-cfg-setup-5.0.exe installer/vyx-cfg.nsi
; FILES is written from the staging tree at package time: the macros
; VYX_INSTALL_FILES (SetOutPath and File for each file), VYX_UNINSTALL_FILES
; (a Delete for each file, then an RMDir for each folder, deepest first) and
; the define VYX_SIZE_KB (the tree's size in KiB).

!ifndef VERSION
  !error "VERSION is not defined: pass -DVERSION=X.Y (project(VERSION) of CMakeLists.txt)"
!endif
!ifndef STAGE
  !error "STAGE is not defined: pass -DSTAGE=<the staged install tree>"
!endif
!ifndef FILES
  !error "FILES is not defined: pass -DFILES=<the file list written from the staging tree>"
!endif
!ifndef OUTFILE
  !define OUTFILE "vyx-cfg-setup-${VERSION}.exe"
!endif
; The four numbers of the files' version resource.
!ifndef VERSION_QUAD
  !define VERSION_QUAD "${VERSION}.0.0"
!endif
!ifndef PUBLISHER
  !define PUBLISHER "vyx-cfg"
!endif

Target amd64-unicode
Unicode true
SetCompressor /SOLID lzma
ManifestDPIAware true

!define APP "vyx-cfg"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${APP}"
; A second installation goes where the first one is.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!include "LogicLib.nsh"
!include "MUI2.nsh"
!include "WordFunc.nsh"
!include "${FILES}"

!define MUI_ABORTWARNING
!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Polish"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductName" "${APP}"
VIAddVersionKey /LANG=${LANG_POLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_POLISH} "FileDescription" "Instalator programu ${APP}"
VIAddVersionKey /LANG=${LANG_POLISH} "LegalCopyright" "GPL-3.0-or-later"

Var InstalledVersion
Var InstalledDir

Function .onInit
  ReadRegStr $InstalledVersion HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ReadRegStr $InstalledDir HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $InstalledVersion == ""
    Return
  ${EndIf}
  ; 0: the same version, 1: this one is newer, 2: this one is older.
  ${VersionCompare} "${VERSION}" "$InstalledVersion" $0
  ${If} $0 == 2
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Zainstalowana jest nowsza wersja $InstalledVersion programu ${APP}.$\r$\nZastąpić ją starszą wersją ${VERSION}?" \
      IDYES older
    SetErrorLevel 2
    Quit
    older:
  ${EndIf}
FunctionEnd

; The version there goes first, by its own uninstaller run in place (_?=), so
; that it ends before the files are written; it leaves itself behind.
Function RemoveInstalledVersion
  ${If} $InstalledDir == ""
  ${OrIfNot} ${FileExists} "$InstalledDir\Uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Usuwanie wersji $InstalledVersion z $InstalledDir"
  ExecWait '"$InstalledDir\Uninstall.exe" /S _?=$InstalledDir' $0
  Delete "$InstalledDir\Uninstall.exe"
  RMDir "$InstalledDir"
FunctionEnd

Section "vyx-cfg" SecMain
  SectionIn RO
  SetShellVarContext current
  Call RemoveInstalledVersion
  !insertmacro VYX_INSTALL_FILES

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\vyx-cfg.exe" "" "$INSTDIR\vyx-cfg.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vyx-cfg.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${VYX_SIZE_KB}
SectionEnd

; Only what the installer put there goes; the log, the technician's device
; files and the folders holding them stay.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${APP}.lnk"
  !insertmacro VYX_UNINSTALL_FILES
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
