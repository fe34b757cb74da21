# The Python module: pytest over the module this tree built, against the built zavol tool and the
# golden scenes (written as files by golden_scene_files); and pip's install of the module from a
# clean clone into a virtual environment, as the README shows. Native plain builds only.
if(TARGET zavol_python)
  add_executable(golden_scene_files golden_scene_files.cpp)
  target_link_libraries(golden_scene_files PRIVATE zavol_settings zavol_netpbm)
  target_include_directories(golden_scene_files PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME python_tests
    COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_SOURCE_DIR}/python)
  set_tests_properties(python_tests PROPERTIES LABELS python TIMEOUT 600 ENVIRONMENT
    "PYTHONPATH=${CMAKE_BINARY_DIR}/python;PYTHONDONTWRITEBYTECODE=1;ZAVOL_BIN=$<TARGET_FILE:zavol>;ZAVOL_GOLDEN_FILES=$<TARGET_FILE:golden_scene_files>;ZAVOL_DATA_DIR=${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME python_install
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/python_install.sh ${PROJECT_SOURCE_DIR} ${Python3_EXECUTABLE})
  set_tests_properties(python_install PROPERTIES LABELS python TIMEOUT 1800)
endif()
