# The tool on a system that refuses threads: runs of the built zavol with a preloaded
# pthread_create that refuses the standard library's threads, against runs that had them.
if(NOT ZAVOL_WINDOWS)
  find_package(PNG REQUIRED)
  add_library(zavol_thread_refuser SHARED thread_refuser.c)
  target_link_libraries(zavol_thread_refuser PRIVATE ${CMAKE_DL_LIBS})
  zavol_add_gtest(thread_refusal_tests
    SOURCES thread_refusal_test.cpp
    LIBS zavol_netpbm zavol_test_hosts PNG::PNG
    LABELS cli)
  target_compile_definitions(thread_refusal_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    ZAVOL_THREAD_REFUSER="$<TARGET_FILE:zavol_thread_refuser>")
  add_dependencies(thread_refusal_tests zavol zavol_thread_refuser)
endif()
