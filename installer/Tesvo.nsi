; Tesvo's installer. makensis is run by scripts/package with:
;   -DSOURCE_DIR=<folder with Tesvo.exe, korvante.dll, TesvoService.exe, Tesvo.cfg>
;   -DOUT_FILE=<setup program to write>
;   -DTARGET_ARCH=i686 (the shipped build) or x86_64 (a 64-bit twin, used only
;    to check this script quickly under 64-bit Wine)
;
; Switches: /S silent, /D=<folder> install folder (last, unquoted),
; uninstaller /REMOVEPRODUCTS also removes the registered products.
;
; On the NT family the update service is set up through its program's own
; commands (TesvoService.exe /secure-folder, /stop, /install, /uninstall): the
; service, its event source, and the rights of the product key and the program
; folder. Nothing runs from the folder before it is secured: the securing and the
; stop of an earlier service run from a copy in the installer's private plug-ins
; folder, and a folder that someone other than an administrator owns or may
; write is refused (exit code 1307). Windows 95, 98 and Me have no services or
; rights: that part is skipped.
;
; Exit code 3010 (ERROR_SUCCESS_REBOOT_REQUIRED): the program files were in use
; (an agent in another user's session) and are replaced at the next restart.

Unicode true
!ifndef TARGET_ARCH
  !define TARGET_ARCH i686
!endif
!if "${TARGET_ARCH}" == "x86_64"
  Target amd64-unicode
  !define PROGRAM_FOLDER "$PROGRAMFILES64\Tesvo"
!else
  Target x86-unicode
  !define PROGRAM_FOLDER "$PROGRAMFILES\Tesvo"
!endif
!ifndef PRODUCT_VERSION
  !define PRODUCT_VERSION "1.0"
!endif

!define AGENT_NAME "Tesvo"                ; class and title of the agent's marker window
!define PRODUCT_KEY "SOFTWARE\Morvane\Tesvo\CurrentVersion"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tesvo"
; How long the agent gets to end after WM_CLOSE before it is ended by force.
; Generous: under emulation a process takes many seconds to wind down.
!define CLOSE_WAIT_MS 60000

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "WinVer.nsh"

Name "Tesvo"
OutFile "${OUT_FILE}"
InstallDir "${PROGRAM_FOLDER}"
; An upgrade goes where the earlier copy is, unless /D= says otherwise.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Ends a running agent the way it expects: WM_CLOSE to its marker window. Waits,
; bounded, until the process has ended (so its files can be replaced or removed);
; one that does not end in time is ended by force.
!macro DEFINE_CLOSE_AGENT UN
Function ${UN}CloseAgent
  Push $0
  Push $1
  Push $2
  Push $3
  FindWindow $0 "${AGENT_NAME}" "${AGENT_NAME}"
  ${If} $0 <> 0
    DetailPrint "Closing the running Tesvo agent"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i r1) p .r2'
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
    ; The marker window goes when the agent's thread ends.
    StrCpy $3 0
    ${DoWhile} $3 < ${CLOSE_WAIT_MS}
      FindWindow $0 "${AGENT_NAME}" "${AGENT_NAME}"
      ${IfThen} $0 = 0 ${|} ${Break} ${|}
      Sleep 250
      IntOp $3 $3 + 250
    ${Loop}
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i .r1'
      ${If} $1 <> 0
        DetailPrint "The agent did not end in time; ending it"
        System::Call 'kernel32::TerminateProcess(p r2, i 1)'
        System::Call 'kernel32::WaitForSingleObject(p r2, i 10000)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_AGENT ""
!insertmacro DEFINE_CLOSE_AGENT "un."

; The agent works with 8-bit paths: its folder must be written in the system's
; code page. $0 = 1 when $INSTDIR is.
Function PathFitsCodePage
  ; WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, ..., &usedDefault)
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w "$INSTDIR", i -1, p 0, i 0, p 0, *i 0 r1) i .r0'
  ${If} $0 <> 0
  ${AndIf} $1 = 0
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

