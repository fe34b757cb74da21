# The Blender add-on: pytest drives Debian's blender in background mode (scenes built by the
# test, Cycles on the CPU at 160x90) with the add-on zip this tree built, against the built zavol
# tool. A machine without blender fails here (scripts/setup installs it). Native plain builds.
if(TARGET zavol_blender_addon)
  find_program(ZAVOL_BLENDER_PROGRAM blender)
  add_test(NAME blender_addon
    COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_SOURCE_DIR}/blender)
  set_tests_properties(blender_addon PROPERTIES LABELS blender TIMEOUT 900 ENVIRONMENT
    "PYTHONPATH=${CMAKE_BINARY_DIR}/python;PYTHONDONTWRITEBYTECODE=1;ZAVOL_BIN=$<TARGET_FILE:zavol>;ZAVOL_BLENDER=${ZAVOL_BLENDER_PROGRAM};ZAVOL_BLENDER_ADDON=${ZAVOL_BLENDER_ZIP}")
endif()
