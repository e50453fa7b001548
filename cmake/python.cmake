# The Python module qev._qev (pybind11) over the libraries, built with
# -DQEV_PYTHON=ON; the package itself is python/qev. `pip install .` builds
# this target alone (setup.py). Its tests run under pytest from ctest.
option(QEV_PYTHON "Build the Python module qev._qev" OFF)
if(QEV_PYTHON)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The interpreter the module is built for")
  find_package(Python REQUIRED COMPONENTS Interpreter Development.Module)
  find_package(pybind11 CONFIG REQUIRED)
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
  foreach(lib qev_textio qev_catalog qev_engine qev_events qev_batch)
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
                     ${PROJECT_SOURCE_DIR}/python/tests ${PROJECT_SOURCE_DIR}/docs/python_doc_test.py
             WORKING_DIRECTORY ${PROJECT_BINARY_DIR})
    set_tests_properties(python_tests PROPERTIES TIMEOUT 600
      ENVIRONMENT "PYTHONPATH=${PROJECT_BINARY_DIR}/python;QEV_BUILD_DIR=${PROJECT_BINARY_DIR};MPLBACKEND=Agg")
  endif()
endif()
