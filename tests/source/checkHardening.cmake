# Checks that a Windows binary of this build is hardened: the loader may place it anywhere
# (DYNAMIC_BASE, with 64-bit entropy: HIGH_ENTROPY_VA), its data is not executable (NX_COMPAT),
# and our own code, not only some runtime object, runs with the stack protector.
# With OWN_GUARD set the binary is one a host loads: its guard must be seeded without the
# crypto API, which would load a provider library under the host's loader lock.
#   cmake -DBINARY=zu7461.dll -DOBJDUMP=... -DNM=... [-DOWN_GUARD=ON] -P checkHardening.cmake
set(l_ObjDump ${OBJDUMP})

execute_process(COMMAND ${l_ObjDump} -p ${BINARY} OUTPUT_VARIABLE l_Headers
                RESULT_VARIABLE l_Result)
if(NOT l_Result EQUAL 0)
    message(FATAL_ERROR "objdump -p failed on ${BINARY}")
endif()

string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" l_Line "${l_Headers}")
if(NOT l_Line)
    message(FATAL_ERROR "no DllCharacteristics in the headers of ${BINARY}")
endif()
set(l_Hex ${CMAKE_MATCH_1})
math(EXPR l_Characteristics "0x${l_Hex}")
foreach(l_Flag "HIGH_ENTROPY_VA;32" "DYNAMIC_BASE;64" "NX_COMPAT;256")
    list(GET l_Flag 0 l_Name)
    list(GET l_Flag 1 l_Bit)
    math(EXPR l_Set "${l_Characteristics} & ${l_Bit}")
    if(l_Set EQUAL 0)
        message(FATAL_ERROR "${BINARY}: DllCharacteristics 0x${l_Hex} lacks ${l_Name}")
    endif()
endforeach()

# The functions that call the guard's failure routine; one of ours among them shows that the
# component was compiled with the protector (the guard symbols alone would not: we define them).
execute_process(COMMAND ${l_ObjDump} -d --no-show-raw-insn ${BINARY}
                OUTPUT_VARIABLE l_Code RESULT_VARIABLE l_Result)
if(NOT l_Result EQUAL 0)
    message(FATAL_ERROR "objdump -d failed on ${BINARY}")
endif()
string(REGEX MATCHALL "\n[0-9a-f]+ <[^>\n]+>:|call[^\n]*<__stack_chk_fail>" l_Marks "${l_Code}")
set(l_Function "")
set(l_Protected "")
foreach(l_Mark ${l_Marks})
    if(l_Mark MATCHES "^\n[0-9a-f]+ <([^>]+)>:")
        set(l_Function "${CMAKE_MATCH_1}")
    elseif(l_Function MATCHES "nZU7461_14_0|^nZUPXIFINDER100_|^ZuPciBrd_|^main$")
        list(APPEND l_Protected "${l_Function}")
    endif()
endforeach()
list(REMOVE_DUPLICATES l_Protected)
list(LENGTH l_Protected l_ProtectedCount)
if(l_ProtectedCount EQUAL 0)
    message(FATAL_ERROR "${BINARY}: no function of ours checks the stack guard")
endif()

if(OWN_GUARD)
    if(l_Headers MATCHES "CryptAcquireContext|CryptGenRandom")
        message(FATAL_ERROR "${BINARY} seeds its stack guard through the crypto API")
    endif()
    # The seeding constructor is in; without it the guard keeps its fixed start value.
    execute_process(COMMAND ${NM} ${BINARY} OUTPUT_VARIABLE l_Symbols)
    if(NOT l_Symbols MATCHES "seedStackGuard")
        message(FATAL_ERROR "${BINARY} lacks its stack guard seed")
    endif()
endif()
message(STATUS "${BINARY}: DllCharacteristics 0x${l_Hex}, ${l_ProtectedCount} protected "
               "functions of ours")
