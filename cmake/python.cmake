# The Python module qev._qev (pybind11) over the libraries; the package itself
# is python/qev. Built wherever pybind11 and the interpreter's headers are
# installed (-DQEV_PYTHON=OFF leaves it out, ON requires it), but not under
# the sanitizers, whose runtime an interpreter does not load. `pip install .`
# builds this target alone (setup.py). Its tests run under pytest from ctest.
set(QEV_PYTHON AUTO CACHE STRING "Build the Python module qev._qev (AUTO, ON, OFF)")
set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The interpreter the module is built for")
set(qev_python_build OFF)
if(QEV_PYTHON STREQUAL "AUTO")
  if(NOT QEV_SANITIZE)
    find_package(Python QUIET COMPONENTS Interpreter Development.Module)
    if(Python_FOUND)
      find_package(pybind11 CONFIG QUIET)
    endif()
    if(Python_FOUND AND pybind11_FOUND)
      set(qev_python_build ON)
    else()
      message(STATUS "Python module not built: pybind11-dev or python3-dev not found")
    endif()
  endif()
elseif(QEV_PYTHON)
  find_package(Python REQUIRED COMPONENTS Interpreter Development.Module)
  find_package(pybind11 CONFIG REQUIRED)
  set(qev_python_build ON)
endif()
if(qev_python_build)
  set(sources module errors engine)
  foreach(lib events batch)
    if(TARGET qev_${lib})
      list(APPEND sources ${lib})
    endif()
  endforeach()
  list(TRANSFORM sources PREPEND ${PROJECT_SOURCE_DIR}/python/src/)
  list(TRANSFORM sources APPEND .cpp)
  pybind11_add_module(_qev ${sources})
  target_link_libraries(_qev PRIVATE qev_engine)
  # The static libraries go into a shared object.
  foreach(lib qev_textio qev_catalog qev_settings qev_engine qev_events qev_batch)
    if(TARGET ${lib})
      set_target_properties(${lib} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    endif()
  endforeach()
  foreach(lib qev_events qev_batch)
    if(TARGET ${lib})
      target_link_libraries(_qev PRIVATE ${lib})
      string(TOUPPER ${lib} flag)
      target_compile_definitions(_qev PRIVATE ${flag}_AVAILABLE)
    endif()
  endforeach()
  # The build tree holds the package as it is installed: links to the sources
  # of python/qev beside the module, so that PYTHONPATH=<build>/python finds
  # it. setup.py gives its own folder, where setuptools puts the sources.
  set(QEV_PYTHON_TREE ${PROJECT_BINARY_DIR}/python/qev)
  set(QEV_PYTHON_MODULE_DIR ${QEV_PYTHON_TREE} CACHE PATH "Folder the module is written to")
  if(QEV_PYTHON_MODULE_DIR STREQUAL QEV_PYTHON_TREE)
    file(MAKE_DIRECTORY ${QEV_PYTHON_TREE})
    file(GLOB QEV_PYTHON_PACKAGE CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/python/qev/*.py)
    foreach(source ${QEV_PYTHON_PACKAGE})
      get_filename_component(name ${source} NAME)
      file(CREATE_LINK ${source} ${QEV_PYTHON_TREE}/${name} SYMBOLIC)
    endforeach()
  endif()
  set_target_properties(_qev PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${QEV_PYTHON_MODULE_DIR})
  if(QEV_TESTS)
    add_test(NAME python_tests
             COMMAND ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider
                     ${PROJECT_SOURCE_DIR}/python/tests
             WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    # Alone, so that the test of two threads has the two cores to itself.
    set_tests_properties(python_tests PROPERTIES TIMEOUT 600 RUN_SERIAL ON
      ENVIRONMENT "PYTHONPATH=${PROJECT_BINARY_DIR}/python;QEV_BUILD_DIR=${PROJECT_BINARY_DIR};MPLBACKEND=Agg")
  endif()
endif()
