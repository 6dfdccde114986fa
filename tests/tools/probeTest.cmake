# One case of the probe's tests (CMakeLists.txt); a failure shows what the probe printed.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
unset(ENV{ZUPCIBRD_SIM_TOPOLOGY})

# A path as the probe sees it: Wine maps the Linux root to drive Z:.
function(native_path a_Path a_Out)
    if(EMULATOR)
        set(a_Path "Z:${a_Path}")
    endif()
    set(${a_Out} "${a_Path}" PARENT_SCOPE)
endfunction()

function(use_topology a_Content)
    file(WRITE ${WORK}/topology.json "${a_Content}")
    native_path(${WORK}/topology.json l_Path)
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_Path}")
endfunction()

# Runs a_Program with the remaining arguments; sets g_Exit, g_Out and g_Err.
function(run_program a_Program)
    execute_process(COMMAND ${EMULATOR} ${a_Program} ${ARGN}
                    RESULT_VARIABLE l_Exit OUTPUT_VARIABLE l_Out ERROR_VARIABLE l_Err)
    set(g_Exit "${l_Exit}" PARENT_SCOPE)
    set(g_Out "${l_Out}" PARENT_SCOPE)
    set(g_Err "${l_Err}" PARENT_SCOPE)
endfunction()

function(fail a_What)
    message(FATAL_ERROR "${a_What}\n--- exit: ${g_Exit}\n--- stdout:\n${g_Out}\n--- stderr:\n${g_Err}")
endfunction()

# The exit code, then patterns each of which must match a line of a_Text (CMake's "." also
# matches a line break, hence line by line).
function(expect_lines a_Exit a_Text)
    if(NOT "${g_Exit}" STREQUAL "${a_Exit}")
        fail("expected exit code ${a_Exit}")
    endif()
    string(REPLACE "\r" "" l_Text "${a_Text}")
    string(REPLACE ";" "," l_Text "${l_Text}")
    string(REPLACE "\n" ";" l_Lines "${l_Text}")
    foreach(l_Pattern ${ARGN})
        set(l_Found FALSE)
        foreach(l_Line ${l_Lines})
            if(l_Line MATCHES "${l_Pattern}")
                set(l_Found TRUE)
            endif()
        endforeach()
        if(NOT l_Found)
            fail("no line matches '${l_Pattern}'")
        endif()
    endforeach()
endfunction()

# The probe and the finder module alone in a folder: no bridge driver library beside them.
function(make_lonely_probe a_Out)
    file(COPY ${PROBE} ${MODULE} DESTINATION ${WORK}/lonely)
    get_filename_component(l_Name ${PROBE} NAME)
    set(${a_Out} ${WORK}/lonely/${l_Name} PARENT_SCOPE)
endfunction()

# Machines at limits of the format: 64 root buses, a 100-deep bridge chain, 255 chassis (every
# bus in use). References are not positions in the file, so a recording that loses them shows.
function(generated_topology a_Kind a_Last a_Out)
    set(l_Roots 0)
    foreach(l_Index RANGE 0 ${a_Last})
        math(EXPR l_Ref "0x10000 + ${l_Index} * 3")
        math(EXPR l_Device "${l_Index} / 8")
        math(EXPR l_Function "${l_Index} % 8")
        math(EXPR l_Secondary "${l_Index} + 1")
        set(l_Bus ${l_Index})
        set(l_Other 0)
        if(a_Kind STREQUAL "many_roots")
            list(APPEND l_Roots ${l_Index})
            math(EXPR l_Secondary "${l_Index} + 64")
            math(EXPR l_Other "${l_Index} % 2")
        elseif(a_Kind STREQUAL "deep_chain")
            math(EXPR l_Other "${l_Secondary} % 10")
        else()
            set(l_Bus 0)
        endif()
        set(l_Ids [["subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E"]])
        if(l_Other)
            set(l_Ids [["subsystemVendorId": "0x1E5A", "subsystemId": "0x0001"]])
        endif()
        list(APPEND l_Bridges "{\"ref\": ${l_Ref}, \"bus\": ${l_Bus}, \"device\": ${l_Device}, \"function\": ${l_Function}, \"secondaryBus\": ${l_Secondary}, \"vendorId\": 1, \"deviceId\": 2, ${l_Ids}, \"attributes\": {\"0x20000300\": ${l_Ref}}}")
    endforeach()
    list(REMOVE_DUPLICATES l_Roots)
    list(JOIN l_Roots ", " l_RootText)
    list(JOIN l_Bridges ",\n" l_BridgeText)
    set(${a_Out} "{\"rootBuses\": [${l_RootText}], \"bridges\": [\n${l_BridgeText}]}" PARENT_SCOPE)
