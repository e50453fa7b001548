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
    if(QEV_SANITIZE)
      # The walk-through's two-rank batch runs under mpirun, whose own library
      # keeps what it allocated until the process ends: leaks not of ours.
      set_tests_properties(docs_walkthroughs PROPERTIES ENVIRONMENT ASAN_OPTIONS=detect_leaks=0)
    endif()
  endif()
endif()

# The set-up's package check where nothing is found (no program on PATH): the
# one apt-get line of the whole run group on standard output, status 1, and
# nothing installed (--check).
if(TARGET qev_tests)
  add_test(NAME setup_prints_the_missing_apt_get_line
           COMMAND /bin/bash -c
                   "out=$(env -i PATH=/nonexistent /bin/bash '${PROJECT_SOURCE_DIR}/scripts/install-deps.sh' --check run 2>/dev/null); status=$?; [ $status -eq 1 ] && [ \"$out\" = 'apt-get install g++ cmake make' ]")
endif()
