# zavolhost.exe: the stand-in host program. Loads plug-ins at run time, so it links only the
# stand-in SDK DLLs it shares with them, and the portable file pieces.
add_executable(zavolhost
  ${CMAKE_CURRENT_LIST_DIR}/main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin_library.cpp
  ${CMAKE_CURRENT_LIST_DIR}/images.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress.cpp)
target_include_directories(zavolhost PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zavolhost PRIVATE host_flt host_bmm host_core host_util zavol_netpbm
  zavol_atomic_file)

