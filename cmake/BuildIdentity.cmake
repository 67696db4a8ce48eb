# The build's identity: the publisher names the trust verifier's signer checks
# expect, and the names the test PKI and the demo sign with. A product build
# sets its own (cmake -DQVD_MAKER_NAME=... and so on); the defaults are the
# sample identity of the test PKI and the demo.
set(QVD_MAKER_NAME "Halvex Sample Publisher" CACHE STRING
    "Maker name 1: common name (and organisation) of the maker's code-signing certificate")
set(QVD_MAKER_NAME_2 "Halvex Sample Publisher Ltd" CACHE STRING
    "Maker name 2: an organisation accepted with maker name 1 as common name")
set(QVD_MAKER_NAME_3 "Halvex Sample Labs" CACHE STRING
    "Maker name 3: accepted as common name and organisation together")
set(QVD_MAKER_NAME_4 "Halvex Sample Build" CACHE STRING
    "Maker name 4: common name and organisation may each be name 4 or name 5")
set(QVD_MAKER_NAME_5 "Halvex Sample Release" CACHE STRING
    "Maker name 5: common name and organisation may each be name 4 or name 5")
set(QVD_MAKER_UNIT "Halvex Sample Code Signing" CACHE STRING
    "Organisational unit that names the maker whatever the organisation")
set(QVD_SUBJECT_MARKER "Halvex Sample Publisher" CACHE STRING
    "Text whose presence in a subject stands in for a missing code-signing usage")
set(QVD_PLATFORM_ORGANISATION "Microsoft Corporation" CACHE STRING
    "Organisation (or unit) of the Windows platform vendor's certificates")
set(QVD_PLATFORM_UNIT "Microsoft Windows" CACHE STRING
    "Organisational unit that names the platform vendor on its own")
set(QVD_ALT_PUBLISHER_NAME "Halvex Alternate Publisher" CACHE STRING
    "Common name and organisation of the alternate publisher")

# The values as UTF-16 string literals, for the code that compares them.
add_library(qvd_build_identity INTERFACE)
foreach(name MAKER_NAME MAKER_NAME_2 MAKER_NAME_3 MAKER_NAME_4 MAKER_NAME_5 MAKER_UNIT
             SUBJECT_MARKER PLATFORM_ORGANISATION PLATFORM_UNIT ALT_PUBLISHER_NAME)
    string(REPLACE "\\" "\\\\" value "${QVD_${name}}")
    string(REPLACE "\"" "\\\"" value "${value}")
    target_compile_definitions(qvd_build_identity INTERFACE "QVD_IDENTITY_${name}=u\"${value}\"")
endforeach()
