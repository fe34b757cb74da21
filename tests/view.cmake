# The viewing options beyond the plug-in (stable dots, centre anchoring, cross-eyed view,
# oversampling, symmetric linking) in the engine: natively, under the sanitizers and, in the
# Windows builds, under Wine.
zavol_add_gtest(view_tests
  SOURCES view_test.cpp
  LIBS zavol_render zavol_hsv zavol_test_hosts zavol_netpbm
  LABELS portable)
# The same options through the C interface and the built tool (native only: runs zavol).
if(NOT ZAVOL_WINDOWS)
  find_package(PNG REQUIRED)
  zavol_add_gtest(view_library_tests
    SOURCES view_library_test.cpp
    LIBS zavol_c zavol_render zavol_netpbm PNG::PNG
    LABELS library)
  target_compile_definitions(view_library_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>")
  add_dependencies(view_library_tests zavol)
endif()
