# Version resources of the Windows DLL and tools: file and product version
# from the project version, names from the build identity. Each identity value
# left empty derives from QVD_MAKER_NAME, so a product build that sets only its
# maker name gets consistent resources.
enable_language(RC)

set(QVD_COMPANY_NAME "" CACHE STRING "CompanyName of the version resources (empty: QVD_MAKER_NAME)")
set(QVD_PRODUCT_NAME "" CACHE STRING "ProductName of the version resources, and the start of each FileDescription (empty: QVD_MAKER_NAME followed by \"Install Plug-in\")")
set(QVD_COPYRIGHT "" CACHE STRING "LegalCopyright of the version resources (empty: \"Copyright (C)\" and QVD_MAKER_NAME)")

function(qvd_identity_value out value fallback)
    if(value STREQUAL "")
        set(value "${fallback}")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
qvd_identity_value(QVD_RC_COMPANY "${QVD_COMPANY_NAME}" "${QVD_MAKER_NAME}")
qvd_identity_value(QVD_RC_PRODUCT "${QVD_PRODUCT_NAME}" "${QVD_MAKER_NAME} Install Plug-in")
qvd_identity_value(QVD_RC_COPYRIGHT "${QVD_COPYRIGHT}" "Copyright (C) ${QVD_MAKER_NAME}")

# The project version with four parts, as version resources hold it.
set(QVD_FILE_VERSION_PARTS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR})
foreach(part PATCH TWEAK)
    if(PROJECT_VERSION_${part} STREQUAL "")
        list(APPEND QVD_FILE_VERSION_PARTS 0)
    else()
        list(APPEND QVD_FILE_VERSION_PARTS ${PROJECT_VERSION_${part}})
    endif()
endforeach()
list(JOIN QVD_FILE_VERSION_PARTS "." QVD_FILE_VERSION)

# Text inside a resource script's double quotes: a backslash starts an escape
# and a quote is written twice.
function(qvd_rc_text out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\"\"" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# qvd_version_resource(target DESCRIPTION text): links a version resource into
# target; its FileDescription is the product name followed by text.
function(qvd_version_resource target)
    cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
    get_target_property(type ${target} TYPE)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    if(type STREQUAL "SHARED_LIBRARY")
        set(rc_file_type VFT_DLL)
        set(rc_file_name ${name}${CMAKE_SHARED_LIBRARY_SUFFIX})
    else()
        set(rc_file_type VFT_APP)
        set(rc_file_name ${name}${CMAKE_EXECUTABLE_SUFFIX})
    endif()
    set(rc_internal_name ${name})
    set(rc_version ${QVD_FILE_VERSION})
    string(REPLACE "." "," rc_version_commas "${QVD_FILE_VERSION}")
    qvd_rc_text(rc_company "${QVD_RC_COMPANY}")
    qvd_rc_text(rc_product "${QVD_RC_PRODUCT}")
    qvd_rc_text(rc_copyright "${QVD_RC_COPYRIGHT}")
    qvd_rc_text(rc_description "${QVD_RC_PRODUCT}${ARG_DESCRIPTION}")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
    # Its own object library: the targets' C++ flags are no resource compiler's.
    add_library(${target}_version OBJECT ${rc})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_version>)
endfunction()
