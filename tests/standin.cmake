# Tests of the host side: its colour conversions (render/hsv.h) everywhere, the four stand-in
# DLLs and their custom controls in the Windows builds (under Wine).
zavol_add_gtest(hsv_tests
  SOURCES hsv_test.cpp
  LIBS zavol_hsv
  LABELS portable)

if(ZAVOL_WINDOWS)
  enable_language(RC)
  zavol_add_gtest(standin_tests
    SOURCES standin_bitmap_test.cpp standin_filter_test.cpp standin_controls_test.cpp
            standin_dialog.rc
    LIBS host_core host_bmm host_flt host_util zavol_hsv
    LABELS windows)
endif()
