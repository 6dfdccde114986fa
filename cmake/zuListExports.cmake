# The names a module exports, for the scripts that check them (run with cmake -P). On Windows
# each is "N name" from objdump's name table, N the ordinal less the ordinal base; a_Dump gets
# objdump's whole text. On Linux the dynamic symbols nm lists, less the hooks a sanitizer
# runtime adds.
function(zu_list_exports a_Module a_Windows a_Names a_Dump)
    if(a_Windows)
        execute_process(COMMAND x86_64-w64-mingw32-objdump -p ${a_Module} OUTPUT_VARIABLE l_Dump)
        string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^+\n][^\n]*" l_Found "${l_Dump}")
        list(TRANSFORM l_Found REPLACE "^\n\t\\[ *([0-9]+)\\] " "\\1 ")
    else()
        execute_process(COMMAND nm -D --defined-only ${a_Module} OUTPUT_VARIABLE l_Dump)
        string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] [^\n]+" l_Found "${l_Dump}")
        list(TRANSFORM l_Found REPLACE "^[0-9a-f]+ [A-Za-z] " "")
        list(FILTER l_Found EXCLUDE REGEX "^__(asan|ubsan|tsan|sanitizer|lsan)")
    endif()
    set(${a_Names} "${l_Found}" PARENT_SCOPE)
    set(${a_Dump} "${l_Dump}" PARENT_SCOPE)
endfunction()

# Fails unless a_Found and a_Expected hold the same names, in any order.
function(zu_expect_exports a_Module a_Found a_Expected)
    list(SORT a_Found)
    list(SORT a_Expected)
    if(NOT a_Found STREQUAL a_Expected)
        message(FATAL_ERROR "exports of ${a_Module} are '${a_Found}', expected '${a_Expected}'")
    endif()
endfunction()
