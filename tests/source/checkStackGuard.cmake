# The guard is seeded at start (not its built-in value, a zero low byte, different in two runs);
# a write within the buffer passes, which shows the probe sound, and one past it ends the process
# with 0xC0000409, of which Wine hands the low byte to the Linux side.
foreach(l_Arguments "" "" 16 40)
    execute_process(COMMAND ${EMULATOR} ${PROBE} ${l_Arguments} RESULT_VARIABLE l_Exit
                    OUTPUT_VARIABLE l_Out ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(APPEND l_Said "${l_Exit}:${l_Out} ")
endforeach()
string(REGEX MATCH "^0:([0-9a-f]+00) 0:([0-9a-f]+00) 0:filled 120 (3221226505|9): $" l_Match
       "${l_Said}")
if(NOT l_Match OR CMAKE_MATCH_1 STREQUAL CMAKE_MATCH_2 OR l_Said MATCHES "2f8a41c93b7d5e00")
    message(FATAL_ERROR "the guard is not seeded or an overrun not stopped: ${l_Said}")
endif()
