; The Veltrano-HD installer. scripts/package builds it twice from this one
; script: with the x86 stub (the installer to ship: it runs on 32-bit and
; 64-bit Windows and picks the 64-bit parts itself) and with the amd64 stub
; (64-bit Windows only; the build the install tests run).
;
; Defines given by scripts/package:
;   VERSION          dotted version, from the VERSION file
;   STAGE            folder holding the staged files (see scripts/package)
;   OUTFILE          the installer to write
;   STUB             x86-unicode or amd64-unicode
;   WITH_DRIVERS     1 when the device maker's driver packages are staged
;   WITH_DRIVERS_XP  1 when their Windows XP packages are staged too
;   CPL_TITLE        the control panel's main window title
;   CPL_EXIT_COMMAND the control panel's exit command id
;   SIGN_PFX         (optional) the certificate and key that sign the
;                    uninstaller, and SIGN_PASS_FILE the file holding its
;                    password

Unicode true
; Every warning is an error (makensis -WX), except the unused labels that
; the If/EndIf macros leave behind.
!pragma warning disable 6012
Target "${STUB}"
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Veltrano-HD"
!define PACKAGE_KEY "SOFTWARE\Veltrano\Veltrano-HD"
!define PACKAGE_PARENT "SOFTWARE\Veltrano"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrano-HD"
!define USER_ASIO_KEY "Software\ASIO\Veltrano-HD"
!define RUN_VALUE "VeltranoHDACPL"
!define CPL_EXE "VeltranoHDACPLUI.exe"
!define ASIO_DLL "VeltranoHDASIO.dll"
!define ASIOW_DLL "VeltranoHDASIOW.dll"
; In the Start menu of all users.
!define START_MENU_LINK "${PRODUCT} Control Panel.lnk"

; Exit codes of a failed (silent) installation or removal.
!define EXIT_SETUP_TIMEOUT 3
!define EXIT_REGISTRATION_TIMEOUT 4
!define EXIT_OLD_VERSION 5
!define EXIT_UNREGISTRATION_TIMEOUT 6

!ifdef SIGN_PFX
  ; The uninstaller is made at build time too; sign it like the rest.
  !uninstfinalize 'osslsigncode sign -pkcs12 "${SIGN_PFX}" -readpass "${SIGN_PASS_FILE}" -n "${PRODUCT}" -h sha256 -in "%1" -out "%1.signed" >/dev/null && mv "%1.signed" "%1"' = 0
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Veltrano\Veltrano-HD"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} driver and control panel setup"
VIAddVersionKey "CompanyName" "Veltrano"
VIAddVersionKey "LegalCopyright" "Veltrano"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start the ${PRODUCT} control panel"
!define MUI_FINISHPAGE_RUN_FUNCTION StartControlPanel
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!include "registration.nsh"
!include "control_panel.nsh"
!include "removal.nsh"

Var OldFolder

Function .onInit
  ; The package key lives in the view a 32-bit setup program writes; an
  ; installed version is found there, and removed first wherever it is.
  SetRegView 32
  ReadRegStr $OldFolder HKLM "${PACKAGE_KEY}" "InstallPath"
  SetRegView default
  ; A folder given with /D stays; otherwise an upgrade goes where the
  ; installed version is, and a first install into the machine's own
  ; Program Files.
  ${If} $INSTDIR == "$PROGRAMFILES\Veltrano\Veltrano-HD"
    ${If} $OldFolder != ""
      StrCpy $INSTDIR $OldFolder -1
    ${ElseIf} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\Veltrano\Veltrano-HD"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onVerifyInstDir
  ; The co-installer builds its paths in 260-character buffers, and the
  ; uninstaller removes the folder it installed into: no drive roots, no
  ; paths too long for the deepest file.
  StrLen $0 $INSTDIR
  ${If} $0 > 180
  ${OrIf} $0 < 4
    Abort
  ${EndIf}
FunctionEnd

Function StartControlPanel
  Exec '"$INSTDIR\${CPL_EXE}"'
FunctionEnd

