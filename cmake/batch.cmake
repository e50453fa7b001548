# Batch analyses (qev_batch): job files, the logic tree, the bootstrap, the
# thread pool and the writers; the MPI runner (qev_batch_mpi) where MPI is
# found; the qev-batch tool.
find_package(tomlplusplus REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(pugixml REQUIRED)
find_package(CLI11 REQUIRED)
find_package(Threads REQUIRED)
find_package(MPI COMPONENTS CXX QUIET)

# One library per folder: the batch on the engine and the catalog import.
qev_library(qev_batch batch DEPENDS qev_engine qev_events Threads::Threads)
target_link_libraries(qev_batch PRIVATE tomlplusplus::tomlplusplus nlohmann_json::nlohmann_json
                      pugixml::pugixml)
set_target_properties(qev_batch PROPERTIES EXPORT_NAME batch)
add_library(QEV::batch ALIAS qev_batch)
install(TARGETS qev_batch EXPORT QEVImportTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

if(MPI_CXX_FOUND)
  qev_library(qev_batch_mpi batch_mpi DEPENDS qev_batch MPI::MPI_CXX)
  message(STATUS "qev-batch: MPI found (${MPI_CXX_COMPILER}); mpirun runs are built")
else()
  message(STATUS "qev-batch: MPI not found; qev-batch runs on the threads of one machine")
endif()

function(qev_batch_tool)
  qev_companion_tool(qev-batch tools/batch/qev_batch.cpp qev_batch)
  if(TARGET qev_batch_mpi)
    target_link_libraries(qev-batch PRIVATE qev_batch_mpi)
    target_compile_definitions(qev-batch PRIVATE QEV_WITH_MPI)
  endif()
  install(FILES docs/batch.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TARGET qev_tests)
    # The same job on one thread, on two and on two MPI ranks: the same bytes.
    set(mpirun "")
    if(TARGET qev_batch_mpi AND MPIEXEC_EXECUTABLE)
      set(mpirun ${MPIEXEC_EXECUTABLE})
    endif()
    add_test(NAME batch_outputs_identical_on_threads_and_ranks
             COMMAND ${CMAKE_COMMAND} -DBATCH=$<TARGET_FILE:qev-batch> -DMPIRUN=${mpirun}
                     -DJOB=${PROJECT_SOURCE_DIR}/tests/batch/data/small_job.toml
                     -DWORK=${CMAKE_BINARY_DIR}/batch-identity
                     -P ${PROJECT_SOURCE_DIR}/tests/batch/identity_check.cmake)
    set_tests_properties(batch_outputs_identical_on_threads_and_ranks PROPERTIES TIMEOUT 600)
    add_test(NAME batch_example_identical_on_threads_and_ranks
             COMMAND ${CMAKE_COMMAND} -DBATCH=$<TARGET_FILE:qev-batch> -DMPIRUN=${mpirun}
                     -DJOB=${PROJECT_SOURCE_DIR}/examples/batch/national.toml
                     -DWORK=${CMAKE_BINARY_DIR}/batch-example-identity
                     -P ${PROJECT_SOURCE_DIR}/tests/batch/identity_check.cmake)
    set_tests_properties(batch_example_identical_on_threads_and_ranks PROPERTIES TIMEOUT 600)
    # report.html laid out and drawn by a headless browser (skipped without one).
    find_package(Python COMPONENTS Interpreter QUIET)
    if(Python_EXECUTABLE)
      add_test(NAME batch_report_in_browser
               COMMAND ${Python_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/batch/report_in_browser.py
                       $<TARGET_FILE:qev-batch> ${PROJECT_SOURCE_DIR}/examples/batch/national.toml
                       ${CMAKE_BINARY_DIR}/batch-report)
      set_tests_properties(batch_report_in_browser PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77
                           ENVIRONMENT "MPLBACKEND=Agg")
    endif()
  endif()
  if(TARGET qev_bench)
    target_link_libraries(qev_bench PRIVATE qev_batch)
    target_compile_definitions(qev_bench PRIVATE
      QEV_BENCH_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples")
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qev_batch_tool)

if(TARGET qev_tests)
  target_link_libraries(qev_tests PRIVATE qev_batch)
  target_compile_definitions(qev_tests PRIVATE
    QEV_BATCH_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/batch/data")
endif()
