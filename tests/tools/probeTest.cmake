# One case of the probe's tests (CMakeLists.txt); a failure shows what the probe printed.
file(REMOVE_RECURSE ${WORK})
unset(ENV{ZUPCIBRD_SIM_TOPOLOGY})
# Paths as the probe sees them: under an emulator (Wine) the Linux root is drive Z:.
string(REGEX REPLACE ".+" "Z:" g_Drive "${EMULATOR}")
# The probe and the finder module alone in a folder: no bridge driver library beside them.
file(COPY ${PROBE} ${MODULE} DESTINATION ${WORK}/lonely)
get_filename_component(l_Name ${PROBE} NAME)
set(g_Lonely ${WORK}/lonely/${l_Name})

function(use_topology a_Content)
    file(WRITE ${WORK}/topology.json "${a_Content}")
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${g_Drive}${WORK}/topology.json")
endfunction()

# Runs a program with its arguments into g_Exit, g_Out and g_Err.
macro(run_program)
    execute_process(COMMAND ${EMULATOR} ${ARGN}
                    RESULT_VARIABLE g_Exit OUTPUT_VARIABLE g_Out ERROR_VARIABLE g_Err)
endmacro()

function(fail a_What)
    message(FATAL_ERROR "${a_What}\n--- exit: ${g_Exit}\n--- stdout:\n${g_Out}\n--- stderr:\n${g_Err}")
endfunction()

# The exit code, then patterns each matching some line of a_Text (CMake's "." spans lines).
function(expect_lines a_Exit a_Text)
    if(NOT "${g_Exit}" STREQUAL "${a_Exit}")
        fail("expected exit code ${a_Exit}")
    endif()
    string(REPLACE ";" "," l_Text "${a_Text}")
    string(REGEX REPLACE "\r?\n" ";" l_Lines "${l_Text}")
    foreach(l_Pattern ${ARGN})
        set(l_Matching ${l_Lines})
        list(FILTER l_Matching INCLUDE REGEX "${l_Pattern}")
        if("${l_Matching}" STREQUAL "")
            fail("no line matches '${l_Pattern}'")
        endif()
    endforeach()
endfunction()

