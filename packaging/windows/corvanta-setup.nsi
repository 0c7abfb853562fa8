; The setup program of Corvanta: installs Corvix.dll for the current user (or, run
; elevated with /ALLUSERS, for every user), lists it for Outlook, asks for the
; tracking service's web host and the sender's add-in key, upgrades in place and uninstalls.
;
; Built by CMake (packaging/windows/CMakeLists.txt) with
;   makensis -DDLL=<Corvix.dll> -DOUTDIR=<folder> -DCLSID={...} -DPROGID=Corvix.Connect
;            -DFRIENDLY_NAME=... -DDESCRIPTION=... -DBUILTIN_HOST=... corvanta-setup.nsi
; The version is the DLL's own, from its version resource.
; -DWIN64 makes the 64-bit twin for the Windows tests under 64-bit Wine: a 64-bit
; setup program around the 64-bit test build of the DLL. Only the 32-bit one ships.
;
; Command line:  /S  silent;  /SERVICEHOST=host[:port];  /SERVICEKEY=key (the sender's add-in
;                key, 64 hexadecimal digits);  /ALLUSERS (elevated only);
;                /LOG=file (default %TEMP%\Corvanta-Setup.log);  /D=folder (last).
; Uninstaller:   /S  silent (keeps the settings);  /REMOVESETTINGS  removes them too;
;                /ALLUSERS for an all-users installation;  /LOG=file as above (the
;                default log is deleted once the uninstall has succeeded).
; Exit codes:    0 done, 1 cancelled, 2 bad command line, 3 Outlook is running,
;                4 a file could not be written, 5 a registry key could not be written,
;                6 /ALLUSERS without administrator rights.

!ifdef WIN64
  Target amd64-unicode
  !define SUFFIX "-win64-test"
!else
  Unicode true
  !define SUFFIX ""
!endif
!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include StrFunc.nsh
${StrLoc}

!getdllversion "${DLL}" DllVersion_
!define VERSION "${DllVersion_1}.${DllVersion_2}.${DllVersion_3}.${DllVersion_4}"
!define PRODUCT "Corvanta"
!define ADDIN_KEY "Software\Microsoft\Office\Outlook\Addins\${PROGID}"
!define CLASS_KEY "Software\Classes\CLSID\${CLSID}"
!define PROGID_KEY "Software\Classes\${PROGID}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define OUTLOOK_WINDOW_CLASS "rctrl_renwnd32"

Name "${PRODUCT}"
OutFile "${OUTDIR}/${PRODUCT}-Setup-${VERSION}${SUFFIX}.exe"
InstallDir "$LOCALAPPDATA\${PRODUCT}"
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "CompanyName" "${PRODUCT}"
VIAddVersionKey "LegalCopyright" "${PRODUCT}"

Var ServiceHost      ; what goes into "ServiceHost"
Var HostField        ; the text field of the service host page
Var ServiceKey       ; what goes into "ServiceKey"; empty keeps the key already set
Var KeyField         ; the add-in key's field on the same page
Var AllUsers         ; 1 for an all-users install
Var LogFile
Var LogGiven         ; 1 when /LOG= named the log file
Var Parameters
Var Upgrade          ; 1 when an earlier installation is replaced in its folder

!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT UserAbort
!define MUI_WELCOMEPAGE_TITLE "Welcome to the ${PRODUCT} ${VERSION} Setup"
!define MUI_WELCOMEPAGE_TEXT "This will install ${PRODUCT}, the e-mail tracking add-in for Outlook 2000 and Outlook 2002.$\r$\n$\r$\nPlease close Outlook before you go on. Settings of an earlier installation are kept.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
Page custom ServiceHostPage ServiceHostPageLeave
; An upgrade stays in the folder of the installation it replaces.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipFolderOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
; The progress page stays once done, so the details can be read.
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} is installed. It starts with Outlook's next start, where a first installation asks you to accept its terms of use.$\r$\n$\r$\nClick Finish to close this wizard."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Appends one line to the log, and shows it among the details.
!macro Log text
  Push "${text}"
  !ifdef __UNINSTALL__
    Call un.Log
  !else
    Call Log
  !endif
