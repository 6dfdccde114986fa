# Runs stackGuardProbe: the guard must have been seeded at start (not its built-in value, a
# zero low byte, different in two runs), and a write past a buffer must end the process with
# the stack buffer overrun code before the overrun function returns.
function(run_probe)
    execute_process(COMMAND ${EMULATOR} ${PROBE} ${ARGN} RESULT_VARIABLE l_Exit
                    OUTPUT_VARIABLE l_Out ERROR_VARIABLE l_Err)
    string(STRIP "${l_Out}" l_Out)
    set(g_Exit "${l_Exit}" PARENT_SCOPE)
    set(g_Out "${l_Out}" PARENT_SCOPE)
endfunction()

set(l_Guards "")
foreach(l_Run 1 2)
    run_probe(guard)
    if(NOT g_Exit EQUAL 0 OR NOT g_Out MATCHES "^[0-9a-f]+$")
        message(FATAL_ERROR "guard run ${l_Run}: exit ${g_Exit}, output '${g_Out}'")
    endif()
    if(g_Out STREQUAL "2f8a41c93b7d5e00")
        message(FATAL_ERROR "the guard kept its built-in value: nothing seeded it")
    endif()
    if(NOT g_Out MATCHES "00$")
        message(FATAL_ERROR "the guard ${g_Out} has a non-zero low byte")
    endif()
    list(APPEND l_Guards "${g_Out}")
endforeach()
list(GET l_Guards 0 l_First)
list(GET l_Guards 1 l_Second)
if(l_First STREQUAL l_Second)
    message(FATAL_ERROR "two processes got the same guard ${l_First}")
endif()

# Within the buffer nothing happens, which shows that the probe itself is sound.
run_probe(overrun 16)
if(NOT g_Exit EQUAL 0 OR NOT g_Out STREQUAL "filled 120")
    message(FATAL_ERROR "a write within the buffer: exit ${g_Exit}, output '${g_Out}'")
endif()
run_probe(overrun 40)
# 0xC0000409; Wine hands the low byte of the process's exit code to the Linux side.
if(g_Out MATCHES "filled" OR NOT (g_Exit EQUAL 3221226505 OR g_Exit EQUAL 9))
    message(FATAL_ERROR "the overrun was not stopped: exit ${g_Exit}, output '${g_Out}'")
endif()
message(STATUS "guards ${l_Guards}; overrun ended with ${g_Exit}")
