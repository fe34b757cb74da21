# zavol_add_gtest(NAME [OWN_MAIN] SOURCES ... LIBS ...): one GoogleTest program, run by CTest
# natively or, in the Windows cross builds, under Wine (through the toolchain's emulator) in the
# build tree's prefix. A Windows test reports "skipped" on machines that cannot run its code
# (exit 77). OWN_MAIN: the sources bring their own main(), which may also exit 77.
function(zavol_add_gtest name)
  cmake_parse_arguments(arg "OWN_MAIN" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  if(arg_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest)
  else()
    target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # A crash under Wine can start Wine's debugger and wait forever: a timeout turns it into a failure.
  set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}" TIMEOUT 600
    ENVIRONMENT "ZAVOL_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZAVOL_DATA_DIR=${PROJECT_SOURCE_DIR}/tests/data")
  if(ZAVOL_WINDOWS)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix SKIP_RETURN_CODE 77)
  elseif(arg_OWN_MAIN)
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
endfunction()