!macroend
!macro Fail code text
  Push "${text}"
  Push ${code}
  !ifdef __UNINSTALL__
    Call un.Fail
  !else
    Call Fail
  !endif
!macroend

!macro LogFunctions un
Function ${un}Log
  Exch $0
  Push $1
  ClearErrors
  FileOpen $1 $LogFile a
  ${IfNot} ${Errors}
    FileSeek $1 0 END
    FileWrite $1 "$0$\r$\n"
    FileClose $1
  ${EndIf}
  DetailPrint "$0"
  Pop $1
  Pop $0
FunctionEnd

; Logs the reason, sets the exit code and ends the setup.
Function ${un}Fail
  Exch $0   ; code
  Exch
  Exch $1   ; reason
  Push "${PRODUCT} ${VERSION}: failed (exit code $0): $1"
  Call ${un}Log
  SetErrorLevel $0
  ${IfNot} ${Silent}
    MessageBox MB_OK|MB_ICONSTOP "$1"
  ${EndIf}
  Quit
FunctionEnd

Function ${un}OpenLog
  ${GetParameters} $Parameters
  ClearErrors
  StrCpy $LogGiven 1
  ${GetOptions} $Parameters "/LOG=" $LogFile
  ${If} ${Errors}
  ${OrIf} $LogFile == ""
    StrCpy $LogFile "$TEMP\${PRODUCT}-Setup.log"
    StrCpy $LogGiven 0
  ${EndIf}
FunctionEnd

; Outlook must not run while Corvix.dll is replaced or removed: Outlook's main window,
; or any process that has the installed DLL loaded (which Windows keeps from being
; written), means Retry or Cancel. Silent: Cancel, with the reason logged.
Function ${un}WaitForOutlook
  Push $0
  Push $1
  ${Do}
    StrCpy $1 ""
    FindWindow $0 "${OUTLOOK_WINDOW_CLASS}"
    ${If} $0 <> 0
      StrCpy $1 "Outlook is running"
    ${ElseIf} ${FileExists} "$INSTDIR\Corvix.dll"
      ClearErrors
      FileOpen $0 "$INSTDIR\Corvix.dll" a
      ${If} ${Errors}
        StrCpy $1 "Corvix.dll ($INSTDIR\Corvix.dll) is in use by a running program, most likely Outlook"
      ${Else}
        FileClose $0
      ${EndIf}
    ${EndIf}
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$1.$\r$\n$\r$\nPlease close Outlook, then click Retry. Cancel stops here and changes nothing." /SD IDCANCEL IDRETRY retry
    !insertmacro Fail 3 "$1; nothing was changed"
    retry:
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro LogFunctions ""
!insertmacro LogFunctions "un."

; 1 when the character is a letter, a digit, '.' or '-' (compared without case), else 0.
Function IsHostCharacter
  Exch $0
  Push $1
  Push $2
  StrCpy $2 0
  ${Do}
    StrCpy $1 "abcdefghijklmnopqrstuvwxyz0123456789.-" 1 $2
    ${If} $1 == ""
      StrCpy $0 0
      ${Break}
    ${ElseIf} $1 == $0
      StrCpy $0 1
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; host or host:port: letters, digits, '.', '-'; a port of 1 to 65535.
Function ValidHost
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $3 ""           ; the port's digits once ':' was seen
  StrCpy $2 0            ; position
  ${If} $0 == ""
    StrCpy $0 "The service host must not be empty."
    Goto done
  ${EndIf}
  ${StrLoc} $1 $0 "/" ">"
  ${If} $1 != ""
    StrCpy $0 "The service host is host or host:port alone, without http:// and without a path."
    Goto done
  ${EndIf}
  ${Do}
    StrCpy $1 $0 1 $2
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ${If} $1 == ":"
      ${If} $3 != ""
      ${OrIf} $2 == 0
        StrCpy $0 "The service host is host or host:port, for example 127.0.0.1:8080."
        Goto done
      ${EndIf}
      StrCpy $3 "p"
    ${ElseIf} $3 != ""
      ${If} $1 S< "0"
      ${OrIf} $1 S> "9"
        StrCpy $0 "The port of the service host must be a number."
        Goto done
      ${EndIf}
      StrCpy $3 "$3$1"
    ${Else}
      ; Letters, digits, '.' and '-' only (no scheme, no path, no blank).
      Push $1
      Call IsHostCharacter
      Pop $1
      ${If} $1 == 0
        StrCpy $0 "The service host may hold only letters, digits, '.' and '-', then ':' and a port."
        Goto done
      ${EndIf}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  ${If} $3 == "p"
    StrCpy $0 "The port of the service host is missing after ':'."
    Goto done
  ${ElseIf} $3 != ""
    StrCpy $3 $3 "" 1
    StrLen $1 $3
    ${If} $1 > 5
    ${OrIf} $3 < 1
    ${OrIf} $3 > 65535
      StrCpy $0 "The port of the service host must be between 1 and 65535."
      Goto done
    ${EndIf}
  ${EndIf}
  StrCpy $0 ""
  done:
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

