# Tests of the two dialogs in the built zavol.dlf, loaded as the host loads it and driven from
# inside their modal loops under Wine. Windows builds only.
if(ZAVOL_WINDOWS)
  zavol_add_gtest(dialogs_tests
    SOURCES dialogs_support.cpp dialogs_template_test.cpp dialogs_setup_test.cpp
            dialogs_about_test.cpp
    LIBS host_core user32 gdi32
    LABELS dialogs windows)
  # The program loads the plug-in at run time from its own folder.
  add_dependencies(dialogs_tests zavol_plugin)
endif()
