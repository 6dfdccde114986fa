# Compiler settings and helpers shared by every folder.

find_package(Threads REQUIRED)

if(ZU_SANITIZE)
    add_compile_options(-fsanitize=${ZU_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${ZU_SANITIZE})
endif()

if(CMAKE_CROSSCOMPILING)
    # Windows programs of this build run under Wine; set before any target is created, since
    # each target takes the emulator when it is made.
    set(ZU_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                    WORLD_READ WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()

if(WIN32)
    # No mingw runtime DLL may be needed next to our binaries: without this the posix
    # variant still imports libwinpthread-1.dll.
    add_link_options(-static -static-libgcc -static-libstdc++)
    # Stack protector on every mingw object. Linking with the flag brings the compiler's
    # support library for programs; the DLLs we ship define the guard themselves
    # (source/stackGuard.cpp), so that library stays out of them.
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
    add_link_options(-fstack-protector-strong)
    # The slim <windows.h> everywhere, and no min/max macros to clash with the standard library.
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# Header-only dependencies. The mingw build must not see /usr/include itself, so it gets a
# folder that holds only links to these libraries.
add_library(zu_third_party INTERFACE)
if(CMAKE_CROSSCOMPILING)
    set(ZU_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third-party-include)
    file(MAKE_DIRECTORY ${ZU_THIRD_PARTY_INCLUDE})
    foreach(l_Library boost nlohmann CLI)
        if(EXISTS /usr/include/${l_Library} AND NOT EXISTS ${ZU_THIRD_PARTY_INCLUDE}/${l_Library})
            file(CREATE_LINK /usr/include/${l_Library} ${ZU_THIRD_PARTY_INCLUDE}/${l_Library}
                 SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(zu_third_party SYSTEM INTERFACE ${ZU_THIRD_PARTY_INCLUDE})
endif()

function(zu_target_warnings a_Target)
    target_compile_options(${a_Target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# A shared library named as on its platform without a "lib" prefix. On Linux CMake makes the
# file name its SONAME, so a loaded copy is found again by its bare name.
function(zu_plain_shared_library a_Target)
    set_target_properties(${a_Target} PROPERTIES PREFIX "")
endfunction()

# Address space randomisation with 64-bit entropy and no executable data, for every Windows
# binary we ship.
function(zu_hardened_binary a_Target)
    if(WIN32)
        target_link_options(${a_Target} PRIVATE
            -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
    endif()
endfunction()

# A library we ship: only the entry points listed in <a_Name>.def (Windows, with ordinals) or
# <a_Name>.map (Linux version script) of the calling folder are visible; on Windows it is
# hardened and seeds its own stack guard.
function(zu_exported_library a_Target a_Name)
    if(WIN32)
        target_sources(${a_Target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${a_Name}.def
                                            ${CMAKE_SOURCE_DIR}/source/stackGuard.cpp)
        zu_hardened_binary(${a_Target})
    else()
        set(l_Map ${CMAKE_CURRENT_SOURCE_DIR}/${a_Name}.map)
        target_link_options(${a_Target} PRIVATE -Wl,--version-script=${l_Map})
        set_target_properties(${a_Target} PROPERTIES LINK_DEPENDS ${l_Map})
    endif()
endfunction()
