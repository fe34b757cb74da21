# Tests of the plug-in and the stand-in host program: the module's file structure (no Wine
# needed, so it runs in both Windows builds), the DLL through its exports and tables, the shell
# linked directly, and zavolhost.exe as a process.
if(ZAVOL_WINDOWS)
  set(_objdump ${CMAKE_OBJDUMP})
  if(NOT _objdump)
    string(REGEX REPLACE "g\\+\\+(-posix)?$" "objdump" _objdump ${CMAKE_CXX_COMPILER})
  endif()
  add_test(NAME plugin_module_structure
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/plugin_module.sh ${_objdump} $<TARGET_FILE:zavol_plugin>)
  set_tests_properties(plugin_module_structure PROPERTIES LABELS "plugin")

  zavol_add_gtest(plugin_dll_tests
    SOURCES plugin_dll_test.cpp plugin_support.cpp
    LIBS host_bmm host_util zavol_render zavol_hsv zavol_settings zavol_test_hosts
    LABELS plugin)
  zavol_add_gtest(plugin_shell_tests
    SOURCES plugin_shell_test.cpp
    LIBS zavol_shell_objects
    LABELS plugin)
  zavol_add_gtest(plugin_host_tests
    SOURCES plugin_host_test.cpp plugin_support.cpp
    LIBS host_bmm host_util zavol_render zavol_hsv zavol_settings zavol_test_hosts zavol_netpbm
    LABELS plugin)
  # The programs load these at run time.
  add_dependencies(plugin_dll_tests zavol_plugin)
  add_dependencies(plugin_host_tests zavol_plugin zavolhost)
endif()
