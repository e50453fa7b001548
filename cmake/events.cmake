# Real catalogs in (qev_events): the event table and its readers (CSV, ZMAP,
# QuakeML), selection, declustering and the split into the catalog parts,
# the classic files, and the qev-prepare tool.
find_package(pugixml REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(tomlplusplus REQUIRED)
find_package(CLI11 REQUIRED)

if(COMMAND qev_library)
  # One library per folder, on the catalog value types.
  qev_library(qev_events events DEPENDS qev_catalog)
else()
  file(GLOB QEV_EVENTS_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/events/*.cpp)
  add_library(qev_events STATIC ${QEV_EVENTS_SOURCES})
  target_include_directories(qev_events PUBLIC ${PROJECT_SOURCE_DIR}/include
                             PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(qev_events PUBLIC qevlib)
endif()
target_link_libraries(qev_events PRIVATE pugixml::pugixml nlohmann_json::nlohmann_json
                      tomlplusplus::tomlplusplus)

# The tool embeds its manual page through tools.cmake's function, which is
# defined once every cmake/*.cmake file has been read.
function(qev_events_tool)
  qev_embed_manual(qev-prepare.1 qev_prepare_manual.h)
  add_executable(qev-prepare tools/prepare/qev_prepare.cpp)
  # The manual-page renderer of the companion tools.
  if(TARGET qev_companion)
    target_link_libraries(qev-prepare PRIVATE qev_events qev_companion CLI11::CLI11)
  else()
    target_link_libraries(qev-prepare PRIVATE qev_events qevlib CLI11::CLI11)
  endif()
  target_include_directories(qev-prepare PRIVATE ${QEV_GENERATED_DIR} ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(qev-prepare PRIVATE QEV_VERSION="${PROJECT_VERSION}")
  # --analyze runs the engine's Analyze on the parts.
  if(TARGET qev_engine)
    target_compile_definitions(qev-prepare PRIVATE QEV_WITH_ANALYZE)
  endif()
  install(TARGETS qev-prepare RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  qev_install_manual(qev-prepare.1)
  install(FILES docs/catalogs.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  if(TARGET qev_tests)
    target_compile_definitions(qev_tests PRIVATE QEV_PREPARE_BINARY="$<TARGET_FILE:qev-prepare>")
    if(TARGET qev_engine)
      target_compile_definitions(qev_tests PRIVATE QEV_PREPARE_ANALYZES)
    endif()
    add_dependencies(qev_tests qev-prepare)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qev_events_tool)

if(TARGET qev_tests)
  target_link_libraries(qev_tests PRIVATE qev_events)
  target_compile_definitions(qev_tests PRIVATE
    QEV_SHARED_CATALOGS_DIR="${PROJECT_SOURCE_DIR}/../shared/catalogs")
endif()

# The catalog-import benchmarks live in the one benchmark program.
if(TARGET qev_bench)
  target_link_libraries(qev_bench PRIVATE qev_events)
endif()
