# Frames on several threads against the frame on one: the generator's jump-ahead, golden digests
# and the reference renderer with 1, 2, 3 and 7 threads, the banded depth scan, the library's
# threads field. Native only (the Windows builds run the plug-in's ordered rows).
if(NOT ZAVOL_WINDOWS)
  zavol_add_gtest(parallel_render_tests
    SOURCES parallel_render_test.cpp
    LIBS zavol_c zavol_image_render zavol_test_hosts zavol_netpbm
    LABELS portable)
endif()