; Removes an installed version with its own uninstaller and waits for it,
; so that its registrations and files are gone before ours arrive.
Function RemoveOldVersion
  ${If} $OldFolder == ""
    Return
  ${EndIf}
  StrCpy $0 $OldFolder -1
  ${IfNot} ${FileExists} "$0\Uninstall.exe"
    DetailPrint "Older version at $0 has no uninstaller; installing over it."
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $0..."
  ClearErrors
  ExecWait '"$0\Uninstall.exe" /S _?=$0' $1
  ; Files of the old version still in use go at the next restart; a new
  ; file of the same name would go with them, so install only after it.
  ${If} $1 == ${EXIT_RESTART_NEEDED}
    !insertmacro Fail ${EXIT_OLD_VERSION} "The installed version of ${PRODUCT} is removed, but some of its files are still in use and are deleted when Windows restarts. Restart Windows, then run this setup again."
  ${EndIf}
  ${If} ${Errors}
  ${OrIf} $1 != 0
    !insertmacro Fail ${EXIT_OLD_VERSION} "The installed version of ${PRODUCT} could not be removed (code $1). Remove it from Programs and Features, then run this setup again."
  ${EndIf}
  ; Run with _?= the uninstaller cannot delete itself.
  Delete "$0\Uninstall.exe"
  RMDir "$0"
FunctionEnd

Section "Install"
  SetShellVarContext current
  Call RemoveOldVersion

  SetOutPath "$INSTDIR"
  File "${STAGE}\x86\${ASIO_DLL}"
  File "${STAGE}\x86\${ASIOW_DLL}"
  File "${STAGE}\x86\${CPL_EXE}"
  ${If} ${RunningX64}
    File "/oname=PkgSetup.exe" "${STAGE}\x64\PkgSetup.exe"
    SetOutPath "$INSTDIR\x64"
    File "${STAGE}\x64\${ASIO_DLL}"
    File "${STAGE}\x64\${ASIOW_DLL}"
    File "${STAGE}\x64\${CPL_EXE}"
  ${Else}
    File "/oname=PkgSetup.exe" "${STAGE}\x86\PkgSetup.exe"
  ${EndIf}
!if ${WITH_DRIVERS} == 1
  SetOutPath "$INSTDIR\Driver"
  File /r "${STAGE}\Driver\*.*"
!endif
!if ${WITH_DRIVERS_XP} == 1
  SetOutPath "$INSTDIR\DriverXP"
  File /r "${STAGE}\DriverXP\*.*"
!endif
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Where users look for the control panel; it starts in the package folder.
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${START_MENU_LINK}" "$INSTDIR\${CPL_EXE}"
  SetShellVarContext current

  ; Certificate, ASIO registration and autorun; the driver task and a
  ; restart only with driver packages, and no restart question when nobody
  ; is there to answer it.
  StrCpy $0 0x0D
!if ${WITH_DRIVERS} == 1
  IntOp $0 $0 | 0x02
  ${IfNot} ${Silent}
    IntOp $0 $0 | 0x20
  ${EndIf}
!endif
  SetRegView 32
  WriteRegStr HKLM "${PACKAGE_KEY}" "InstallPath" "$INSTDIR\"
  WriteRegDWORD HKLM "${PACKAGE_KEY}" "CoInstallFlags" $0
  WriteRegStr HKLM "${PACKAGE_KEY}" "AsioDllFileName" "${ASIO_DLL}"
  WriteRegStr HKLM "${PACKAGE_KEY}" "AsioWDllFileName" "${ASIOW_DLL}"
  WriteRegStr HKLM "${PACKAGE_KEY}" "AcplExecFileName" "${CPL_EXE}"
  WriteRegStr HKLM "${PACKAGE_KEY}" "AutoRunRegKeyName" "${RUN_VALUE}"
  WriteRegDWORD HKLM "${PACKAGE_KEY}" "PlayRecPP" 1
  WriteRegDWORD HKLM "${PACKAGE_KEY}" "AsioDrvPP" 1
  WriteRegDWORD HKLM "${PACKAGE_KEY}" "RmtCtrlPP" 1
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Veltrano"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SetRegView default

  ; The drivers start the control panel from the folder this value names;
  ; written for the user who installs (see the README for other users).
  WriteRegStr HKCU "${USER_ASIO_KEY}" "ASIOCPL" "$INSTDIR\"

  Call ClearSetupStatus
  DetailPrint "Running the co-installer..."
  ExecWait '"$INSTDIR\PkgSetup.exe"'
  Call WaitForSetupStatus
  Pop $0
  ${If} $0 != 1
    !insertmacro Fail ${EXIT_SETUP_TIMEOUT} "The co-installer did not finish within ${SETUP_TIMEOUT_S} seconds. ${PRODUCT} is not completely installed."
  ${EndIf}

  Call WaitForRegistrations
  Pop $0
  ${If} $0 != 1
    !insertmacro Fail ${EXIT_REGISTRATION_TIMEOUT} "The ASIO driver was not registered within ${REGISTRATION_TIMEOUT_S} seconds ($0)."
  ${EndIf}
