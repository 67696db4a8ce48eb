; The sample product's installer, built by makensis from the build's settings:
;   PRODUCT_NAME     the product's name, also its folder under Program Files
;   PRODUCT_VERSION  four dotted numbers, written as the product key's "Version"
;   PRODUCT_ID       written as the product key's "PRODUCTID" (the jobs' run_key)
;   SILO             the product's silo, a braced GUID
;   MAKER_NAME       the publisher named in the installer's own version resource
;   INSTALL_DATA     the "install.dat" that goes into the install cache
;   OUT_FILE         where makensis writes the installer
; Silently (/S) it installs its files into $INSTDIR (/D=<folder>, last on the
; command line), writes the product key, the path expansion map and the install
; cache, and ends with 0. /RESULT=restart installs and ends with the
; restart-needed result, /RESULT=fail installs nothing and ends with a failure.
Unicode true
Target amd64-unicode

!macro Required NAME
    !ifndef ${NAME}
        !error "makensis needs -D${NAME}=... (see the head of this script)"
    !endif
!macroend
!insertmacro Required PRODUCT_NAME
!insertmacro Required PRODUCT_VERSION
!insertmacro Required PRODUCT_ID
!insertmacro Required SILO
!insertmacro Required MAKER_NAME
!insertmacro Required INSTALL_DATA
!insertmacro Required OUT_FILE

!include FileFunc.nsh
!include LogicLib.nsh

!define PRODUCT_KEY "SOFTWARE\Halvex\${SILO}"
; Exit codes as the plug-in reads them: HRESULTs of ERROR_SUCCESS_REBOOT_REQUIRED,
; ERROR_INSTALL_FAILURE and ERROR_INVALID_PARAMETER.
!define RESULT_RESTART_NEEDED 0x80070BC2
!define RESULT_INSTALL_FAILED 0x80070643
!define RESULT_BAD_SWITCH 0x80070057

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT_NAME}"
RequestExecutionLevel admin
; The build rewrites the section table after makensis (the package reader wants
; the signature right behind the last section), which NSIS's own check would
; take for damage; the Authenticode signature guards the file instead.
CRCCheck off
SetCompressor /SOLID lzma

VIProductVersion "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${PRODUCT_VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER_NAME}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) ${MAKER_NAME}"

Page directory
Page instfiles

Var Result

Function .onInit
    ${GetParameters} $0
    ${GetOptions} $0 "/RESULT=" $Result
    ${If} $Result == "fail"
        SetErrorLevel ${RESULT_INSTALL_FAILED}
        Quit
    ${ElseIf} $Result != ""
    ${AndIf} $Result != "restart"
        SetErrorLevel ${RESULT_BAD_SWITCH}
        Quit
    ${EndIf}
FunctionEnd

Section "${PRODUCT_NAME}"
    SetRegView 64
    SetOutPath "$INSTDIR"
    File "product\ReadMe.txt"
    File "product\SampleProduct.ini"

    WriteRegStr HKLM "${PRODUCT_KEY}" "Version" "${PRODUCT_VERSION}"
    WriteRegStr HKLM "${PRODUCT_KEY}" "PRODUCTID" "${PRODUCT_ID}"
    ; Jobs name the install cache as %INSTALLDIR%\InstallCache.
    WriteRegStr HKLM "${PRODUCT_KEY}\Plexor\PathExpansionMap" "INSTALLDIR" "$INSTDIR"

    SetOutPath "$INSTDIR\InstallCache"
    File "/oname=install.dat" "${INSTALL_DATA}"
    ; The completion mark comes last: without it the product counts as not installed.
    FileOpen $0 "$INSTDIR\InstallCache\finalzed.dat" w
    FileWrite $0 "${PRODUCT_VERSION}"
    FileClose $0

    ${If} $Result == "restart"
        SetErrorLevel ${RESULT_RESTART_NEEDED}
    ${EndIf}
SectionEnd
