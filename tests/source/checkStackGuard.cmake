# The guard is seeded at start (not its built-in value, a zero low byte, different in two runs),
# and a write past a buffer ends the process with the stack buffer overrun code.
function(run_probe)
    execute_process(COMMAND ${EMULATOR} ${PROBE} ${ARGN} RESULT_VARIABLE l_Exit
                    OUTPUT_VARIABLE l_Out ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(g_Said "exit ${l_Exit}, output '${l_Out}'" PARENT_SCOPE)
    set(g_Out "${l_Exit}:${l_Out}" PARENT_SCOPE)
endfunction()
run_probe(guard)
set(l_First "${g_Out}")
run_probe(guard)
if(NOT l_First MATCHES "^0:[0-9a-f]+00$" OR NOT g_Out MATCHES "^0:[0-9a-f]+00$"
   OR l_First STREQUAL g_Out OR g_Out STREQUAL "0:2f8a41c93b7d5e00")
    message(FATAL_ERROR "guards '${l_First}' and '${g_Out}' were not seeded")
endif()
# Within the buffer nothing happens, which shows that the probe itself is sound.
run_probe(overrun 16)
if(NOT g_Out STREQUAL "0:filled 120")
    message(FATAL_ERROR "a write within the buffer: ${g_Said}")
endif()
# 0xC0000409; Wine hands the low byte of the process's exit code to the Linux side.
run_probe(overrun 40)
if(NOT g_Out MATCHES "^(3221226505|9):$")
    message(FATAL_ERROR "the overrun was not stopped: ${g_Said}")
endif()
