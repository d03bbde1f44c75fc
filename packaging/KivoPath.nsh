; The installer's PATH entry: puts the install folder (where kivofs.exe is) on the PATH of the
; current user or of all users, as chosen on the options page, and takes it off again when
; uninstalling. An NSIS string holds at most ${NSIS_MAX_STRLEN} characters: a PATH that does
; not fit, or would not fit with the folder added, is left exactly as it is and the details
; say so. It is never written back shortened.
; In silent mode the entry is made when the command line says /PATH=user or /PATH=all.
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define KIVO_USER_ENV "Environment"
!define KIVO_ALL_ENV "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

!macro KIVO_PATH_FUNCTIONS UN
; Stack: the folder, then the PATH value on top. Leaves the value without any entry that
; names the folder (with or without a trailing backslash); every other entry stays as it was.
Function ${UN}KivoPathWithout
  Exch $0  ; PATH
  Exch
  Exch $1  ; folder
  Push $2  ; result
  Push $3  ; entry being read
  Push $4  ; character
  Push $5  ; 1 until the first entry is kept
  StrCpy $2 ""
  StrCpy $3 ""
  StrCpy $5 1
  ${Do}
    StrCpy $4 $0 1
    StrCpy $0 $0 "" 1
    ${If} $4 == ";"
    ${OrIf} $4 == ""
      ${If} $3 != $1
      ${AndIf} $3 != "$1\"
        ${If} $5 == 1
          StrCpy $2 $3
          StrCpy $5 0
        ${Else}
          StrCpy $2 "$2;$3"
        ${EndIf}
      ${EndIf}
      StrCpy $3 ""
      ${IfThen} $4 == "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $3 "$3$4"
    ${EndIf}
  ${Loop}
  StrCpy $0 $2
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro KIVO_PATH_FUNCTIONS ""
!insertmacro KIVO_PATH_FUNCTIONS "un."

; Reads the Path value of ROOT\KEY into $0 and sets $1: "ok", "missing", or "too long" (the
; value is there but longer than an NSIS string).
!macro KIVO_READ_PATH ROOT KEY
  ClearErrors
  ReadRegStr $0 ${ROOT} "${KEY}" "Path"
  StrCpy $1 "ok"
  ${If} ${Errors}
    StrCpy $1 "missing"
    StrCpy $2 0
    ${Do}
      EnumRegValue $3 ${ROOT} "${KEY}" $2
      ${IfThen} $3 == "" ${|} ${ExitDo} ${|}
      ${IfThen} $3 == "Path" ${|} StrCpy $1 "too long" ${|}
      IntOp $2 $2 + 1
    ${Loop}
  ${EndIf}
!macroend

!macro KIVO_ADD_TO_PATH ROOT KEY
  !insertmacro KIVO_READ_PATH ${ROOT} "${KEY}"
  ${If} $1 == "too long"
    DetailPrint "The PATH is too long to change safely; $INSTDIR was not added to it."
  ${Else}
    Push $INSTDIR
    Push $0
    Call KivoPathWithout
    Pop $2
    StrLen $3 $0
    StrLen $4 $INSTDIR
    IntOp $3 $3 + $4
    ${If} $2 != $0
      DetailPrint "$INSTDIR is on the PATH already."
    ${ElseIf} $3 >= ${NSIS_MAX_STRLEN}
      DetailPrint "The PATH is too long to change safely; $INSTDIR was not added to it."
    ${Else}
      ${If} $0 == ""
        StrCpy $0 $INSTDIR
      ${Else}
        StrCpy $4 $0 1 -1
        ${IfThen} $4 != ";" ${|} StrCpy $0 "$0;" ${|}
        StrCpy $0 "$0$INSTDIR"
      ${EndIf}
      WriteRegExpandStr ${ROOT} "${KEY}" "Path" $0
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
      DetailPrint "Added $INSTDIR to the PATH."
      StrCpy $R9 1
    ${EndIf}
  ${EndIf}
!macroend

!macro KIVO_REMOVE_FROM_PATH ROOT KEY
  !insertmacro KIVO_READ_PATH ${ROOT} "${KEY}"
  ${If} $1 == "ok"
    Push $INSTDIR
    Push $0
    Call un.KivoPathWithout
    Pop $2
    ${If} $2 != $0
      WriteRegExpandStr ${ROOT} "${KEY}" "Path" $2
      SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
    ${EndIf}
  ${ElseIf} $1 == "too long"
    DetailPrint "The PATH is too long to change safely; remove $INSTDIR from it by hand."
  ${EndIf}
!macroend

; At the end of the installation: the choice of the options page, or of /PATH= when silent.
; What was added is stored with the uninstall information, so that the uninstaller takes off
; that and nothing else (an entry the user had made before stays).
Function KivoAddToPath
  Push $R9
  StrCpy $R9 0
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PATH=" $1
    ${IfNot} ${Errors}
      ${If} $1 == "user"
        StrCpy $ADD_TO_PATH_CURRENT_USER 1
        StrCpy $DO_NOT_ADD_TO_PATH 0
      ${ElseIf} $1 == "all"
        StrCpy $ADD_TO_PATH_ALL_USERS 1
        StrCpy $DO_NOT_ADD_TO_PATH 0
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} $ADD_TO_PATH_ALL_USERS == 1
    !insertmacro KIVO_ADD_TO_PATH HKLM "${KIVO_ALL_ENV}"
  ${ElseIf} $ADD_TO_PATH_CURRENT_USER == 1
    !insertmacro KIVO_ADD_TO_PATH HKCU "${KIVO_USER_ENV}"
  ${EndIf}
  ${If} $R9 != 1
    StrCpy $ADD_TO_PATH_ALL_USERS 0
    StrCpy $ADD_TO_PATH_CURRENT_USER 0
  ${EndIf}
  WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\${KIVO_REGISTRY_KEY}" "AddToPathAllUsers" $ADD_TO_PATH_ALL_USERS
  WriteRegStr SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\${KIVO_REGISTRY_KEY}" "AddToPathCurrentUser" $ADD_TO_PATH_CURRENT_USER
  Pop $R9
FunctionEnd

Function un.KivoRemoveFromPath
  ${If} $ADD_TO_PATH_ALL_USERS == 1
    !insertmacro KIVO_REMOVE_FROM_PATH HKLM "${KIVO_ALL_ENV}"
  ${ElseIf} $ADD_TO_PATH_CURRENT_USER == 1
    !insertmacro KIVO_REMOVE_FROM_PATH HKCU "${KIVO_USER_ENV}"
  ${EndIf}
FunctionEnd

; The uninstaller removes the vendor's key once nothing of ours is left in it.
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX "Software\${KIVO_VENDOR}"
FunctionEnd
