# The plug-in zavol.dlf: the shell's objects (kept as an object library so tests can link the
# very same code), an export table named by zavol.def, and InitCommonControls imported from
# COMCTL32 by ordinal through an import library made here instead of -lcomctl32.

if(CMAKE_SYSTEM_PROCESSOR MATCHES "i[3-6]86")
  set(_comctl32_def ${CMAKE_CURRENT_SOURCE_DIR}/comctl32-i686.def)
else()
  set(_comctl32_def ${CMAKE_CURRENT_SOURCE_DIR}/comctl32-x86_64.def)
endif()
set(_comctl32_lib ${CMAKE_CURRENT_BINARY_DIR}/libcomctl32_ordinal.a)
add_custom_command(OUTPUT ${_comctl32_lib}
  COMMAND ${CMAKE_DLLTOOL} -d ${_comctl32_def} -l ${_comctl32_lib}
  DEPENDS ${_comctl32_def}
  COMMENT "Import library for COMCTL32 ordinal 17")
add_custom_target(zavol_comctl32_ordinal_lib DEPENDS ${_comctl32_lib})
add_library(zavol_comctl32_ordinal INTERFACE)
target_link_libraries(zavol_comctl32_ordinal INTERFACE ${_comctl32_lib})
add_dependencies(zavol_comctl32_ordinal zavol_comctl32_ordinal_lib)

add_library(zavol_shell_objects OBJECT
  ${CMAKE_CURRENT_SOURCE_DIR}/entry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/classdesc.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/filter.cpp)
target_include_directories(zavol_shell_objects PUBLIC ${PROJECT_SOURCE_DIR})
# The dialog procedures and the stand-in host DLLs' import libraries are defined later, in
# dialogs/ and standin/: CMake resolves target names when it generates, so naming them here is
# enough, and a missing one stops the build instead of leaving the plug-in out.
target_link_libraries(zavol_shell_objects PUBLIC
  zavol_frame_host zavol_render zavol_settings zavol_dialogs host_flt host_bmm host_core host_util
  zavol_comctl32_ordinal)

add_library(zavol_plugin SHARED ${CMAKE_CURRENT_SOURCE_DIR}/zavol.def)
target_link_libraries(zavol_plugin PRIVATE zavol_shell_objects)
set_target_properties(zavol_plugin PROPERTIES OUTPUT_NAME zavol PREFIX "" SUFFIX ".dlf")

enable_language(RC)
target_sources(zavol_plugin PRIVATE ${PROJECT_SOURCE_DIR}/resources/zavol.rc)
target_include_directories(zavol_plugin PRIVATE ${PROJECT_SOURCE_DIR}/resources)