!macro NativeView
  ; The 64-bit twin writes where the 64-bit DLL is looked up: the registry's 64-bit view.
  !ifdef WIN64
    SetRegView 64
  !endif
!macroend

; "" when the text is an add-in key (64 hexadecimal digits, '-' between them allowed), else why not.
Function ValidKey
  Exch $0
  Push $1
  Push $2
  Push $3
  StrCpy $2 0   ; position
  StrCpy $3 0   ; digits
  ${Do}
    StrCpy $1 $0 1 $2
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
    ${If} $1 == "-"
      ${Continue}
    ${EndIf}
    ${StrLoc} $1 "0123456789abcdefABCDEF" $1 ">"
    ${If} $1 == ""
      StrCpy $0 "The add-in key is made of the digits 0 to 9 and the letters a to f only."
      Goto done
    ${EndIf}
    IntOp $3 $3 + 1
  ${Loop}
  ${If} $3 != 64
    StrCpy $0 "The add-in key has 64 digits and letters; this one has $3. Copy it whole from the service's page."
    Goto done
  ${EndIf}
  StrCpy $0 ""
  done:
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  Call OpenLog
  !insertmacro NativeView
  ; /D= on the command line has already replaced the default folder.
  StrCpy $1 0
  ${If} $INSTDIR != "$LOCALAPPDATA\${PRODUCT}"
    StrCpy $1 1
  ${EndIf}
  StrCpy $AllUsers 0
  ClearErrors
  ${GetOptions} $Parameters "/ALLUSERS" $0
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      !insertmacro Fail 6 "An installation for all users needs administrator rights; run the setup elevated, or without /ALLUSERS for the current user."
    ${EndIf}
    StrCpy $AllUsers 1
    SetShellVarContext all
    ${If} $1 == 0
      !ifdef WIN64
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
      !else
        StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
      !endif
    ${EndIf}
  ${EndIf}

  ; An earlier installation: the same folder, so the upgrade replaces it in place.
  StrCpy $Upgrade 0
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    StrCpy $INSTDIR $0
    StrCpy $Upgrade 1
  ${EndIf}

  ; The service host: the command line, else the one already set, else the built-in one.
  ReadRegStr $ServiceHost HKCU "${ADDIN_KEY}" "ServiceHost"
  ClearErrors
  ${GetOptions} $Parameters "/SERVICEHOST=" $0
  ${If} ${Errors}
    ; Given in a form the option reader cannot take apart: say so rather than ignore it.
    ${StrLoc} $1 $Parameters "SERVICEHOST=" ">"
    ${If} $1 != ""
      !insertmacro Fail 2 "The command line has /SERVICEHOST= in a form that cannot be read: $Parameters. Write it as /SERVICEHOST=host or /SERVICEHOST=host:port."
    ${EndIf}
  ${Else}
    Push $0
    Call ValidHost
    Pop $1
    ${If} $1 != ""
      !insertmacro Fail 2 "/SERVICEHOST=$0: $1"
    ${EndIf}
    StrCpy $ServiceHost $0
  ${EndIf}
  ${If} $ServiceHost == ""
  ${AndIfNot} ${Silent}
    StrCpy $ServiceHost "${BUILTIN_HOST}"
  ${EndIf}

  ; The add-in key: only from the command line or the page; one already set is kept
  ; (the add-in keeps it sealed, so it is never read back here).
  StrCpy $ServiceKey ""
  ClearErrors
  ${GetOptions} $Parameters "/SERVICEKEY=" $0
  ${IfNot} ${Errors}
    Push $0
    Call ValidKey
    Pop $1
    ${If} $1 != ""
      !insertmacro Fail 2 "/SERVICEKEY=: $1"
    ${EndIf}
    StrCpy $ServiceKey $0
  ${EndIf}
