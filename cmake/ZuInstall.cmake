# What an integrator receives: `cmake --install` and the package (`cpack`, or the "package"
# target). The simulator gets a folder of its own, never bin/: the finder loads the bridge driver
# library by bare name, so a copy beside a host program would shadow the real one.
#
#   bin/zu7461.dll (.so)  bin/zu7461-probe(.exe)  include/zu7461/zu7461.h
#   lib/zu7461.lib (Windows)  lib/cmake/zu7461/zu7461Config.cmake, zu7461ConfigVersion.cmake
#   simulator/zupcibrd.dll (.so)  simulator/README.txt  README.md
#
# The binaries are installed stripped by every install, as CPack does: a plain `cmake --install`
# gives the very files of the package. Set before the targets below, whose rules read it.
install(CODE "set(CMAKE_INSTALL_DO_STRIP TRUE)")

# The linker's import library stays out (its name is mingw's); lib/zu7461.lib, made from the
# module definition file, is the one both mingw and MSVC linkers accept.
install(TARGETS zu7461 zu7461-probe
        RUNTIME DESTINATION bin
        LIBRARY DESTINATION bin
        ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/include/zu7461/zu7461.h DESTINATION include/zu7461)
install(TARGETS zupcibrd
        RUNTIME DESTINATION simulator
        LIBRARY DESTINATION simulator
        ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/package/simulator-README.txt DESTINATION simulator
        RENAME README.txt)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/package/README.md DESTINATION .)
if(WIN32)
    install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/zu7461.lib DESTINATION lib)
endif()

include(CMakePackageConfigHelpers)
set(ZU_MODULE_FILE zu7461${CMAKE_SHARED_LIBRARY_SUFFIX})
configure_file(${CMAKE_SOURCE_DIR}/cmake/package/zu7461Config.cmake.in
               ${CMAKE_BINARY_DIR}/cmake/zu7461Config.cmake @ONLY)
# The module is 64-bit only: the version file refuses a 32-bit host build.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/zu7461ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/zu7461Config.cmake
              ${CMAKE_BINARY_DIR}/cmake/zu7461ConfigVersion.cmake DESTINATION lib/cmake/zu7461)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ZU PXI-7461 chassis finder")
if(WIN32)
    set(CPACK_SYSTEM_NAME win64)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_SYSTEM_NAME linux-${CMAKE_SYSTEM_PROCESSOR})
    set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The build's debug information is of no use to a Windows debugger; the install rules above
# strip what install(TARGETS) installs, for CPack too.
set(CPACK_VERBATIM_VARIABLES ON)
# Only the binary package: the sources travel through the repository.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