; Files that are replaced together: an agent must never load a new korvante.dll
; into an old Tesvo.exe, nor an old one talk to a new service.
!macro FOR_EACH_PROGRAM_FILE MACRO
  !insertmacro ${MACRO} Tesvo.exe
  !insertmacro ${MACRO} korvante.dll
  !insertmacro ${MACRO} TesvoService.exe
!macroend

; $0 = 1 if FILE is held by a running program: an agent in another session,
; whose marker window this installer cannot see, keeps its program mapped.
!macro CHECK_IN_USE FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ; CreateFileW(path, GENERIC_WRITE, no sharing, OPEN_EXISTING)
    System::Call 'kernel32::CreateFileW(w "$INSTDIR\${FILE}", i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r1'
    ${If} $1 P= -1
      StrCpy $0 1
    ${Else}
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
  ${EndIf}
!macroend
; Puts the new copy, unpacked beside the old one as FILE.new, in place now.
!macro REPLACE_NOW FILE
  Delete "$INSTDIR\${FILE}"
  Rename "$INSTDIR\${FILE}.new" "$INSTDIR\${FILE}"
!macroend
; The same at the next restart, for every file of the set: the rename fails
; while the old copy is there, and /REBOOTOK hands it to the system.
!macro REPLACE_AT_RESTART FILE
  Rename /REBOOTOK "$INSTDIR\${FILE}.new" "$INSTDIR\${FILE}"
!macroend
; Removes FILE now, or at the next restart if it is in use.
!macro REMOVE_PROGRAM_FILE FILE
  Delete /REBOOTOK "$INSTDIR\${FILE}"
!macroend

Function .onInit
!if "${TARGET_ARCH}" == "x86_64"
  SetRegView 64
!endif
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "Tesvo can only be installed by an administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
FunctionEnd

Function .onVerifyInstDir
  Call PathFitsCodePage
  ${IfThen} $0 = 0 ${|} Abort ${|}
FunctionEnd