FunctionEnd

Function SkipFolderOnUpgrade
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
FunctionEnd

Function ServiceHostPage
  !insertmacro MUI_HEADER_TEXT "Tracking service" "The web host of the Mailwarden service that ${PRODUCT} works with."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Enter the service's web host as host or host:port. Keep ${BUILTIN_HOST} unless your organisation runs its own service."
  Pop $0
  ${NSD_CreateLabel} 0 44u 100% 10u "Service host:"
  Pop $0
  ${NSD_CreateText} 0 56u 100% 12u "$ServiceHost"
  Pop $HostField
  ReadRegStr $0 HKCU "${ADDIN_KEY}" "ServiceKey"
  ${If} $0 == ""
    StrCpy $0 "Add-in key (optional; from the $\"Add-in key$\" page of your account at the service):"
  ${Else}
    StrCpy $0 "Add-in key (one is set; leave this empty to keep it, or paste a new one):"
  ${EndIf}
  ${NSD_CreateLabel} 0 80u 100% 10u "$0"
  Pop $0
  ${NSD_CreatePassword} 0 92u 100% 12u "$ServiceKey"
  Pop $KeyField
  nsDialogs::Show
FunctionEnd

Function ServiceHostPageLeave
  ${NSD_GetText} $HostField $0
  Push $0
  Call ValidHost
  Pop $1
  ${If} $1 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$1"
    Abort
  ${EndIf}
  StrCpy $ServiceHost $0
  ${NSD_GetText} $KeyField $0
  ${If} $0 != ""
    Push $0
    Call ValidKey
    Pop $1
    ${If} $1 != ""
      MessageBox MB_OK|MB_ICONEXCLAMATION "$1"
      Abort
    ${EndIf}
  ${EndIf}
  StrCpy $ServiceKey $0
FunctionEnd

; What DllRegisterServer writes: the class and its ProgID, and Outlook's add-in key.
Function WriteRegistration
  ClearErrors
  WriteRegStr SHCTX "${CLASS_KEY}" "" "${PROGID}"
  WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "" "$INSTDIR\Corvix.dll"
  WriteRegStr SHCTX "${CLASS_KEY}\InprocServer32" "ThreadingModel" "Apartment"
  WriteRegStr SHCTX "${CLASS_KEY}\ProgID" "" "${PROGID}"
  WriteRegStr SHCTX "${PROGID_KEY}" "" "${PROGID}"
  WriteRegStr SHCTX "${PROGID_KEY}\CLSID" "" "${CLSID}"
  WriteRegStr SHCTX "${ADDIN_KEY}" "FriendlyName" "${FRIENDLY_NAME}"
  WriteRegStr SHCTX "${ADDIN_KEY}" "Description" "${DESCRIPTION}"
  WriteRegDWORD SHCTX "${ADDIN_KEY}" "LoadBehavior" 3
  ; The add-in reads its settings from the user's own key, whatever the install.
  ${If} $ServiceHost != ""
    WriteRegStr HKCU "${ADDIN_KEY}" "ServiceHost" "$ServiceHost"
  ${EndIf}
  ; In plain digits for a moment: the add-in seals it with the user's data-protection
  ; key (CryptProtectData) when it first reads it.
  ${If} $ServiceKey != ""
    WriteRegStr HKCU "${ADDIN_KEY}" "ServiceKey" "$ServiceKey"
  ${EndIf}
  ${If} ${Errors}
    !insertmacro Fail 5 "The registry keys of ${PRODUCT} could not be written."
  ${EndIf}
