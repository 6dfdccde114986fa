# A Windows binary of this build may be placed anywhere (DYNAMIC_BASE, HIGH_ENTROPY_VA), has no
# executable data (NX_COMPAT), and our own code runs with the stack protector. A DLL is loaded by
# a host: its guard is seeded without the crypto API, which would load a provider library under
# the host's loader lock.
execute_process(COMMAND ${OBJDUMP} -p ${BINARY} OUTPUT_VARIABLE l_Headers)
string(REGEX MATCH "DllCharacteristics[ \t]+([0-9a-fA-F]+)" l_Match "${l_Headers}")
math(EXPR l_Missing "(0x0${CMAKE_MATCH_1} & 0x160) ^ 0x160" OUTPUT_FORMAT HEXADECIMAL)
if(NOT l_Missing EQUAL 0)
    message(FATAL_ERROR "${BINARY}: DllCharacteristics '${CMAKE_MATCH_1}' lack bits ${l_Missing}")
endif()
# One list item per function (objdump puts a blank line between them); brackets and semicolons
# would split or join items.
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${BINARY} OUTPUT_VARIABLE l_Code)
string(REGEX REPLACE "[][;]" "_" l_Code "${l_Code}")
string(REPLACE "\n\n" ";" l_Functions "${l_Code}")
list(FILTER l_Functions INCLUDE REGEX
    "^[0-9a-f]+ <([^>]*nZU7461_14_0|nZUPXIFINDER100_|ZuPciBrd_|main>).*call[^\n]*<__stack_chk_fail>")
if(NOT l_Functions)
    message(FATAL_ERROR "${BINARY}: no function of ours checks the stack guard")
endif()
if(BINARY MATCHES "\\.dll$" AND (l_Headers MATCHES "CryptAcquireContext|CryptGenRandom"
                                 OR NOT l_Code MATCHES "seedStackGuard[^\n]*>:\n"))
    message(FATAL_ERROR "${BINARY} does not seed its own stack guard without the crypto API")
endif()
