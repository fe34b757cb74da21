# The command-line tool as a user runs it.
if(NOT ZAVOL_WINDOWS)
  add_test(NAME cli_process COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli_process.sh $<TARGET_FILE:zavol>)
  set_tests_properties(cli_process PROPERTIES LABELS "cli")
endif()
