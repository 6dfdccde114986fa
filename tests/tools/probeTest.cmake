# One case of the probe's tests; see CMakeLists.txt. Fails with a message naming what was
# expected and showing what the probe printed.

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
unset(ENV{ZUPCIBRD_SIM_TOPOLOGY})

# A path as the probe sees it: Wine maps the Linux root to drive Z:.
function(native_path a_Path a_Out)
    if(EMULATOR)
        set(${a_Out} "Z:${a_Path}" PARENT_SCOPE)
    else()
        set(${a_Out} "${a_Path}" PARENT_SCOPE)
    endif()
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

function(expect_exit a_Code)
    if(NOT "${g_Exit}" STREQUAL "${a_Code}")
        fail("expected exit code ${a_Code}")
    endif()
endfunction()

# Each pattern must match somewhere in a_Text (a regular expression, matched line by line
# since CMake's "." also matches a line break).
function(expect_lines a_Text)
    string(REPLACE "\r" "" l_Text "${a_Text}")
    string(REPLACE ";" "," l_Text "${l_Text}")
    string(REPLACE "\n" ";" l_Lines "${l_Text}")
    foreach(l_Pattern ${ARGN})
        set(l_Found FALSE)
        foreach(l_Line ${l_Lines})
            if(l_Line MATCHES "${l_Pattern}")
                set(l_Found TRUE)
                break()
            endif()
        endforeach()
        if(NOT l_Found)
            fail("no line matches '${l_Pattern}'")
        endif()
    endforeach()
endfunction()

function(expect_no_line a_Text a_Pattern)
    string(REPLACE "\r" "" l_Text "${a_Text}")
    string(REPLACE ";" "," l_Text "${l_Text}")
    string(REPLACE "\n" ";" l_Lines "${l_Text}")
    foreach(l_Line ${l_Lines})
        if(l_Line MATCHES "${a_Pattern}")
            fail("unexpected line '${l_Line}'")
        endif()
    endforeach()
endfunction()

# The probe and the finder module alone in a folder: no bridge driver library beside them.
function(make_lonely_probe a_Out)
    file(COPY ${PROBE} ${MODULE} DESTINATION ${WORK}/lonely)
    get_filename_component(l_Name ${PROBE} NAME)
    set(${a_Out} ${WORK}/lonely/${l_Name} PARENT_SCOPE)
endfunction()

# Generated machines for the record and replay round trip, each at a limit of the format: as
# many root buses as bridges can hang off, a chain of bridges a hundred deep, and 255 chassis
# (every bus of the machine in use). References are not the positions in the file, so a
# recording that loses them shows.
function(generated_topology a_Kind a_Out)
    set(l_Chassis [["subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E"]])
    set(l_Other [["subsystemVendorId": "0x1E5A", "subsystemId": "0x0001"]])
    set(l_Roots "")
    set(l_Bridges "")
    if(a_Kind STREQUAL "many_roots")
        foreach(l_Root RANGE 0 63)
            math(EXPR l_Secondary "${l_Root} + 64")
            math(EXPR l_Odd "${l_Root} % 2")
            set(l_Ids ${l_Chassis})
            if(l_Odd)
                set(l_Ids ${l_Other})
            endif()
            math(EXPR l_Ref "500 + ${l_Root} * 3")
            list(APPEND l_Roots ${l_Root})
            list(APPEND l_Bridges "{\"ref\": ${l_Ref}, \"bus\": ${l_Root}, \"device\": 1, \"function\": 0, \"secondaryBus\": ${l_Secondary}, \"vendorId\": 1, \"deviceId\": 2, ${l_Ids}, \"attributes\": {\"0x20000300\": ${l_Root}}}")
        endforeach()
    elseif(a_Kind STREQUAL "deep_chain")
        set(l_Roots 0)
        foreach(l_Depth RANGE 1 100)
            math(EXPR l_Bus "${l_Depth} - 1")
            math(EXPR l_Device "${l_Depth} % 32")
            math(EXPR l_Tenth "${l_Depth} % 10")
            set(l_Ids ${l_Other})
            if(l_Tenth EQUAL 0)
                set(l_Ids ${l_Chassis})
            endif()
            math(EXPR l_Ref "1000 - ${l_Depth}")
            list(APPEND l_Bridges "{\"ref\": ${l_Ref}, \"bus\": ${l_Bus}, \"device\": ${l_Device}, \"function\": 3, \"secondaryBus\": ${l_Depth}, \"vendorId\": 1, \"deviceId\": 2, ${l_Ids}, \"attributes\": {\"0x20000300\": ${l_Depth}}}")
        endforeach()
    elseif(a_Kind STREQUAL "chassis_255")
        set(l_Roots 0)
        foreach(l_Index RANGE 0 254)
            math(EXPR l_Device "${l_Index} / 8")
            math(EXPR l_Function "${l_Index} % 8")
            math(EXPR l_Secondary "${l_Index} + 1")
            math(EXPR l_Value "0x10000 + ${l_Index}")
            list(APPEND l_Bridges "{\"ref\": ${l_Value}, \"bus\": 0, \"device\": ${l_Device}, \"function\": ${l_Function}, \"secondaryBus\": ${l_Secondary}, \"vendorId\": 1, \"deviceId\": 2, ${l_Chassis}, \"attributes\": {\"0x20000300\": ${l_Value}}}")
        endforeach()
    endif()
    list(JOIN l_Roots ", " l_RootText)
    list(JOIN l_Bridges ",\n" l_BridgeText)
    set(${a_Out} "{\"rootBuses\": [${l_RootText}], \"bridges\": [\n${l_BridgeText}]}" PARENT_SCOPE)
