# The cross-build golden check, registered in the native builds: it renders the golden scenes
# with the native engine and through the i686 and x86_64 Windows builds' zavolhost.exe and
# zavol.dlf under Wine. scripts/test builds win32 and win64 before the native suites, so the
# Windows side exists and is fresh by then; a build that is missing (or an i686 build on a
# machine that cannot run 32-bit code) has its cases skipped and the others still count, a build
# tree older than its sources fails, and when no case compared anything the test is skipped.
if(NOT ZAVOL_WINDOWS)
  set(ZAVOL_CROSS_HOST32 ${PROJECT_SOURCE_DIR}/build/win32/bin/zavolhost.exe CACHE FILEPATH
    "zavolhost.exe of an i686 Windows build, beside its zavol.dlf, for the cross-build check")
  set(ZAVOL_CROSS_HOST ${PROJECT_SOURCE_DIR}/build/win64/bin/zavolhost.exe CACHE FILEPATH
    "zavolhost.exe of an x86_64 Windows build, beside its zavol.dlf, for the cross-build check")
  zavol_add_gtest(golden_cross_tests OWN_MAIN
    SOURCES golden_cross_test.cpp
    LIBS zavol_render zavol_test_hosts zavol_netpbm zavol_settings
    LABELS cross)
  set_property(TEST golden_cross_tests APPEND PROPERTY ENVIRONMENT
    "ZAVOL_CROSS_HOST32=${ZAVOL_CROSS_HOST32}"
    "ZAVOL_CROSS_HOST=${ZAVOL_CROSS_HOST}"
    "ZAVOL_CMAKE=${CMAKE_COMMAND}"
    "ZAVOL_CROSS_WORKDIR=${CMAKE_CURRENT_BINARY_DIR}/golden_cross")
endif()
