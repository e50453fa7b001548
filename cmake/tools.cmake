# Companion tools (qev-synth, qev-report), installation, manual pages and the
# Debian package.
include(GNUInstallDirs)
find_package(CLI11 REQUIRED)
# The command-line conventions of the companion tools are in the library.
target_link_libraries(qev_companion PUBLIC CLI11::CLI11)

# Each tool prints its manual page as --help: the page is embedded at
# configure time (and again whenever it changes).
set(QEV_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
function(qev_embed_manual page header)
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} content)
  file(WRITE ${QEV_GENERATED_DIR}/${header}.in
       "// Generated from man/${page}; edit the manual page instead.\n#pragma once\n"
       "inline constexpr const char* kManual = R\"QEVMANUAL(${content})QEVMANUAL\";\n")
  configure_file(${QEV_GENERATED_DIR}/${header}.in ${QEV_GENERATED_DIR}/${header} COPYONLY)
endfunction()

# Manual pages are installed compressed, as Debian policy asks: gzip -9n, the
# best compression and no name or time stamp, so that a page gives the same
# bytes on every build.
find_program(QEV_GZIP gzip REQUIRED)
function(qev_install_manual page)
  set(copy ${PROJECT_BINARY_DIR}/man/${page})
  add_custom_command(OUTPUT ${copy}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/man/${page} ${copy}
                     COMMAND ${QEV_GZIP} -9nf ${copy}
                     DEPENDS ${PROJECT_SOURCE_DIR}/man/${page} VERBATIM)
  add_custom_target(qev_manual_${page} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
install(TARGETS qev RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
qev_install_manual(qev.1)

# A companion tool qev-<name>: its program, linked with the companion library
# (the command-line conventions and the manual-page renderer) and the
# libraries given after the source, its manual page man/qev-<name>.1 embedded
# as qev_<name>_manual.h, both installed; the tests find the program as
# QEV_<NAME>_BINARY.
function(qev_companion_tool tool source)
  string(REPLACE "-" "_" header ${tool}_manual.h)
  qev_embed_manual(${tool}.1 ${header})
  add_executable(${tool} ${source})
  target_link_libraries(${tool} PRIVATE qev_companion ${ARGN})
  target_include_directories(${tool} PRIVATE ${QEV_GENERATED_DIR})
  install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  qev_install_manual(${tool}.1)
  if(TARGET qev_tests)
    string(REPLACE "qev-" "QEV_" binary ${tool}_BINARY)
    string(TOUPPER ${binary} binary)
    target_compile_definitions(qev_tests PRIVATE ${binary}="$<TARGET_FILE:${tool}>")
    add_dependencies(qev_tests ${tool})
  endif()
endfunction()
qev_companion_tool(qev-synth tools/synth/qev_synth.cpp)
qev_companion_tool(qev-report tools/report/qev_report.cpp)
qev_companion_tool(qev-calibrate tools/calibrate/qev_calibrate.cpp)

# The user documents, and the copyright file where Debian looks for it.
install(FILES README.md docs/method.md docs/api.md docs/formats.md docs/companion.md
              docs/companion-hazard.svg docs/performance.md docs/reliability.md
              packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The examples by name: catalogs, answer and job files, zones, the consumer
# project and the README. The walk-throughs write reports, CSV tables, SVG
# figures and result folders into examples/; none of them is ever installed.
set(QEV_EXAMPLE_FILES
    README.md answers.txt answers-with-blank-name.txt
    ext_l1.dat ext_l2.dat
    cp1900_l1.dat cp1900_l2.dat cp1900_l3.dat cp1960_l1.dat cp1960_l2.dat cp1960_l3.dat
    usgs_tonga_m5_2022_2024.csv usgs_global_m5_2022_2024_extract.csv tonga.toml tonga_zone.geojson
    magnitude_relations.toml
    batch/usgs_japan_png_tonga_m5_2022_2024.csv batch/national.toml batch/japan.toml
    batch/png.toml batch/tonga.toml
    consumer/CMakeLists.txt consumer/main.cpp consumer/import.cpp)
foreach(file ${QEV_EXAMPLE_FILES})
  get_filename_component(folder ${file} DIRECTORY)
  install(FILES examples/${file} DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/${folder})
endforeach()

# The installed programs, run from a temporary prefix.
if(QEV_TESTS)
  add_test(NAME install_into_prefix
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DPREFIX=${PROJECT_BINARY_DIR}/install-check
                   -DCONSUMER_DIR=${PROJECT_SOURCE_DIR}/examples/consumer
                   -DEXAMPLES_DIR=${PROJECT_SOURCE_DIR}/examples
                   -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
                   -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
                   -P ${PROJECT_SOURCE_DIR}/tests/companion/install_check.cmake)
  set_tests_properties(install_into_prefix PROPERTIES TIMEOUT 300)
endif()

# Debian package: cpack -G DEB in the build directory. The owners of the
# project are to confirm the contact address.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QEV development team <qev-dev@qev-project.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "seismic hazard from incomplete and uncertain earthquake catalogs")
# One string of lines: a CMake list would join its items with ';' in the
# control file. CPack indents the lines after the summary as Debian asks.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "qev estimates the Gutenberg-Richter Beta, the activity rate Lambda and\n"
       "the maximum magnitude Mmax from an incomplete earthquake catalog with\n"
       "magnitude errors, and tabulates the seismic hazard. qev-prepare turns\n"
       "agency catalogs (CSV, ZMAP, QuakeML) into the parts qev reads, qev-batch\n"
       "runs logic trees and bootstrap resamples over many source zones,\n"
       "qev-synth writes synthetic catalogs with known truth, and qev-report\n"
       "turns a qev report into CSV tables and an SVG figure.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
find_program(QEV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QEV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)

# The benchmark of the calibration study and the bootstrap intervals.
if(TARGET qev_bench)
  target_link_libraries(qev_bench PRIVATE qev_companion)
endif()
