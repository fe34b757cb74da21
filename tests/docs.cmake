# The tool's man pages and completions against its help; the Debian packages built, checked by
# lintian, unpacked into a throwaway root and used from there; and every command and code block
# of the README and docs/ run as written. Native only.
if(NOT ZAVOL_WINDOWS)
  add_test(NAME reference_pages
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/reference_test.sh $<TARGET_FILE:zavol> ${ZAVOL_REFERENCE_DIR})
  set_tests_properties(reference_pages PROPERTIES LABELS docs)
endif()

# The packages: a build of their own (the package preset, in build/package), so this test takes
# a few minutes; it runs alone.
if(NOT ZAVOL_WINDOWS AND NOT ZAVOL_SANITIZE AND TARGET zavol_python)
  add_test(NAME packages COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packages_test.sh ${PROJECT_SOURCE_DIR})
  set_tests_properties(packages PROPERTIES LABELS docs TIMEOUT 2400 RUN_SERIAL ON)
  # Every fenced block of the README and docs/ pages, run or accounted for.
  add_test(NAME docs_examples
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/docs_examples.py ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(docs_examples PROPERTIES LABELS docs TIMEOUT 1200)
endif()
