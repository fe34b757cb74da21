# The library interface: its calls from C++ (bad calls, golden scenes against the engine and the
# tool, strides, stops, threads), and the installed tree used as the README shows, which needs a
# plain build (a sanitized library cannot be loaded by a program built without the sanitizers).
if(NOT ZAVOL_WINDOWS)
  find_package(Threads REQUIRED)
  zavol_add_gtest(libzavol_tests
    SOURCES libzavol_test.cpp
    LIBS zavol_c zavol_render zavol_test_hosts zavol_netpbm PNG::PNG Threads::Threads
    LABELS library)
  # A fresh process whose address space is capped before its frame.
  add_executable(zavol_memory_child memory_child.cpp)
  target_link_libraries(zavol_memory_child PRIVATE zavol_c)
  target_include_directories(zavol_memory_child PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(libzavol_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    ZAVOL_MEMORY_CHILD="$<TARGET_FILE:zavol_memory_child>")
  add_dependencies(libzavol_tests zavol zavol_memory_child)
  if(NOT ZAVOL_SANITIZE)
    add_test(NAME libzavol_install
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/libzavol_install.sh ${CMAKE_BINARY_DIR}
        ${PROJECT_SOURCE_DIR} ${CMAKE_COMMAND})
    set_tests_properties(libzavol_install PROPERTIES LABELS library)
  endif()
endif()
