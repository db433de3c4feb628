; Waiting for what the co-installer does on its own: it reports its end in
; the package key, and the ASIO (un)registrations it starts run after it
; has ended. Every wait has a limit; the callers turn a timeout into a
; clear failure.
;
; Functions here use $R0-$R4 freely and return 1 (done) or 0 on the stack.

!define SETUP_TIMEOUT_S 120
!define REGISTRATION_TIMEOUT_S 60
!define CERT_FILES_TIMEOUT_S 30
!define POLL_MS 500

!macro Fail CODE TEXT
  !ifdef __UNINSTALL__
    ; Also into the uninstaller's log: after a silent removal it is all an
    ; administrator has.
    !insertmacro LOG_LINE "${TEXT}"
  !else
    DetailPrint "${TEXT}"
  !endif
  IfSilent +2
    MessageBox MB_OK|MB_ICONSTOP "${TEXT}"
  SetErrorLevel ${CODE}
  Abort
!macroend

; Polls one of the two checks above in one registry view until it holds or
; the time is up; leaves the last result in $R0.
!macro WAIT_IN_VIEW UN VIEW FOLDER CHECK
  SetRegView ${VIEW}
  StrCpy $R2 "${FOLDER}"
  IntOp $R1 ${REGISTRATION_TIMEOUT_S} * 1000
  ${Do}
    Call ${UN}${CHECK}
    Pop $R0
    ${If} $R0 == 1
    ${OrIf} $R1 <= 0
      ${Break}
    ${EndIf}
    Sleep ${POLL_MS}
    IntOp $R1 $R1 - ${POLL_MS}
  ${Loop}
  SetRegView default
!macroend

!macro DEFINE_WAITS UN

; 1 when a 32-bit program can run here. Always on 32-bit Windows; on 64-bit
; Windows only when its 32-bit subsystem starts a program and hands back
; that program's exit code (it can be missing, e.g. on Server Core).
Function ${UN}Can32BitRun
  ${IfNot} ${RunningX64}
    Push 1
    Return
  ${EndIf}
  nsExec::Exec '"$WINDIR\SysWOW64\cmd.exe" /c exit 7'
  Pop $R0
  ${If} $R0 == 7
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd

; No status of an earlier run may pass for this one's: the co-installer
; writes it into whichever view of the package key it can open.
Function ${UN}ClearSetupStatus
  SetRegView 32
  DeleteRegValue HKLM "${PACKAGE_KEY}" "CoInstallStatus"
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegValue HKLM "${PACKAGE_KEY}" "CoInstallStatus"
  ${EndIf}
  SetRegView default
FunctionEnd

; "CoInstallStatus" = 80 in either view of the package key.
Function ${UN}WaitForSetupStatus
  IntOp $R1 ${SETUP_TIMEOUT_S} * 1000
  ${Do}
    SetRegView 32
    ReadRegDWORD $R0 HKLM "${PACKAGE_KEY}" "CoInstallStatus"
    ${If} ${RunningX64}
    ${AndIf} $R0 != 80
      SetRegView 64
      ReadRegDWORD $R0 HKLM "${PACKAGE_KEY}" "CoInstallStatus"
    ${EndIf}
    SetRegView default
    ${If} $R0 == 80
      Push 1
      Return
    ${EndIf}
    ${If} $R1 <= 0
      Push 0
      Return
    ${EndIf}
    Sleep ${POLL_MS}
    IntOp $R1 $R1 - ${POLL_MS}
  ${Loop}
FunctionEnd

!macroend

!insertmacro DEFINE_WAITS ""
!insertmacro DEFINE_WAITS "un."

; In the current registry view: 1 when the ASIO key names one of our two
; driver DLLs in the folder $R2 and its class entry points at it, so that a
; host can create it.
Function IsRegisteredFrom
  ReadRegStr $R0 HKLM "Software\ASIO\Veltrano-HD" "Driver"
  ${If} $R0 != "$R2\${ASIO_DLL}"
  ${AndIf} $R0 != "$R2\${ASIOW_DLL}"
    Push 0
    Return
  ${EndIf}
  ReadRegStr $R3 HKLM "Software\ASIO\Veltrano-HD" "CLSID"
  ${If} $R3 == ""
    Push 0
    Return
  ${EndIf}
  ReadRegStr $R4 HKCR "CLSID\$R3\InprocServer32" ""
  ${If} $R4 == $R0
    Push 1
  ${Else}
    Push 0
  ${EndIf}
FunctionEnd

; Both registrations: the 64-bit one from x64\ on 64-bit Windows, the
; 32-bit one wherever a 32-bit program can run. Returns 1, or a text
; saying which one is missing.
Function WaitForRegistrations
  ${If} ${RunningX64}
    !insertmacro WAIT_IN_VIEW "" 64 "$INSTDIR\x64" IsRegisteredFrom
    ${If} $R0 != 1
      Push "64-bit registration missing"
      Return
    ${EndIf}
  ${EndIf}
  Call Can32BitRun
  Pop $R0
  ${If} $R0 != 1
    DetailPrint "This Windows cannot run 32-bit programs: no 32-bit ASIO registration to wait for."
    Push 1
    Return
  ${EndIf}
  !insertmacro WAIT_IN_VIEW "" 32 "$INSTDIR" IsRegisteredFrom
  ${If} $R0 != 1
    Push "32-bit registration missing"
    Return
  ${EndIf}
  Push 1
FunctionEnd


; 1 when the ASIO key in the current view names no DLL of folder $R2.
Function un.IsUnregisteredFrom
  ReadRegStr $R0 HKLM "Software\ASIO\Veltrano-HD" "Driver"
  ${If} $R0 == "$R2\${ASIO_DLL}"
  ${OrIf} $R0 == "$R2\${ASIOW_DLL}"
    Push 0
  ${Else}
    Push 1
  ${EndIf}
FunctionEnd


; The unregistrations need the DLLs on disk until they are done. Where no
; 32-bit program runs, no 32-bit unregistration can either: nothing to wait
; for.
Function un.WaitForUnregistrations
  ${If} ${RunningX64}
    !insertmacro WAIT_IN_VIEW "un." 64 "$INSTDIR\x64" IsUnregisteredFrom
    ${If} $R0 != 1
      Push "64-bit registration still present"
      Return
    ${EndIf}
  ${EndIf}
  Call un.Can32BitRun
  Pop $R0
  ${If} $R0 != 1
    DetailPrint "This Windows cannot run 32-bit programs: no 32-bit ASIO unregistration to wait for."
    Push 1
    Return
  ${EndIf}
  !insertmacro WAIT_IN_VIEW "un." 32 "$INSTDIR" IsUnregisteredFrom
  ${If} $R0 != 1
    Push "32-bit registration still present"
    Return
  ${EndIf}
  Push 1
FunctionEnd

; The co-installer writes its certificate files into the package folder and
; deletes them with a command it does not wait for.
Function un.WaitForCertificateFiles
  IntOp $R1 ${CERT_FILES_TIMEOUT_S} * 1000
  ${Do}
    ${IfNot} ${FileExists} "$INSTDIR\NewCert.cer"
    ${AndIfNot} ${FileExists} "$INSTDIR\CertMgr.EXE"
      Return
    ${EndIf}
    ${If} $R1 <= 0
      Return
    ${EndIf}
    Sleep ${POLL_MS}
    IntOp $R1 $R1 - ${POLL_MS}
  ${Loop}
FunctionEnd

