# Tests of the portable engine: behaviour through a recording frame host, golden scenes, and the
# plain reference renderer over random and hostile sweeps. Natively, under the sanitizers and,
# in the Windows builds, under Wine with the same golden digests.
zavol_add_gtest(engine_tests
  SOURCES engine_test.cpp engine_golden_test.cpp
  LIBS zavol_render zavol_hsv zavol_test_hosts zavol_netpbm
  LABELS portable)

# The checks every face makes before a frame (render/frame_checks).
zavol_add_gtest(frame_checks_tests
  SOURCES frame_checks_test.cpp
  LIBS zavol_render
  LABELS portable)
