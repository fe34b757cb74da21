# The viewing options beyond the plug-in (stable dots, centre anchoring, cross-eyed view,
# oversampling, symmetric linking) in the engine: natively, under the sanitizers and, in the
# Windows builds, under Wine.
zavol_add_gtest(view_tests
  SOURCES view_test.cpp
  LIBS zavol_render zavol_hsv zavol_test_hosts zavol_netpbm
  LABELS portable)
