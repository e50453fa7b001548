# Installs the build into a fresh prefix, runs the installed programs, and
# builds and runs the consumer project against the installed engine:
#   cmake -DBUILD_DIR=<build> -DPREFIX=<prefix> -DCONSUMER_DIR=<examples/consumer>
#         -DEXAMPLES_DIR=<examples> -DSOURCE_DIR=<source> -DCXX_COMPILER=<compiler>
#         -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status})")
endif()

# Manual pages as gzip -9n writes them: no name, no time stamp, best compression.
foreach(page qev qev-synth qev-report qev-prepare qev-batch)
  set(file ${PREFIX}/share/man/man1/${page}.1.gz)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "manual page ${page}.1.gz not installed")
  endif()
  file(READ ${file} head LIMIT 9 HEX)
  if(NOT head STREQUAL "1f8b08000000000002")
    message(FATAL_ERROR "${page}.1.gz is not gzip -n output (header ${head})")
  endif()
endforeach()
set(doc ${PREFIX}/share/doc/qev)
foreach(file copyright README.md method.md api.md formats.md catalogs.md batch.md)
  if(NOT EXISTS ${doc}/${file})
    message(FATAL_ERROR "${doc}/${file} not installed")
  endif()
endforeach()

# The installed examples are exactly the ones the repository holds: never a
# report, table, figure or result folder that a walk-through wrote there.
file(GLOB_RECURSE installed RELATIVE ${doc}/examples ${doc}/examples/*)
foreach(file ${installed})
  if(file MATCHES "\\.(out|svg)$|(^|/)(hazard|results|session)[^/]*\\.csv$|^tonga/|^batch/[^/]+/")
    message(FATAL_ERROR "examples/${file} is written by a walk-through and was installed")
  endif()
endforeach()
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} ls-files examples WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE tracked RESULT_VARIABLE status)
  if(status EQUAL 0)
    string(REPLACE "examples/" "" tracked "${tracked}")
    string(REGEX REPLACE "\n$" "" tracked "${tracked}")
    string(REPLACE "\n" ";" tracked "${tracked}")
    list(SORT tracked)
    list(SORT installed)
    if(NOT installed STREQUAL tracked)
      message(FATAL_ERROR "installed examples differ from those in the repository:\n"
                          "installed: ${installed}\nrepository: ${tracked}")
    endif()
  endif()
endif()

function(run_checked)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${PREFIX}/work RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "'${ARGN}' failed (${status}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(MAKE_DIRECTORY ${PREFIX}/work)
foreach(tool qev-synth qev-report qev-prepare qev-batch)
  run_checked(${PREFIX}/bin/${tool} --version)
  if(NOT last_output MATCHES "^${tool} [0-9]+\\.[0-9]+")
    message(FATAL_ERROR "${tool} --version printed '${last_output}'")
  endif()
endforeach()

# A small catalog, a qev session on it, and the report turned into CSV and SVG.
run_checked(${PREFIX}/bin/qev-synth --b 1.0 --lambda 5 --mmin 4 --mmax 7 --seed 3
            --complete 1950:1999,threshold=4.5,sd=0.1 --script session.txt --report-name run.out)
execute_process(COMMAND ${PREFIX}/bin/qev INPUT_FILE ${PREFIX}/work/session.txt
                WORKING_DIRECTORY ${PREFIX}/work RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 0 OR NOT EXISTS ${PREFIX}/work/run.out)
  message(FATAL_ERROR "the installed qev did not complete a session (status ${status})")
endif()
run_checked(${PREFIX}/bin/qev-report --hazard-csv hazard.csv --results-csv results.csv
            --svg hazard.svg run.out)
file(READ ${PREFIX}/work/hazard.csv csv)
if(NOT csv MATCHES "^magnitude,annual_rate,")
  message(FATAL_ERROR "unexpected hazard CSV:\n${csv}")
endif()
file(READ ${PREFIX}/work/results.csv results)
if(NOT results MATCHES "^quantity,value,sd\nBeta,")
  message(FATAL_ERROR "unexpected results CSV:\n${results}")
endif()
# Without options, and from standard input: the hazard table on standard output.
execute_process(COMMAND ${PREFIX}/bin/qev-report - INPUT_FILE ${PREFIX}/work/run.out
                WORKING_DIRECTORY ${PREFIX}/work RESULT_VARIABLE status OUTPUT_VARIABLE piped)
if(NOT status EQUAL 0 OR NOT piped STREQUAL csv)
  message(FATAL_ERROR "qev-report - ended with ${status} and printed:\n${piped}")
endif()
file(READ ${PREFIX}/work/hazard.svg svg)
if(NOT svg MATCHES "<svg ")
  message(FATAL_ERROR "no SVG written")
endif()

# The installed example job: the real-catalog extract to classic files, and a
# qev session on them.
run_checked(${PREFIX}/bin/qev-prepare --config ${PREFIX}/share/doc/qev/examples/tonga.toml
            --classic ${PREFIX}/work/tonga)
execute_process(COMMAND ${PREFIX}/bin/qev INPUT_FILE ${PREFIX}/work/tonga/tonga_answers.txt
                WORKING_DIRECTORY ${PREFIX}/work/tonga RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 0 OR NOT EXISTS ${PREFIX}/work/tonga/tonga.out)
  message(FATAL_ERROR "the installed qev did not complete the session prepared from the extract")
endif()

# The installed batch example: three zones, four branches, 100 replicates.
run_checked(${PREFIX}/bin/qev-batch --quiet --output ${PREFIX}/work/national
            ${PREFIX}/share/doc/qev/examples/batch/national.toml)
file(STRINGS ${PREFIX}/work/national/results.csv rows)
list(LENGTH rows count)
if(NOT count EQUAL 1213 OR NOT EXISTS ${PREFIX}/work/national/openquake/job.ini
   OR NOT EXISTS ${PREFIX}/work/national/report.html)
  message(FATAL_ERROR "the installed batch example wrote ${count} result lines")
endif()

# The engine as a package: the consumer finds it, builds with the compile
# options the printed digits depend on, and analyses the example catalogs.
foreach(file include/qev/analysis.h include/qev/classic_files.h include/qev/events.h
        include/qev/batch.h include/qev/version.h include/qev/declustering.h
        lib/cmake/QEV/QEVConfig.cmake lib/cmake/QEV/QEVConfigVersion.cmake
        lib/cmake/QEV/QEVImportTargets.cmake)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${file} not installed")
  endif()
endforeach()
set(consumer ${PREFIX}/consumer-build)
run_checked(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${consumer} -DCMAKE_PREFIX_PATH=${PREFIX}
            -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
run_checked(${CMAKE_COMMAND} --build ${consumer})
file(READ ${consumer}/compile_commands.json commands)
if(NOT commands MATCHES "-ffp-contract=off" OR NOT commands MATCHES "-fno-fast-math")
  message(FATAL_ERROR "the consumer was compiled without the engine's options:\n${commands}")
endif()
run_checked(${consumer}/qev-consumer ${EXAMPLES_DIR})
set(number "[0-9]+\\.[0-9]+")
if(NOT last_output MATCHES "^Beta   = ${number} \\+- ${number}  \\(b = ${number}\\)\n"
   OR NOT last_output MATCHES "\nLambda = ${number} \\+- ${number}  \\(for Mmin = 3\\.40\\)\n"
   OR NOT last_output MATCHES "\nMmax   = ${number} \\+- ${number}  \\([0-9]+ runs\\)\n$")
  message(FATAL_ERROR "the consumer printed:\n${last_output}")
endif()
# The catalog import from the package: the agency CSV, the eruption skipped.
run_checked(${consumer}/qev-consumer-import ${EXAMPLES_DIR})
if(NOT last_output MATCHES "^Events = 541 read, 1 skipped, [0-9]+ in the complete part\n"
   OR NOT last_output MATCHES "\nb      = ${number} \\+- ${number}\n$")
  message(FATAL_ERROR "the import consumer printed:\n${last_output}")
endif()
message(STATUS "installed programs and engine work from ${PREFIX}")