Section "Tesvo" SecProgram
  SectionIn RO
  Call PathFitsCodePage
  ${If} $0 = 0
    MessageBox MB_ICONSTOP "Tesvo cannot run from $INSTDIR: choose a folder whose name uses only characters of the system's code page." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  Call CloseAgent
  ${If} ${IsNT}
    ; The folder secured, owner included, before anything goes into it or runs
    ; from it: by the new service program, from the private plug-ins folder.
    InitPluginsDir
    File "/oname=$PLUGINSDIR\TesvoService.exe" "${SOURCE_DIR}\TesvoService.exe"
    ExecWait '"$PLUGINSDIR\TesvoService.exe" /secure-folder "$INSTDIR"' $1
    ${If} $1 <> 0
      DetailPrint "TesvoService.exe /secure-folder failed (error $1)"
      ${If} $1 = 1307 ; ERROR_INVALID_OWNER
        MessageBox MB_ICONSTOP "Tesvo cannot be installed into $INSTDIR: someone other than an administrator owns this folder or may change it. Choose another folder." /SD IDOK
      ${Else}
        MessageBox MB_ICONSTOP "Tesvo cannot secure the folder $INSTDIR (error $1)." /SD IDOK
      ${EndIf}
      SetErrorLevel $1
      Abort
    ${EndIf}
    ; The earlier service, which holds its program open, stopped through the
    ; service manager: its program in the folder is not run.
    ExecWait '"$PLUGINSDIR\TesvoService.exe" /stop' $1
  ${EndIf}

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File /oname=Tesvo.exe.new "${SOURCE_DIR}\Tesvo.exe"
  File /oname=korvante.dll.new "${SOURCE_DIR}\korvante.dll"
  File /oname=TesvoService.exe.new "${SOURCE_DIR}\TesvoService.exe"
  StrCpy $0 0
  !insertmacro FOR_EACH_PROGRAM_FILE CHECK_IN_USE
  ${If} $0 = 0
    !insertmacro FOR_EACH_PROGRAM_FILE REPLACE_NOW
  ${Else}
    !insertmacro FOR_EACH_PROGRAM_FILE REPLACE_AT_RESTART
    SetRebootFlag true
    SetErrorLevel 3010
    DetailPrint "Tesvo is in use in another session: its files are replaced at the next restart"
    MessageBox MB_ICONINFORMATION "Tesvo is running in another user's session. The new version is put in place when Windows restarts; until then the installed version keeps running." /SD IDOK
  ${EndIf}
  ; The catalog is the library's to refresh: an upgrade keeps the one in place.
  SetOverwrite off
  File "${SOURCE_DIR}\Tesvo.cfg"
  SetOverwrite on
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The service, its event source and the rights of the key and folder. The
  ; rest is installed all the same (an agent works in-process without the
  ; service where it may), but the installer says so and ends with the error.
  ${If} ${IsNT}
    ExecWait '"$INSTDIR\TesvoService.exe" /install' $1
    ${If} $1 <> 0
      DetailPrint "TesvoService.exe /install failed (error $1)"
      ${If} $1 = 231 ; ERROR_PIPE_BUSY
        MessageBox MB_ICONEXCLAMATION "Another program holds the name of the Tesvo Update Service's pipe (\\.\pipe\TesvoUpdate). The service keeps trying to take it; until then updates run only for users who may change Tesvo's settings." /SD IDOK
      ${Else}
        MessageBox MB_ICONEXCLAMATION "The Tesvo Update Service could not be set up (error $1). Updates then run only for users who may change Tesvo's settings." /SD IDOK
      ${EndIf}
      SetErrorLevel $1
    ${EndIf}
  ${EndIf}

  ; The product key, empty on a first install; products and schedules already
  ; in it stay as they are. Its rights are set by TesvoService.exe /install.
  ; RegCreateKeyExW(HKEY_LOCAL_MACHINE, ..., KEY_WRITE, &key)
  System::Call 'advapi32::RegCreateKeyExW(p 0x80000002, w "${PRODUCT_KEY}", i 0, p 0, i 0, i 0x20006, p 0, *p .r0, p 0) i .r1'
  ${If} $1 = 0
    System::Call 'advapi32::RegCloseKey(p r0)'
  ${Else}
    DetailPrint "Could not create the product key (error $1)"
  ${EndIf}

  WriteRegStr HKLM "${RUN_KEY}" "Tesvo" '"$INSTDIR\Tesvo.exe"'

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Tesvo"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${PRODUCT_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Morvane"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" '"$INSTDIR\Tesvo.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ; The agent runs from here on, as it will at every logon.
  Exec '"$INSTDIR\Tesvo.exe"'
SectionEnd

Section "un.Tesvo program files" SecUninstallProgram
  SectionIn RO
  Call un.CloseAgent
  ${If} ${IsNT}
  ${AndIf} ${FileExists} "$INSTDIR\TesvoService.exe"
    ExecWait '"$INSTDIR\TesvoService.exe" /uninstall'
  ${EndIf}
  DeleteRegValue HKLM "${RUN_KEY}" "Tesvo"
  ; An agent in another session may still hold them.
  !insertmacro FOR_EACH_PROGRAM_FILE REMOVE_PROGRAM_FILE
  Delete "$INSTDIR\Tesvo.cfg"
  Delete "$INSTDIR\Tesvo.cfg.tmp"
  Delete "$INSTDIR\Tesvo.cfg.*.tmp"
  Delete "$INSTDIR\Tesvo.cfg.old"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only if empty: whatever else is in the folder is not ours to remove.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

; Off unless asked for: the products and their schedules outlive the program.
Section /o "un.Products and schedules" SecRemoveProducts
  DeleteRegKey HKLM "${PRODUCT_KEY}"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Morvane\Tesvo"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Morvane"
SectionEnd

Function un.onInit
!if "${TARGET_ARCH}" == "x86_64"
  SetRegView 64
!endif
  ; /REMOVEPRODUCTS ticks the second component, for silent uninstalls.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEPRODUCTS" $1
  ${IfNot} ${Errors}
    SectionGetFlags ${SecRemoveProducts} $1
    IntOp $1 $1 | ${SF_SELECTED}
    SectionSetFlags ${SecRemoveProducts} $1
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUninstallProgram} "Tesvo's program files and its start at logon."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecRemoveProducts} "The products Tesvo knows of and their update schedules. Leave unticked to keep them for a later install."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
