; Ends a running control panel before its files go: its own exit command
; first, so that it saves its settings and removes its notification icon;
; the process is ended only when it does not exit in time.

!define CPL_EXIT_TIMEOUT_MS 5000
!define SYNCHRONIZE_AND_TERMINATE 0x00100001

Function un.StopControlPanel
  ; One round per running instance this session can see; a bounded number
  ; of rounds, so a window that keeps coming back cannot hold us.
  StrCpy $R5 0
  ${Do}
    FindWindow $R0 "" "${CPL_TITLE}"
    ${If} $R0 = 0
    ${OrIf} $R5 >= 8
      ${Break}
    ${EndIf}
    IntOp $R5 $R5 + 1
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE_AND_TERMINATE}, i 0, i R1) p .R2'
    DetailPrint "Closing the running control panel..."
    SendMessage $R0 ${WM_COMMAND} ${CPL_EXIT_COMMAND} 0 /TIMEOUT=${CPL_EXIT_TIMEOUT_MS}
    ${If} $R2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p R2, i ${CPL_EXIT_TIMEOUT_MS}) i .R3'
      ${If} $R3 != 0
        DetailPrint "The control panel did not exit; ending it."
        System::Call 'kernel32::TerminateProcess(p R2, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p R2, i ${CPL_EXIT_TIMEOUT_MS})'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R2)'
    ${Else}
      Sleep ${CPL_EXIT_TIMEOUT_MS}
    ${EndIf}
  ${Loop}
FunctionEnd
