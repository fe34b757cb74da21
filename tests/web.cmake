# The page: its WebAssembly module under node and the page in headless Chromium, against this
# build's zavol and golden scenes. The script builds the web preset (emscripten) first. Native
# plain builds only (once per run of the suites).
if(ZAVOL_WINDOWS OR ZAVOL_SANITIZE)
  return()
endif()
if(NOT TARGET golden_scene_files)
  add_executable(golden_scene_files golden_scene_files.cpp)
  target_link_libraries(golden_scene_files PRIVATE zavol_settings zavol_netpbm)
  target_include_directories(golden_scene_files PRIVATE ${PROJECT_SOURCE_DIR})
endif()
add_test(NAME web_tests COMMAND bash ${PROJECT_SOURCE_DIR}/web/test/run.sh ${PROJECT_SOURCE_DIR})
set_tests_properties(web_tests PROPERTIES LABELS web TIMEOUT 1800 ENVIRONMENT
  "ZAVOL_BIN=$<TARGET_FILE:zavol>;ZAVOL_GOLDEN_FILES=$<TARGET_FILE:golden_scene_files>;ZAVOL_DATA_DIR=${PROJECT_SOURCE_DIR}/tests/data;ZAVOL_WEB_SHOTS=${CMAKE_CURRENT_BINARY_DIR}")
