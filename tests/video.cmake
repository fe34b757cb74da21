# Videos in and out: the tool run as a user runs it, its files checked by FFmpeg's own programs
# (ffmpeg, ffprobe; Debian's ffmpeg package), which also make the depth videos and bad inputs.
if(NOT ZAVOL_WINDOWS)
  find_program(ZAVOL_FFMPEG ffmpeg REQUIRED)
  find_program(ZAVOL_FFPROBE ffprobe REQUIRED)
  zavol_add_gtest(video_tests
    SOURCES video_test.cpp
    LIBS zavol_video zavol_io zavol_test_hosts PNG::PNG
    LABELS cli)
  target_compile_definitions(video_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    ZAVOL_FFMPEG="${ZAVOL_FFMPEG}" ZAVOL_FFPROBE="${ZAVOL_FFPROBE}")
  add_dependencies(video_tests zavol)
  # Each output kind against each fault, as real processes under a time limit each.
  zavol_add_gtest(output_fault_tests
    SOURCES output_faults_test.cpp
    LIBS zavol_netpbm zavol_test_hosts PNG::PNG
    LABELS cli)
  target_compile_definitions(output_fault_tests PRIVATE ZAVOL_BIN="$<TARGET_FILE:zavol>"
    ZAVOL_FFMPEG="${ZAVOL_FFMPEG}")
  add_dependencies(output_fault_tests zavol)
endif()
