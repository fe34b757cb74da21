# Compiler flags for every target. The floating-point flags make the i686 build compute the same
# bits as the x86-64 build: SSE2 arithmetic instead of x87 extended precision, and no fused
# multiply-add contraction anywhere.
# -Wnon-virtual-dtor means something to C++ only; C sources (the GEGL operation, test shims) get
# the rest.
set(ZAVOL_WARNINGS -Wall -Wextra -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
    -Wcast-align -Wformat=2)
set(ZAVOL_FP_FLAGS -ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i[3-6]86")
  list(APPEND ZAVOL_FP_FLAGS -msse2 -mfpmath=sse)
endif()

add_compile_options(${ZAVOL_WARNINGS} ${ZAVOL_FP_FLAGS})

if(ZAVOL_WINDOWS)
  # No libgcc_s_dw2-1.dll, libstdc++-6.dll or libwinpthread-1.dll beside the plug-in: the host's
  # folder has none of them (the POSIX-threads MinGW needs the thread library: GoogleTest uses
  # std::mutex). -static links the runtime into every module, and takes from each archive only
  # the members something calls; the thread library's version.o, a version resource naming its
  # makers, is called by nothing and stays out, so the plug-in's only resources remain its two
  # dialogs. (Linking that archive whole would drag the resource in.)
  add_link_options(-static)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

if(ZAVOL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

string(REPLACE ";" " " _zavol_warn "${ZAVOL_WARNINGS}")
string(REPLACE ";" " " _zavol_fp "${ZAVOL_FP_FLAGS}")
message(STATUS "zavol: target ${CMAKE_SYSTEM_NAME} ${CMAKE_SYSTEM_PROCESSOR}, compiler ${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION}")
message(STATUS "zavol: warnings in effect: ${_zavol_warn}")
message(STATUS "zavol: floating point: ${_zavol_fp}")
message(STATUS "zavol: build type ${CMAKE_BUILD_TYPE}, sanitizers ${ZAVOL_SANITIZE}, tests ${ZAVOL_TESTS}")
