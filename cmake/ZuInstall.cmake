# What an integrator receives: `cmake --install` and the package (`cpack`, or the "package"
# target). The simulator gets a folder of its own, never bin/: the finder loads the bridge driver
# library by bare name, so a copy beside a host program would shadow the real one.
#
#   bin/zu7461.dll (.so)  bin/zu7461-probe(.exe)  include/zu7461/zu7461.h
#   simulator/zupcibrd.dll (.so)  simulator/README.txt  README.md

# Hosts load the module at run time, so the mingw import library stays out of the package.
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
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)

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
# The build's debug information is of no use to a Windows debugger; the package ships without
# it (this strips what install(TARGETS) installs).
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
# Only the binary package: the sources travel through the repository.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
