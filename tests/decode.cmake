# The stereogram decoder and the quality meter: pictures with known repeats, engine frames
# decoded back, the meter's counts, bad calls; and `zavol decode` run as a user runs it.
# Native only: the decoder serves the tool.
if(NOT ZAVOL_WINDOWS)
  find_package(PNG REQUIRED)
  find_package(JPEG REQUIRED)
  zavol_add_gtest(decode_tests
    SOURCES decode_test.cpp
    LIBS zavol_decode zavol_image_render zavol_netpbm
    LABELS decode)
  zavol_add_gtest(decode_cli_tests
    SOURCES decode_cli_test.cpp
    LIBS zavol_decode zavol_netpbm zavol_test_hosts PNG::PNG JPEG::JPEG
    LABELS decode)
  target_compile_definitions(decode_cli_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>")
  add_dependencies(decode_cli_tests zavol)
endif()
