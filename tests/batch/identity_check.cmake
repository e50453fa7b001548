# The same job on one thread, on two threads and, when MPIRUN is given, on two
# and three MPI ranks: every output file must be the same bytes, and the exit
# status the same. The ranks take the tasks in chunks on demand (of 2 tasks
# and 1 for the 64 tasks of the small job, 37 and 25 for the 1,212 of the
# example job), so the chunks of one rank and another interleave in the
# rows.
file(REMOVE_RECURSE ${WORK})
set(runs one two)
set(one_command ${BATCH} --quiet --jobs 1 --output ${WORK}/one ${JOB})
set(two_command ${BATCH} --quiet --jobs 2 --output ${WORK}/two ${JOB})
if(MPIRUN)
  list(APPEND runs mpi)
  list(APPEND runs mpi3)
  set(mpi_command ${MPIRUN} --allow-run-as-root --oversubscribe -np 2 ${BATCH} --jobs 1
                  --output ${WORK}/mpi ${JOB})
  set(mpi3_command ${MPIRUN} --allow-run-as-root --oversubscribe -np 3 ${BATCH} --jobs 1
                   --output ${WORK}/mpi3 ${JOB})
endif()
# Open MPI keeps some memory to the end: no leak report for the ranks of a
# sanitizer build (the single-process runs are checked for leaks).
set(mpi_environment ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0)
set(mpi3_environment ${mpi_environment})
foreach(run ${runs})
  execute_process(COMMAND ${${run}_environment} ${${run}_command} RESULT_VARIABLE status
                  ERROR_VARIABLE errors)
  if(NOT status MATCHES "^[02]$")
    message(FATAL_ERROR "${${run}_command}\nended with ${status}:\n${errors}")
  endif()
  if(DEFINED first_status AND NOT status STREQUAL first_status)
    message(FATAL_ERROR "${run}: exit status ${status}, the first run ${first_status}")
  endif()
  set(first_status ${status})
endforeach()
file(GLOB_RECURSE files RELATIVE ${WORK}/one ${WORK}/one/*)
list(LENGTH files count)
if(count LESS 6)
  message(FATAL_ERROR "the single-thread run wrote only: ${files}")
endif()
foreach(run ${runs})
  file(GLOB_RECURSE others RELATIVE ${WORK}/${run} ${WORK}/${run}/*)
  if(NOT others STREQUAL files)
    message(FATAL_ERROR "${run} wrote ${others}, one thread ${files}")
  endif()
  foreach(f ${files})
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/one/${f} ${WORK}/${run}/${f}
                    RESULT_VARIABLE differ)
    if(differ)
      message(FATAL_ERROR "${run}/${f} differs from the single-thread run's")
    endif()
  endforeach()
endforeach()
message(STATUS "${runs}: ${count} files identical, exit status ${first_status}")
