; Deleting the installed files when a program may still hold some of them:
; an audio program with a driver DLL loaded, a control panel running in
; another session. Such files, and the folders they keep, are deleted when
; Windows restarts; the uninstaller then says which in its log and ends
; with 3010 (restart needed), the code deployment tools know. Nothing here
; restarts anything.
;
; The log, "$TEMP\${UNINSTALL_LOG}", holds only what an administrator needs
; after a silent removal: the files that wait for the restart, or why the
; removal stopped. A removal that did everything leaves no log.

!define UNINSTALL_LOG "Veltrano-HD-Uninstall.log"
!define EXIT_RESTART_NEEDED 3010

Function un.StartLog
  Delete "$TEMP\${UNINSTALL_LOG}"
FunctionEnd

; Appends the line on the stack to the log and to the details.
Function un.LogLine
  Exch $R9
  Push $R8
  DetailPrint "$R9"
  FileOpen $R8 "$TEMP\${UNINSTALL_LOG}" a
  ${If} $R8 != ""
    FileSeek $R8 0 END
    FileWrite $R8 "$R9$\r$\n"
    FileClose $R8
  ${EndIf}
  Pop $R8
  Pop $R9
FunctionEnd

!macro LOG_LINE TEXT
  Push "${TEXT}"
  Call un.LogLine
!macroend

; Deletes the file on the stack, or has it deleted at the restart.
Function un.RemoveFile
  Exch $R9
  Delete "$R9"
  ${If} ${FileExists} "$R9"
    Delete /REBOOTOK "$R9"
    !insertmacro LOG_LINE "In use, deleted when Windows restarts: $R9"
  ${EndIf}
  Pop $R9
FunctionEnd

!macro REMOVE_FILE PATH
  Push "${PATH}"
  Call un.RemoveFile
!macroend

; A folder with everything in it.
Function un.RemoveTree
  Exch $R9
  RMDir /r "$R9"
  ${If} ${FileExists} "$R9\*.*"
    RMDir /r /REBOOTOK "$R9"
    !insertmacro LOG_LINE "In use, deleted when Windows restarts: $R9 (with what is left in it)"
  ${EndIf}
  Pop $R9
FunctionEnd

; An empty folder; one that a waiting file keeps goes at the restart too,
; after that file.
Function un.RemoveFolder
  Exch $R9
  RMDir "$R9"
  ${If} ${FileExists} "$R9\*.*"
  ${AndIf} ${RebootFlag}
    RMDir /REBOOTOK "$R9"
    !insertmacro LOG_LINE "Folder deleted when Windows restarts: $R9"
  ${EndIf}
  Pop $R9
FunctionEnd

!macro REMOVE_FOLDER PATH
  Push "${PATH}"
  Call un.RemoveFolder
!macroend

; The uninstaller itself: run with _?= it runs from the package folder and
; cannot delete itself. It is then left for the caller, as every such
; uninstaller is, unless a restart is due anyway: then the restart takes it
; and the folder with it.
Function un.RemoveSelf
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
  ${AndIf} ${RebootFlag}
    Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    !insertmacro LOG_LINE "Deleted when Windows restarts: $INSTDIR\Uninstall.exe"
  ${EndIf}
FunctionEnd

; At the end of the removal: the exit code, and a word to a user who watches.
Function un.ReportRestart
  ${IfNot} ${RebootFlag}
    Return
  ${EndIf}
  !insertmacro LOG_LINE "${PRODUCT} is removed; the files above are deleted when Windows restarts."
  SetErrorLevel ${EXIT_RESTART_NEEDED}
  IfSilent +2
    MessageBox MB_OK|MB_ICONINFORMATION "Some files of ${PRODUCT} are still in use. They will be deleted when Windows restarts; the list is in $TEMP\${UNINSTALL_LOG}."
FunctionEnd
