# Every command of the walk-throughs (README.md, examples/README.md, docs/*.md)
# run from a fresh copy of the clone on the tests' own build
# (scripts/check-docs.sh, docs/testing.md). Needs the clone's git to list its
# files; alone, as the batch example uses every core.
if(TARGET qev_tests)
  find_program(QEV_GIT git)
  if(QEV_GIT AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    add_test(NAME docs_walkthroughs
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-docs.sh
                     --prebuilt ${PROJECT_BINARY_DIR})
    set_tests_properties(docs_walkthroughs PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
  endif()
endif()
