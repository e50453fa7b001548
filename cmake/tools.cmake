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
qev_embed_manual(qev-synth.1 qev_synth_manual.h)
qev_embed_manual(qev-report.1 qev_report_manual.h)

add_executable(qev-synth tools/synth/qev_synth.cpp)
add_executable(qev-report tools/report/qev_report.cpp)
foreach(tool qev-synth qev-report)
  target_link_libraries(${tool} PRIVATE qev_companion)
  target_include_directories(${tool} PRIVATE ${QEV_GENERATED_DIR})
  target_compile_definitions(${tool} PRIVATE QEV_VERSION="${PROJECT_VERSION}")
endforeach()

if(TARGET qev_tests)
  target_compile_definitions(qev_tests PRIVATE
    QEV_SYNTH_BINARY="$<TARGET_FILE:qev-synth>"
    QEV_REPORT_BINARY="$<TARGET_FILE:qev-report>")
  add_dependencies(qev_tests qev-synth qev-report)
endif()

install(TARGETS qev qev-synth qev-report RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/qev.1 man/qev-synth.1 man/qev-report.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/companion.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/examples)
  install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()

# The installed programs, run from a temporary prefix.
if(QEV_TESTS)
  add_test(NAME install_into_prefix
           COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DPREFIX=${PROJECT_BINARY_DIR}/install-check
                   -DCONSUMER_DIR=${PROJECT_SOURCE_DIR}/examples/consumer
                   -DEXAMPLES_DIR=${PROJECT_SOURCE_DIR}/examples
                   -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
                   -P ${PROJECT_SOURCE_DIR}/tests/companion/install_check.cmake)
  set_tests_properties(install_into_prefix PROPERTIES TIMEOUT 300)
endif()

# Debian package: cpack -G DEB in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "QEV maintainers <qev@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "seismic hazard from incomplete and uncertain earthquake catalogs")
set(CPACK_PACKAGE_DESCRIPTION
    "qev estimates the Gutenberg-Richter Beta, the activity rate Lambda and the maximum\n"
    "magnitude Mmax from an incomplete earthquake catalog with magnitude errors and\n"
    "tabulates seismic hazard. qev-synth writes synthetic catalogs with known truth;\n"
    "qev-report turns a qev report into CSV tables and an SVG figure.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(QEV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QEV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1")
endif()
include(CPack)
