# The GEGL operation and the GIMP plug-in, run as their users run them: the gegl command and
# GIMP's batch mode against the zavol tool, with GEGL_PATH naming the build's module folder
# beside the system's (the variable replaces GEGL's default path).
if(NOT ZAVOL_WINDOWS AND NOT ZAVOL_SANITIZE)
  find_package(PNG REQUIRED)
  # Missing programs are not skipped: the tests run the names and fail.
  find_program(ZAVOL_GEGL_PROGRAM gegl)
  find_program(ZAVOL_GIMP_CONSOLE gimp-console-2.10)
  if(NOT ZAVOL_GEGL_PROGRAM)
    set(ZAVOL_GEGL_PROGRAM gegl)
  endif()
  if(NOT ZAVOL_GIMP_CONSOLE)
    set(ZAVOL_GIMP_CONSOLE gimp-console-2.10)
  endif()
  pkg_get_variable(_gegl_system_dir gegl-0.4 pluginsdir)
  zavol_add_gtest(gegl_tests
    SOURCES gegl_test.cpp
    LIBS zavol_gegl_properties zavol_static zavol_test_hosts zavol_netpbm PNG::PNG
    LABELS gegl)
  target_compile_definitions(gegl_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    GEGL_PROGRAM="${ZAVOL_GEGL_PROGRAM}" GIMP_CONSOLE="${ZAVOL_GIMP_CONSOLE}"
    GIMP_PLUG_IN="$<TARGET_FILE:zavol_gimp>" CMAKE_PROGRAM="${CMAKE_COMMAND}"
    BUILD_DIR="${CMAKE_BINARY_DIR}" GEGL_SYSTEM_DIR="${_gegl_system_dir}"
    GEGL_MODULE_DIR="${ZAVOL_GEGL_MODULE_DIR}" GIMP_PLUGIN_DIR="${ZAVOL_GIMP_PLUGIN_DIR}")
  add_dependencies(gegl_tests zavol zavol_gegl zavol_gimp)
  set_property(TEST gegl_tests APPEND PROPERTY ENVIRONMENT
    "GEGL_PATH=${CMAKE_BINARY_DIR}/gegl-0.4:${_gegl_system_dir}")
endif()
