# Real catalogs in (qev_events): the event table and its readers (CSV, ZMAP,
# QuakeML), selection, declustering and the split into the catalog parts,
# the classic files, and the qev-prepare tool.
find_package(pugixml REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(tomlplusplus REQUIRED)
find_package(CLI11 REQUIRED)

# One library per folder, on the engine (the checks and Mmin of the prepared parts).
qev_library(qev_events events DEPENDS qev_engine)
target_link_libraries(qev_events PRIVATE pugixml::pugixml nlohmann_json::nlohmann_json
                      tomlplusplus::tomlplusplus)
set_target_properties(qev_events PROPERTIES EXPORT_NAME events)
add_library(QEV::events ALIAS qev_events)
install(TARGETS qev_events EXPORT QEVImportTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

# The tool is made by tools.cmake's function, which is defined once every
# cmake/*.cmake file has been read.
function(qev_events_tool)
  qev_companion_tool(qev-prepare tools/prepare/qev_prepare.cpp qev_events)
  # --analyze runs the engine's Analyze on the parts.
  target_compile_definitions(qev-prepare PRIVATE QEV_WITH_ANALYZE)
  install(FILES docs/catalogs.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qev_events_tool)

if(TARGET qev_tests)
  # toml++: the settings tests read values as the job readers do.
  target_link_libraries(qev_tests PRIVATE qev_events tomlplusplus::tomlplusplus)
  target_compile_definitions(qev_tests PRIVATE
    QEV_SETTINGS_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/settings/data")
  # qev-prepare --analyze is built (QEV_WITH_ANALYZE) and tested.
  target_compile_definitions(qev_tests PRIVATE QEV_PREPARE_ANALYZES)
endif()

# The catalog-import benchmarks live in the one benchmark program.
if(TARGET qev_bench)
  target_link_libraries(qev_bench PRIVATE qev_events)
endif()