endfunction()

# Records the machine the simulator shows now into a_File and checks that replaying the file
# gives the same diagnosis and the same chassis list, line for line.
function(expect_round_trip a_File)
    run_program(${PROBE} --diagnose)
    set(l_Diagnosis "${g_Out}")
    run_program(${PROBE})
    set(l_List "${g_Out}")
    native_path(${a_File} l_Native)
    run_program(${PROBE} --record ${l_Native})
    expect_exit(0)
    expect_lines("${g_Out}" "^Recorded .* into .*")
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_Native}")
    run_program(${PROBE} --diagnose)
    if(NOT g_Out STREQUAL l_Diagnosis)
        fail("the replayed diagnosis differs from the recorded machine's:\n${l_Diagnosis}")
    endif()
    run_program(${PROBE})
    if(NOT g_Out STREQUAL l_List)
        fail("the replayed chassis list differs from the recorded machine's:\n${l_List}")
    endif()
    set(g_List "${l_List}" PARENT_SCOPE)
endfunction()

# One chassis bridge behind one root port, and a bridge of another maker.
set(g_OneChassis [[{
  "rootBuses": ["0x20"],
  "bridges": [
    {"bus": "0x20", "device": 1, "function": 0, "secondaryBus": "0x21", "vendorId": "0x1E5A",
     "deviceId": "0x0A01", "subsystemVendorId": "0x1E5A", "subsystemId": "0x0001"},
    {"bus": "0x21", "device": 0, "function": 0, "secondaryBus": "0x22", "vendorId": "0x1E5A",
     "deviceId": "0x8114", "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E",
     "attributes": {"0x20000300": "0xFFFF0042"}}
  ]
}]])

if(CASE STREQUAL "diagnose_default")
    run_program(${PROBE} --diagnose)
    expect_exit(0)
    expect_lines("${g_Out}"
        "loaded from .*zupcibrd\\.(so|dll)$"
        "entry points: all 18 present"
        "session: open"
        "root buses: 00 80$"
        "bridges: 7$"
        "^ +\\* +2 +01:00\\.0 +1E5A:8114 +1F3C:5C2E +MR00:E0,00 +chassis, bridge value 0x0001 \\(attribute 0x00000001\\)$"
        "^ +\\* +5 +04:00\\.0 +1E5A:8114 +1F3C:5C2E +MR00:E8,00 +chassis, bridge value 0x0002 \\(attribute 0x80000002\\)$"
        "^ +7 +81:00\\.0 +1D0F:0C20 +1D0F:5C2E +MR80:19,00$"
        "chassis bridges .*: 2$"
        "finder's search answers 2 bridges: 2, 5$")
    expect_no_line("${g_Out}" "\\* +6 ")
