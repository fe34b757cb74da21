# Every fuzz target replays its seed corpus and every crasher ever found, in every native build.
if(NOT ZAVOL_WINDOWS)
  get_property(_fuzz_targets GLOBAL PROPERTY ZAVOL_FUZZ_TARGETS)
  foreach(_t IN LISTS _fuzz_targets)
    add_test(NAME replay_${_t}
      COMMAND replay_${_t} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${_t} ${PROJECT_SOURCE_DIR}/tests/crashers/${_t})
    set_tests_properties(replay_${_t} PROPERTIES LABELS "fuzz;portable" PASS_REGULAR_EXPRESSION "replayed [1-9][0-9]* inputs")
  endforeach()
endif()
