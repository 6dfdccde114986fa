# The module exports exactly the host interface's six functions, in this order from ordinal 101
# on Windows, where it also needs no compiler runtime DLL.
set(l_Expected "0 openList" "1 closeList" "2 getNthItem" "3 getU32Attribute"
    "4 getStringAttribute" "5 getControllerIDSELMap")
list(TRANSFORM l_Expected REPLACE " " " nZUPXIFINDER100_")
if(WINDOWS)
    execute_process(COMMAND x86_64-w64-mingw32-objdump -p ${MODULE} OUTPUT_VARIABLE l_Dump)
    # The name table's "[   0] name": the number is the ordinal less the base.
    string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^+\n][^\n]*" l_Found "${l_Dump}")
    string(REGEX REPLACE "\n\t\\[ *([0-9]+)\\] " "\\1 " l_Found "${l_Found}")
    string(REGEX MATCHALL "DLL Name: [^\n]*(libgcc|libstdc|libwinpthread|libssp)" l_Runtime "${l_Dump}")
    if(NOT l_Dump MATCHES "Ordinal Base[ \t]+101\n" OR l_Runtime)
        message(FATAL_ERROR "${MODULE}: ordinal base not 101, or a runtime DLL: ${l_Runtime}")
    endif()
else()
    execute_process(COMMAND nm -D --defined-only ${MODULE} OUTPUT_VARIABLE l_Dump)
    string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] " "" l_Dump "${l_Dump}")
    string(REGEX MATCHALL "[^\n]+" l_Found "${l_Dump}")
    # Sanitizer runtimes may add their own hooks; everything else must be ours.
    list(FILTER l_Found EXCLUDE REGEX "^__(asan|ubsan|tsan|sanitizer|lsan)")
    string(REGEX REPLACE "[0-9] " "" l_Expected "${l_Expected}")
endif()
list(SORT l_Found)
list(SORT l_Expected)
if(NOT l_Found STREQUAL l_Expected)
    message(FATAL_ERROR "exports of ${MODULE} are '${l_Found}', expected '${l_Expected}'")
endif()