# Bridge I of 0..a_Last on bus I * a_OnBus, secondary bus I + a_Below, a chassis where (I + a_Shift)
# % a_Period is 0; references are not positions, so a recording that loses them shows.
function(generated_topology a_Last a_OnBus a_Below a_Shift a_Period a_Out)
    foreach(l_Index RANGE 0 ${a_Last})
        math(EXPR l_Ref "0x10000 + ${l_Index} * 3")
        math(EXPR l_Device "${l_Index} / 8")
        math(EXPR l_Function "${l_Index} % 8")
        math(EXPR l_Bus "${l_Index} * ${a_OnBus}")
        math(EXPR l_Secondary "${l_Index} + ${a_Below}")
        math(EXPR l_Vendor "0x1F3C + (${l_Index} + ${a_Shift}) % ${a_Period}")
        list(APPEND l_Roots ${l_Bus})
        list(APPEND l_Secondaries ${l_Secondary})
        list(APPEND l_Bridges "{\"ref\": ${l_Ref}, \"bus\": ${l_Bus}, \"device\": ${l_Device}, \"function\": ${l_Function}, \"secondaryBus\": ${l_Secondary}, \"vendorId\": 1, \"deviceId\": 2, \"subsystemVendorId\": ${l_Vendor}, \"subsystemId\": \"0x5C2E\", \"attributes\": {\"0x20000300\": ${l_Ref}}}")
    endforeach()
    list(REMOVE_ITEM l_Roots ${l_Secondaries})
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
    # Recorded and replayed, the same diagnosis and list: chassis count, then generated_topology()'s
    # arguments for limits of the format (64 root buses, a 100-deep chain, 255 chassis, all buses).
    set(l_builtin 2)
    set(l_many_roots 32 63 1 64 0 2)
    set(l_deep_chain 10 99 1 1 1 10)
    set(l_chassis_255 255 254 0 1 0 1)
    foreach(l_Kind builtin many_roots deep_chain chassis_255)
        list(POP_FRONT l_${l_Kind} l_Count)
        if(l_${l_Kind})
            generated_topology(${l_${l_Kind}} l_Topology)
            use_topology("${l_Topology}")
        endif()
        probe_outputs(l_Recorded)
        expect_lines(0 "${l_Recorded}" "^Found ${l_Count} ZU PXI-7461 chassis:$")
        set(l_File "${g_Drive}${WORK}/${l_Kind}.json")
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
    # A library lacking an entry point and refusing one bridge's call: both reported, rest kept.
    file(COPY ${VARIANTS}/no-GetBridgeSlotPath/ DESTINATION ${WORK}/lonely)
    use_topology([[{"rootBuses": [0, "0x80"], "bridges": [
        {"bus": 0, "device": 1, "function": 0, "secondaryBus": 1, "vendorId": 1, "deviceId": 2, "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E", "attributes": {"0x20000300": 4}},
        {"bus": "0x80", "device": 2, "function": 0, "secondaryBus": "0x81", "vendorId": 1, "deviceId": 2, "subsystemVendorId": 3, "subsystemId": 4}],
      "faults": {"rules": [{"entry": "GetBridgeIds", "bridge": 2, "answer": -77}]}}]])
    set(l_File "${g_Drive}${WORK}/recorded.json")
    run_program(${g_Lonely} --record ${l_File})
    expect_lines(1 "${g_Err}" "lacks ZuPciBrd_GetBridgeSlotPath$"
                 "GetBridgeIds of bridge 2 failed with -77$" "bridge 2 is left out$")
    expect_lines(1 "${g_Out}" "^Recorded 2 root buses and 1 bridges .* \\(incomplete\\)$")
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_File}")
    run_program(${PROBE})
    expect_lines(0 "${g_Out}" "^0 +Velmora +ZU PXI-7461 +2 +0x0004$")
elseif(CASE STREQUAL "open_fails")
    # The library's code passes through unchanged with a --diagnose hint, the simulator's refused
    # file with a hint on the file; no library, a hint on it, and where it was searched.
    use_topology([[{"rootBuses": [], "bridges": [], "faults": {"rules": [{"entry": "OpenSession", "answer": -313700}]}}]])
    run_program(${PROBE})
    expect_lines(1 "${g_Err}" "openList failed: -313700$"
                 "next: run zu7461-probe --diagnose, .*which call the library refuses")
    use_topology("[]")
    run_program(${PROBE})
    expect_lines(1 "${g_Err}" "openList failed: -313005$" "^zupcibrd: topology file .*topology.json"
                 "next: the simulator refused its topology file \".*topology.json\": its own line")
    run_program(${g_Lonely})
    expect_lines(1 "${g_Err}" "openList failed: -52005 \\(zuoskaerr_invalidParameter\\)$"
                 "next: run zu7461-probe --diagnose, .*which entry points it lacks$")
    get_filename_component(l_Suffix ${MODULE} LAST_EXT)
    run_program(${g_Lonely} --diagnose)
    expect_lines(1 "${g_Out}" "^Bridge driver library zupcibrd${l_Suffix} \\(loaded by bare name"
                 "^  searched for zupcibrd${l_Suffix}: the probe's folder .*lonely, "
                 "simulator folder on that search: (export LD_LIBRARY_PATH|set PATH)=")
    # Every mistake of the command line has the one code; asking for help is no mistake.
    foreach(l_Arguments "4 --bogus" "4 --attribute 5" "4 --diagnose --record x" "0 --help"
            "4 --record x --attribute 0x1FFFFFFFF" "4 --json --diagnose")
        separate_arguments(l_Arguments)
        list(POP_FRONT l_Arguments l_Exit)
        run_program(${PROBE} ${l_Arguments})
        expect_lines(${l_Exit} "")
    endforeach()
else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
