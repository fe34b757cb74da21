# The cross-build golden check, registered in the native builds: it renders the golden scenes
# with the native engine and through the x86_64 Windows build's zavolhost.exe and zavol.dlf
# under Wine. scripts/test builds win64 before the native suites, so the Windows side exists
# by then; without it the test reports itself skipped.
if(NOT ZAVOL_WINDOWS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/golden_scenes.h)
  set(ZAVOL_CROSS_HOST ${PROJECT_SOURCE_DIR}/build/win64/bin/zavolhost.exe CACHE FILEPATH
    "zavolhost.exe of an x86_64 Windows build, beside its zavol.dlf, for the cross-build check")
  zavol_add_gtest(golden_cross_tests
    SOURCES golden_cross_test.cpp
    LIBS zavol_render zavol_hsv zavol_settings
    LABELS cross)
  set_property(TEST golden_cross_tests APPEND PROPERTY ENVIRONMENT
    "ZAVOL_CROSS_HOST=${ZAVOL_CROSS_HOST}"
    "ZAVOL_CROSS_WORKDIR=${CMAKE_CURRENT_BINARY_DIR}/golden_cross")
  set_tests_properties(golden_cross_tests PROPERTIES SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")
endif()