FunctionEnd

Section "Corvanta"
  ; The key itself never goes into the log.
  ${If} $ServiceKey != ""
    !insertmacro Log "${PRODUCT} ${VERSION}: a new add-in key is given"
  ${EndIf}
  ${If} $AllUsers == 1
    !insertmacro Log "${PRODUCT} ${VERSION}: installing into $INSTDIR for all users, service host '$ServiceHost'"
  ${Else}
    !insertmacro Log "${PRODUCT} ${VERSION}: installing into $INSTDIR for the current user, service host '$ServiceHost'"
  ${EndIf}
  Call WaitForOutlook
  SetOutPath "$INSTDIR"
  ClearErrors
  SetOverwrite on
  File "${DLL}"
  ${If} ${Errors}
    !insertmacro Fail 4 "$INSTDIR\Corvix.dll could not be written."
  ${EndIf}
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
    !insertmacro Fail 4 "$INSTDIR\Uninstall.exe could not be written."
  ${EndIf}
  Call WriteRegistration

  ; "Add or Remove Programs".
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${If} $AllUsers == 1
    StrCpy $1 " /ALLUSERS"
  ${Else}
    StrCpy $1 ""
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"$1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S$1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} ${Errors}
    !insertmacro Fail 5 "The entry in Add or Remove Programs could not be written."
  ${EndIf}
  !insertmacro Log "${PRODUCT} ${VERSION}: installed into $INSTDIR"
SectionEnd

Function UserAbort
  !insertmacro Log "${PRODUCT} ${VERSION}: cancelled by the user"
  SetErrorLevel 1
FunctionEnd

; ---------------------------------------------------------------- uninstaller

Var RemoveSettings

Function un.onInit
  Call un.OpenLog
  !insertmacro NativeView
  SetShellVarContext current
  ClearErrors
  ${GetOptions} $Parameters "/ALLUSERS" $0
  ${IfNot} ${Errors}
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      !insertmacro Fail 6 "Removing an installation for all users needs administrator rights."
    ${EndIf}
    SetShellVarContext all
  ${EndIf}
  StrCpy $RemoveSettings 0
  ClearErrors
  ${GetOptions} $Parameters "/REMOVESETTINGS" $0
  ${IfNot} ${Errors}
    StrCpy $RemoveSettings 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro Log "${PRODUCT} ${VERSION}: removing $INSTDIR"
  Call un.WaitForOutlook
  ${If} $RemoveSettings == 0
    MessageBox MB_YESNO|MB_ICONQUESTION "Keep your ${PRODUCT} settings (the accepted terms of use, the sender address, the Send/Receive choice, the service host and the add-in key) for a later installation?" /SD IDYES IDYES keep
    StrCpy $RemoveSettings 1
    keep:
  ${EndIf}

  Delete "$INSTDIR\Corvix.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  ; What DllUnregisterServer removes, but the settings stay unless asked otherwise.
  DeleteRegKey SHCTX "${CLASS_KEY}"
  DeleteRegKey SHCTX "${PROGID_KEY}"
  DeleteRegValue SHCTX "${ADDIN_KEY}" "FriendlyName"
  DeleteRegValue SHCTX "${ADDIN_KEY}" "Description"
  DeleteRegValue SHCTX "${ADDIN_KEY}" "LoadBehavior"
  DeleteRegKey /ifempty SHCTX "${ADDIN_KEY}"
  ${If} $RemoveSettings == 1
    DeleteRegKey HKCU "${ADDIN_KEY}"
    !insertmacro Log "${PRODUCT}: settings removed"
  ${Else}
    !insertmacro Log "${PRODUCT}: settings kept under HKCU\${ADDIN_KEY}"
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${If} ${FileExists} "$INSTDIR\Corvix.dll"
    !insertmacro Fail 4 "$INSTDIR\Corvix.dll could not be removed."
  ${EndIf}
  !insertmacro Log "${PRODUCT} ${VERSION}: removed"
  ; Nothing of ours stays behind: the setup's own log goes too, unless /LOG= asked for it.
  ${If} $LogGiven == 0
    Delete $LogFile
  ${EndIf}
SectionEnd