endfunction()

# The diagnosis and the chassis list, as one text; g_Exit is the list's.
macro(probe_outputs a_Out)
    run_program(${PROBE} --diagnose)
    set(l_Diagnosis "${g_Out}")
    run_program(${PROBE})
    set(${a_Out} "${l_Diagnosis}--- list:\n${g_Out}")
endmacro()

if(CASE STREQUAL "round_trip")
    # Each machine recorded and replayed gives the same diagnosis and chassis list.
    foreach(l_Machine builtin:2:0 many_roots:32:63 deep_chain:10:99 chassis_255:255:254)
        string(REPLACE ":" ";" l_Machine ${l_Machine})
        list(GET l_Machine 0 l_Kind)
        list(GET l_Machine 1 l_Count)
        list(GET l_Machine 2 l_Last)
        if(NOT l_Kind STREQUAL "builtin")
            generated_topology(${l_Kind} ${l_Last} l_Topology)
            use_topology("${l_Topology}")
        endif()
        probe_outputs(l_Recorded)
        expect_lines(0 "${l_Recorded}" "^Found ${l_Count} ZU PXI-7461 chassis:$")
        native_path(${WORK}/${l_Kind}.json l_File)
        run_program(${PROBE} --record ${l_File})
        expect_lines(0 "${g_Out}" "^Recorded .* into .*")
        set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_File}")
        probe_outputs(l_Replayed)
        if(NOT l_Replayed STREQUAL l_Recorded)
            fail("${l_Kind} replayed differs from the recorded machine's:\n${l_Recorded}")
        endif()
    endforeach()
    expect_lines(0 "${l_Recorded}" "finder's search answers 255 bridges: 65536, 65539, ")
elseif(CASE STREQUAL "record_incomplete")
    # A library without an entry point, and one refusing a call for one bridge: both are
    # reported, and the file holds the rest.
    make_lonely_probe(l_Probe)
    file(GLOB l_Variant ${VARIANTS}/no-GetBridgeSlotPath/zupcibrd.*)
    file(COPY ${l_Variant} DESTINATION ${WORK}/lonely)
    use_topology([[{"rootBuses": [0, "0x80"], "bridges": [
        {"bus": 0, "device": 1, "function": 0, "secondaryBus": 1, "vendorId": 1, "deviceId": 2,
         "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "attributes": {"0x20000300": 4}},
        {"bus": "0x80", "device": 2, "function": 0, "secondaryBus": "0x81", "vendorId": 1,
         "deviceId": 2, "subsystemVendorId": 3, "subsystemId": 4}],
      "faults": {"rules": [{"entry": "GetBridgeIds", "bridge": 2, "answer": -77}]}}]])
    native_path(${WORK}/recorded.json l_Native)
    run_program(${l_Probe} --record ${l_Native})
    expect_lines(1 "${g_Err}" "lacks ZuPciBrd_GetBridgeSlotPath$"
                 "GetBridgeIds of bridge 2 failed with -77$" "bridge 2 is left out$")
    expect_lines(1 "${g_Out}" "^Recorded 2 root buses and 1 bridges .* \\(incomplete\\)$")
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_Native}")
    run_program(${PROBE})
    expect_lines(0 "${g_Out}" "^0 +Velmora +ZU PXI-7461 +2 +0x0004$")
elseif(CASE STREQUAL "open_fails")
    # The library's own code comes through the finder unchanged, and the hint points at
    # --diagnose; without the library the hint is about its entry points.
    use_topology("[]")
    run_program(${PROBE})
    expect_lines(1 "${g_Err}" "openList failed: -313005$"
                 "next: run zu7461-probe --diagnose, .*which call the library refuses")
    make_lonely_probe(l_Probe)
    run_program(${l_Probe})
    expect_lines(1 "${g_Err}" "openList failed: -52005 \\(zuoskaerr_invalidParameter\\)$"
                 "next: run zu7461-probe --diagnose, .*which entry points it lacks$")
else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
