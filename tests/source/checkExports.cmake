# The module exports exactly the host interface's six functions, in this order from ordinal 101
# on Windows, where it also needs no compiler runtime DLL.
set(l_Expected "0 openList" "1 closeList" "2 getNthItem" "3 getU32Attribute"
    "4 getStringAttribute" "5 getControllerIDSELMap")
list(TRANSFORM l_Expected REPLACE " " " nZUPXIFINDER100_")
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/zuListExports.cmake)
zu_list_exports(${MODULE} "${WINDOWS}" l_Found l_Dump)
if(WINDOWS)
    string(REGEX MATCHALL "DLL Name: [^\n]*(libgcc|libstdc|libwinpthread|libssp)" l_Runtime "${l_Dump}")
    if(NOT l_Dump MATCHES "Ordinal Base[ \t]+101\n" OR l_Runtime)
        message(FATAL_ERROR "${MODULE}: ordinal base not 101, or a runtime DLL: ${l_Runtime}")
    endif()
else()
    string(REGEX REPLACE "[0-9] " "" l_Expected "${l_Expected}")
endif()
zu_expect_exports(${MODULE} "${l_Found}" "${l_Expected}")