elseif(CASE STREQUAL "diagnose_custom")
    use_topology("${g_OneChassis}")
    run_program(${PROBE} --diagnose)
    expect_exit(0)
    expect_lines("${g_Out}"
        "root buses: 20$"
        "bridges: 2$"
        "^ +\\* +2 +21:00\\.0 .* +MR20:08,00 +chassis, bridge value 0x0042 \\(attribute 0xFFFF0042\\)$"
        "finder's search answers 1 bridge: 2$")
elseif(CASE STREQUAL "diagnose_bad_topology")
    use_topology("{\"rootBuses\": [0], \"bridges\": [{\"bus\": 0}]}")
    run_program(${PROBE} --diagnose)
    expect_exit(1)
    expect_lines("${g_Out}" "session: OpenSession failed with -313005$")
    expect_lines("${g_Err}" "zupcibrd: topology file .*topology\\.json.*\"device\" is missing")
elseif(CASE STREQUAL "diagnose_without_library")
    make_lonely_probe(l_Probe)
    run_program(${l_Probe} --diagnose)
    expect_exit(1)
    expect_lines("${g_Out}" "not loaded: error 126 \\(.+\\)$")
elseif(CASE STREQUAL "record_builtin")
    expect_round_trip(${WORK}/recorded.json)
    file(READ ${WORK}/recorded.json l_File)
    string(JSON l_Comment GET "${l_File}" comment)
    string(JSON l_Bridges LENGTH "${l_File}" bridges)
    if(NOT (l_Comment MATCHES "^Recorded by zu7461-probe ${VERSION} on .+ at 20[0-9-]+T[0-9:]+Z from .*zupcibrd"
            AND l_Bridges EQUAL 7))
        fail("unexpected recording: ${l_File}")
    endif()
elseif(CASE MATCHES "^record_(many_roots|deep_chain|chassis_255)$")
    generated_topology(${CMAKE_MATCH_1} l_Topology)
    use_topology("${l_Topology}")
    expect_round_trip(${WORK}/recorded.json)
    set(l_Expected "many_roots;Found 32 ;deep_chain;Found 10 ;chassis_255;Found 255 ")
    list(FIND l_Expected ${CMAKE_MATCH_1} l_At)
    math(EXPR l_At "${l_At} + 1")
    list(GET l_Expected ${l_At} l_Found)
    expect_lines("${g_List}" "^${l_Found}ZU PXI-7461 chassis:$")
elseif(CASE STREQUAL "record_with_attributes")
    use_topology([[{"rootBuses": [0], "bridges": [
        {"bus": 0, "device": 1, "function": 0, "secondaryBus": 1, "vendorId": 1, "deviceId": 2,
         "subsystemVendorId": 3, "subsystemId": 4, "attributes": {"7": 9}},
        {"bus": 1, "device": 0, "function": 0, "secondaryBus": 2, "vendorId": 1, "deviceId": 2,
         "subsystemVendorId": "0x1F3C", "subsystemId": "0x5C2E",
         "attributes": {"0x20000300": 1, "0x20000301": 5}}]}]])
    native_path(${WORK}/recorded.json l_Native)
    run_program(${PROBE} --record ${l_Native} --attribute 0x20000301 --attribute 7)
    expect_exit(0)
    file(READ ${WORK}/recorded.json l_File)
    string(JSON l_Value GET "${l_File}" bridges 1 attributes 0x20000301)
    string(JSON l_Seven GET "${l_File}" bridges 0 attributes 0x00000007)
    if(NOT (l_Value STREQUAL "0x00000005" AND l_Seven STREQUAL "0x00000009"))
        fail("extra attributes not recorded: ${l_File}")
    endif()
    run_program(${PROBE} --record ${l_Native} --attribute 0x1FFFFFFFF)
    expect_exit(3)
    expect_lines("${g_Err}" "--attribute 0x1FFFFFFFF: not a 32-bit number")
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
    expect_exit(1)
    expect_lines("${g_Err}" "lacks ZuPciBrd_GetBridgeSlotPath$"
                 "GetBridgeIds of bridge 2 failed with -77$" "bridge 2 is left out$")
    expect_lines("${g_Out}" "^Recorded 2 root buses and 1 bridges .* \\(incomplete\\)$")
    set(ENV{ZUPCIBRD_SIM_TOPOLOGY} "${l_Native}")
    run_program(${PROBE})
    expect_exit(0)
    expect_lines("${g_Out}" "^0 +Velmora +ZU PXI-7461 +2 +0x0004$")