SectionEnd

Function un.onInit
  ; Nothing; $INSTDIR is the uninstaller's folder or the _?= folder.
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Call un.StartLog
  Call un.StopControlPanel

  ${If} ${FileExists} "$INSTDIR\PkgSetup.exe"
    Call un.ClearSetupStatus
    DetailPrint "Running the co-installer's removal..."
    ExecWait '"$INSTDIR\PkgSetup.exe" /U'
    Call un.WaitForSetupStatus
    Pop $0
    ${If} $0 != 1
      !insertmacro Fail ${EXIT_SETUP_TIMEOUT} "The co-installer's removal did not finish within ${SETUP_TIMEOUT_S} seconds. The program files were kept; run the uninstaller again to finish the removal."
    ${EndIf}
    ; The unregistration runs on its own and needs the DLLs: wait for it
    ; before any file goes.
    Call un.WaitForUnregistrations
    Pop $0
    ${If} $0 != 1
      !insertmacro Fail ${EXIT_UNREGISTRATION_TIMEOUT} "The co-installer has removed its part (the certificate, the control panel's autorun entry and any driver packages), but the ASIO driver was not unregistered within ${REGISTRATION_TIMEOUT_S} seconds ($0). The program files were kept, as the unregistration needs them; run the uninstaller again to finish the removal."
    ${EndIf}
    Call un.WaitForCertificateFiles
  ${EndIf}

  SetShellVarContext all
  Delete "$SMPROGRAMS\${START_MENU_LINK}"
  SetShellVarContext current

  ; Files a program still holds go at the next restart (removal.nsh).
  !insertmacro REMOVE_FILE "$INSTDIR\${ASIO_DLL}"
  !insertmacro REMOVE_FILE "$INSTDIR\${ASIOW_DLL}"
  !insertmacro REMOVE_FILE "$INSTDIR\${CPL_EXE}"
  !insertmacro REMOVE_FILE "$INSTDIR\PkgSetup.exe"
  ; Left by the co-installer when its own clean-up did not run.
  !insertmacro REMOVE_FILE "$INSTDIR\NewCert.cer"
  !insertmacro REMOVE_FILE "$INSTDIR\CertMgr.EXE"
  !insertmacro REMOVE_FILE "$INSTDIR\x64\${ASIO_DLL}"
  !insertmacro REMOVE_FILE "$INSTDIR\x64\${ASIOW_DLL}"
  !insertmacro REMOVE_FILE "$INSTDIR\x64\${CPL_EXE}"
  !insertmacro REMOVE_FOLDER "$INSTDIR\x64"
  Push "$INSTDIR\Driver"
  Call un.RemoveTree
  Push "$INSTDIR\DriverXP"
  Call un.RemoveTree
  Call un.RemoveSelf
  !insertmacro REMOVE_FOLDER "$INSTDIR"
  ${GetParent} "$INSTDIR" $0
  RMDir "$0"
  ${If} ${FileExists} "$0\*.*"
  ${AndIf} ${RebootFlag}
    ; Only if it is empty by then: other products may live there.
    RMDir /REBOOTOK "$0"
  ${EndIf}

  SetRegView 32
  DeleteRegKey HKLM "${PACKAGE_KEY}"
  DeleteRegKey /ifempty HKLM "${PACKAGE_PARENT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView default
  ; The drivers' unregistration leaves "Software\ASIO" behind; it goes
  ; too when no other driver is registered there.
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey /ifempty HKLM "Software\ASIO"
  ${EndIf}
  SetRegView 32
  DeleteRegKey /ifempty HKLM "Software\ASIO"
  SetRegView default
  DeleteRegValue HKCU "${USER_ASIO_KEY}" "ASIOCPL"
  DeleteRegKey /ifempty HKCU "${USER_ASIO_KEY}"
  DeleteRegKey /ifempty HKCU "Software\ASIO"
  Call un.ReportRestart
SectionEnd
