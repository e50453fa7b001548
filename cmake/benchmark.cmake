# Benchmark of the estimation engine (qev_bench), built only where Google
# Benchmark is installed; elsewhere it is skipped without a word.
find_package(benchmark QUIET)
if(benchmark_FOUND)
  file(GLOB QEV_BENCH_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/bench/*.cpp)
  if(QEV_BENCH_SOURCES)
    add_executable(qev_bench ${QEV_BENCH_SOURCES})
    target_link_libraries(qev_bench PRIVATE qev_engine benchmark::benchmark)
  endif()
endif()
