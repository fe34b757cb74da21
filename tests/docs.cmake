# The tool's man pages and completions against its help; the Debian packages built, checked by
# lintian, unpacked into a throwaway root and used from there; and every command and code block
# of the README and docs/ run as written. Native only.
if(NOT ZAVOL_WINDOWS)
  add_test(NAME reference_pages
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/reference_test.sh $<TARGET_FILE:zavol> ${ZAVOL_REFERENCE_DIR})
  set_tests_properties(reference_pages PROPERTIES LABELS docs)
endif()
