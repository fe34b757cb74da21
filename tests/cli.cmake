# The command-line tool: readers and writers called directly, and the built zavol program run
# as a user runs it.
if(NOT ZAVOL_WINDOWS)
  find_package(PNG REQUIRED)
  find_package(OpenEXR REQUIRED)
  find_package(ZLIB REQUIRED)
  zavol_add_gtest(io_tests
    SOURCES io_readers_test.cpp io_writers_test.cpp png_codec_test.cpp
    LIBS zavol_io PNG::PNG ZLIB::ZLIB OpenEXR::OpenEXR PkgConfig::LIBDEFLATE
    LABELS cli)
  zavol_add_gtest(cli_tests
    SOURCES cli_units_test.cpp cli_process_test.cpp cli_table_test.cpp
    LIBS zavol_cli zavol_io zavol_render zavol_test_hosts PNG::PNG
    LABELS cli)
  zavol_add_gtest(damaged_file_tests
    SOURCES damaged_files_test.cpp
    LIBS zavol_cli zavol_io PNG::PNG ZLIB::ZLIB OpenEXR::OpenEXR
    LABELS cli)
  target_compile_definitions(cli_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    ZAVOL_PROJECT_VERSION="${PROJECT_VERSION}")
  add_dependencies(cli_tests zavol)
endif()
