# A Windows binary of this build may be placed anywhere (DYNAMIC_BASE, HIGH_ENTROPY_VA), has no
# executable data (NX_COMPAT), and our own code runs with the stack protector. With OWN_GUARD the
# binary is one a host loads: its guard is seeded without the crypto API, which would load a
# provider library under the host's loader lock.
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE l_Headers)
if(NOT l_Headers MATCHES "DllCharacteristics[ \t]+([0-9a-fA-F]+)")
    message(FATAL_ERROR "no DllCharacteristics in the headers of ${BINARY}")
endif()
math(EXPR l_Missing "(0x${CMAKE_MATCH_1} & 0x160) ^ 0x160")
if(NOT l_Missing EQUAL 0)
    message(FATAL_ERROR "${BINARY}: DllCharacteristics 0x${CMAKE_MATCH_1} lacks bits ${l_Missing}")
endif()
# A function of ours that calls the guard's failure routine (we define the guard symbols).
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${BINARY} OUTPUT_VARIABLE l_Code)
string(REGEX MATCHALL "\n[0-9a-f]+ <[^>\n]+>:|call[^\n]*<__stack_chk_fail>" l_Marks "${l_Code}")
set(l_Protected FALSE)
foreach(l_Mark ${l_Marks})
    if(l_Mark MATCHES "^\n[0-9a-f]+ <([^>]+)>:")
        set(l_Function "${CMAKE_MATCH_1}")
    elseif(l_Function MATCHES "nZU7461_14_0|^nZUPXIFINDER100_|^ZuPciBrd_|^main$")
        set(l_Protected TRUE)
    endif()
endforeach()
if(NOT l_Protected)
    message(FATAL_ERROR "${BINARY}: no function of ours checks the stack guard")
endif()
execute_process(COMMAND ${NM} ${BINARY} OUTPUT_VARIABLE l_Symbols)
if(OWN_GUARD AND (l_Headers MATCHES "CryptAcquireContext|CryptGenRandom"
                  OR NOT l_Symbols MATCHES "seedStackGuard"))
    message(FATAL_ERROR "${BINARY} does not seed its own stack guard without the crypto API")
endif()