elseif(CASE STREQUAL "list_default")
    run_program(${PROBE})
    expect_exit(0)
    expect_lines("${g_Out}"
        "^Found 2 ZU PXI-7461 chassis:$"
        "^Index +Maker +Model +Kind +Bridge value$"
        "^0 +Velmora +ZU PXI-7461 +2 +0x0001$"
        "^1 +Velmora +ZU PXI-7461 +2 +0x0002$")
elseif(CASE STREQUAL "list_json")
    use_topology("${g_OneChassis}")
    run_program(${PROBE} --json)
    expect_exit(0)
    string(JSON l_Count GET "${g_Out}" count)
    string(JSON l_Status GET "${g_Out}" status)
    string(JSON l_Value GET "${g_Out}" chassis 0 bridgeValue)
    string(JSON l_Hex GET "${g_Out}" chassis 0 bridgeValueHex)
    string(JSON l_Model GET "${g_Out}" chassis 0 model)
    if(NOT (l_Count EQUAL 1 AND l_Status EQUAL 0 AND l_Value EQUAL 66 AND l_Hex STREQUAL "0x0042"
            AND l_Model STREQUAL "ZU PXI-7461"))
        fail("unexpected JSON values: ${l_Count} ${l_Status} ${l_Value} ${l_Hex} ${l_Model}")
    endif()
elseif(CASE STREQUAL "list_none")
    use_topology([[{"rootBuses": [0], "bridges": []}]])
    run_program(${PROBE})
    expect_exit(0)
    expect_lines("${g_Out}" "^No ZU PXI-7461 chassis found\\.$")
    run_program(${PROBE} --json)
    expect_exit(0)
    string(JSON l_Count GET "${g_Out}" count)
    string(JSON l_Chassis LENGTH "${g_Out}" chassis)
    if(NOT (l_Count EQUAL 0 AND l_Chassis EQUAL 0))
        fail("expected no chassis in the JSON")
    endif()
elseif(CASE STREQUAL "list_open_fails")
    # The library's own code comes through the finder unchanged, and has no symbolic name.
    use_topology("[]")
    run_program(${PROBE})
    expect_exit(1)
    expect_lines("${g_Err}" "openList failed: -313005$"
                 "next: run zu7461-probe --diagnose, .*which call the library refuses")
    run_program(${PROBE} --json)
    expect_exit(1)
    string(JSON l_Status GET "${g_Out}" status)
    string(JSON l_NameType TYPE "${g_Out}" statusName)
    string(JSON l_Hint GET "${g_Out}" hint)
    if(NOT l_Hint MATCHES "--diagnose")
        fail("expected a hint naming --diagnose")
    endif()
    if(NOT (l_Status EQUAL -313005 AND l_NameType STREQUAL "NULL"))
        fail("expected status -313005 without a name")
    endif()
elseif(CASE STREQUAL "list_without_library")
    make_lonely_probe(l_Probe)
    run_program(${l_Probe})
    expect_exit(1)
    expect_lines("${g_Err}" "openList failed: -52005 \\(zuoskaerr_invalidParameter\\)$"
                 "next: run zu7461-probe --diagnose, .*which entry points it lacks$")
elseif(CASE STREQUAL "module_missing")
    native_path(${WORK}/absent/zu7461.dll l_Absent)
    run_program(${PROBE} --module ${l_Absent})
    expect_exit(2)
    expect_lines("${g_Err}" "cannot load the finder module .*absent.*: error 126")
    run_program(${PROBE} --module ${l_Absent} --json)
    expect_exit(2)
    string(JSON l_Error GET "${g_Out}" systemError)
    if(NOT l_Error EQUAL 126)
        fail("expected systemError 126")
    endif()
elseif(CASE STREQUAL "version")
    run_program(${PROBE} --version)
    expect_exit(0)
    expect_lines("${g_Out}" "^zu7461-probe ${VERSION}$")
else()
    message(FATAL_ERROR "unknown case ${CASE}")
endif()
