# The project's scripts tested on small files of their own (tests/scripts).
if(TARGET qev_tests)
  find_package(Python COMPONENTS Interpreter QUIET)
  if(Python_EXECUTABLE)
    add_test(NAME script_tests
             COMMAND ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider
                     ${PROJECT_SOURCE_DIR}/tests/scripts)
  endif()
endif()
