# The stereogram decoder and the quality meter: pictures with known repeats, engine frames
# decoded back, the meter's counts, bad calls. Native only: the decoder serves the tool.
if(NOT ZAVOL_WINDOWS)
  zavol_add_gtest(decode_tests
    SOURCES decode_test.cpp
    LIBS zavol_decode zavol_image_render zavol_netpbm
    LABELS decode)
endif()
