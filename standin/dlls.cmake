# The stand-in host SDK DLLs (Windows builds only): core.dll, bmm.dll, flt.dll and util.dll,
# each with its import library (lib<name>.dll.a), linked by the plug-in, the host program and
# the tests as host_core, host_bmm, host_flt and host_util.
function(zavol_host_dll target name building)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "")
  target_compile_definitions(${target} PRIVATE ${building})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

zavol_host_dll(host_util util ZAVOL_BUILDING_UTIL util.cpp)
zavol_host_dll(host_bmm bmm ZAVOL_BUILDING_BMM bmm.cpp)
zavol_host_dll(host_flt flt ZAVOL_BUILDING_FLT flt.cpp)
zavol_host_dll(host_core core ZAVOL_BUILDING_CORE core.cpp controls.cpp)
target_link_libraries(host_core PRIVATE host_util zavol_hsv user32 gdi32 comdlg32)
