# The package of a finished build: exactly the integrator's files under one top folder, as a plain
# install gives them, the one version in its name, the DLL and the probe, and the simulator found
# only where its README says to put it, by a host built from the package alone.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/unpacked)
unset(ENV{ZUPCIBRD_SIM_TOPOLOGY})
unset(ENV{LD_LIBRARY_PATH})
unset(ENV{WINEPATH})
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${WORK}/out RESULT_VARIABLE l_Result
                OUTPUT_VARIABLE l_Out ERROR_VARIABLE l_Out)
file(GLOB l_Packages RELATIVE ${WORK}/out ${WORK}/out/*.zip ${WORK}/out/*.tar.gz)
if(NOT l_Result EQUAL 0 OR NOT l_Packages STREQUAL PACKAGE_FILE)
    message(FATAL_ERROR "cpack (${l_Result}) made '${l_Packages}', expected '${PACKAGE_FILE}':\n${l_Out}")
endif()
# Every file under the one top folder, as a plain install into a folder of that name gives it:
# the same files, the same sizes, no debug information.
string(REGEX REPLACE "\\.(zip|tar\\.gz)$" "" l_Top "${PACKAGE_FILE}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${WORK}/out/${PACKAGE_FILE}
                WORKING_DIRECTORY ${WORK}/unpacked)
get_filename_component(l_Build ${CONFIG} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${l_Build} --prefix ${WORK}/installed/${l_Top}
                OUTPUT_QUIET)
function(sized_files a_Dir a_Out)
    file(GLOB_RECURSE l_Files LIST_DIRECTORIES false RELATIVE ${a_Dir} ${a_Dir}/*)
    foreach(l_File ${l_Files})
        file(SIZE ${a_Dir}/${l_File} l_Size)
        file(STRINGS ${a_Dir}/${l_File} l_Debug REGEX "^\\.debug_info$" LIMIT_COUNT 1)
        list(APPEND l_Sized "${l_File}:${l_Size}${l_Debug}")
    endforeach()
    set(${a_Out} "${l_Sized}" PARENT_SCOPE)
endfunction()
sized_files(${WORK}/installed l_Installed)
sized_files(${WORK}/unpacked l_Packed)
list(TRANSFORM l_Packed REPLACE ":.*" "" OUTPUT_VARIABLE l_Files)
set(l_Expected bin/zu7461.so bin/zu7461-probe simulator/zupcibrd.so)
if(WINDOWS)
    set(l_Expected bin/zu7461.dll bin/zu7461-probe.exe simulator/zupcibrd.dll lib/zu7461.lib)
endif()
list(APPEND l_Expected include/zu7461/zu7461.h simulator/README.txt README.md
     lib/cmake/zu7461/zu7461Config.cmake lib/cmake/zu7461/zu7461ConfigVersion.cmake)
list(TRANSFORM l_Expected PREPEND ${l_Top}/)
list(SORT l_Expected)
if(NOT l_Files STREQUAL l_Expected OR NOT l_Installed STREQUAL l_Packed OR l_Packed MATCHES "debug")
    message(FATAL_ERROR "package:\n  ${l_Packed}\nexpected:\n  ${l_Expected}\ninstalled:\n  ${l_Installed}")
endif()
set(l_Root ${WORK}/unpacked/${l_Top})
# The integrator's README, not the developer's.
file(READ ${l_Root}/README.md l_Readme)
if(l_Readme MATCHES "scripts/|--preset" OR NOT l_Readme MATCHES "--record")
    message(FATAL_ERROR "the package's README.md is not the one for integrators")
endif()
file(GLOB l_Probe ${l_Root}/bin/zu7461-probe ${l_Root}/bin/zu7461-probe.exe)

if(WINDOWS)
    file(READ ${l_Root}/bin/zu7461.dll l_Dll HEX)
    # Each text version as the UTF-16LE text right after its key.
    file(STRINGS ${l_Root}/bin/zu7461.dll l_Texts ENCODING UTF-16LE)
    if(NOT ";${l_Texts};" MATCHES ";FileVersion;${VERSION};.*;ProductVersion;${VERSION};")
        message(FATAL_ERROR "the DLL's version resource lacks FileVersion or ProductVersion ${VERSION}")
    endif()
    # The fixed part after its signature 0xFEEF04BD: file then product version, each as the
    # little-endian words (major << 16 | minor) and (patch << 16).
    string(REGEX MATCH "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$" l_Parts "${VERSION}")
    set(l_Fixed "")
    foreach(l_Part ${CMAKE_MATCH_2} ${CMAKE_MATCH_1} 0 ${CMAKE_MATCH_3})
        math(EXPR l_Word "0x10000 + ${l_Part}" OUTPUT_FORMAT HEXADECIMAL)
        string(REGEX REPLACE "^0x1(..)(..)$" "\\2\\1" l_Word "${l_Word}")
        string(APPEND l_Fixed "${l_Word}")
    endforeach()
    if(NOT l_Dll MATCHES "bd04effe........${l_Fixed}${l_Fixed}")
        message(FATAL_ERROR "the DLL's fixed version is not ${VERSION} (${l_Fixed})")
    endif()
endif()

function(run_probe)
    execute_process(COMMAND ${EMULATOR} ${l_Probe} ${ARGN} RESULT_VARIABLE l_Exit
                    OUTPUT_VARIABLE l_Out ERROR_VARIABLE l_Err)
    string(REPLACE "\r" "" l_Out "${l_Out}")
    set(g_Out "${l_Exit}:${l_Out}" PARENT_SCOPE)
    set(g_Said "exit ${l_Exit}\n--- stdout:\n${l_Out}\n--- stderr:\n${l_Err}" PARENT_SCOPE)
endfunction()
run_probe(--version)
if(NOT g_Out MATCHES "^0:zu7461-probe ${VERSION}\n$")
    message(FATAL_ERROR "the packaged probe's --version:\n${g_Said}")
endif()
# Unpacked as shipped, the simulator is not beside the probe and no driver is installed: the
# bridge driver library must not load.
run_probe()
if(NOT g_Out MATCHES "^1:" OR g_Out MATCHES "Found [0-9]+ ")
    message(FATAL_ERROR "the packaged probe found a bridge driver library unshown:\n${g_Said}")
endif()

# With the simulator's folder in the search path, as its README says, the finder uses it: a host
# built against the unpacked package alone with find_package links the module, then loads it by
# name and by ordinal, and lists the simulator's machine each way.
set(ENV{LD_LIBRARY_PATH} "${l_Root}/bin:${l_Root}/simulator")
set(ENV{WINEPATH} "Z:${l_Root}/bin;Z:${l_Root}/simulator")
execute_process(COMMAND ${CMAKE_COMMAND} -G Ninja -S ${CMAKE_CURRENT_LIST_DIR}/host -B ${WORK}/host
                        -DCMAKE_C_COMPILER=${COMPILER} -DCMAKE_PREFIX_PATH=${l_Root}
                        -DCMAKE_SYSTEM_NAME=${SYSTEM} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/host COMMAND_ERROR_IS_FATAL ANY)
file(GLOB l_Probe ${WORK}/host/host ${WORK}/host/host.exe)
run_probe()
set(l_Listed "status 0, 2 chassis: 0x0001 0x0002\n")
if(NOT g_Out MATCHES "^0:linked: ${l_Listed}by name: ${l_Listed}(by ordinal: ${l_Listed})?$"
   OR (WINDOWS AND NOT g_Out MATCHES "by ordinal"))
    message(FATAL_ERROR "the host built against the package:\n${g_Said}")
endif()
