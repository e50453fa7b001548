# libFuzzer harnesses (fuzz/fuzz_*.cpp), built only with clang and -DQEV_FUZZ=ON.
# The library is then instrumented for the fuzzer and built with
# AddressSanitizer and UndefinedBehaviorSanitizer, so that every harness runs
# the program's own code under both. scripts/fuzz.sh builds and runs them.
option(QEV_FUZZ "Build the libFuzzer harnesses (clang only)" OFF)

if(QEV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(WARNING "QEV_FUZZ needs clang; the fuzz harnesses are not built")
  else()
    set(QEV_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)
    foreach(library qev_textio qev_catalog qev_settings qev_engine qev_classic)
      target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link ${QEV_FUZZ_SANITIZERS}
                             -fno-omit-frame-pointer)
      target_link_options(${library} INTERFACE -fsanitize=address,undefined)
    endforeach()

    if(TARGET qev_events)
      target_compile_options(qev_events PRIVATE -fsanitize=fuzzer-no-link ${QEV_FUZZ_SANITIZERS}
                             -fno-omit-frame-pointer)
    endif()
    if(TARGET qev_batch)
      target_compile_options(qev_batch PRIVATE -fsanitize=fuzzer-no-link ${QEV_FUZZ_SANITIZERS}
                             -fno-omit-frame-pointer)
    endif()

    file(GLOB QEV_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/fuzz/fuzz_*.cpp)
    foreach(source ${QEV_FUZZ_SOURCES})
      get_filename_component(name ${source} NAME_WE)
      add_executable(${name} ${source})
      target_link_libraries(${name} PRIVATE qev_classic)
      if(name MATCHES "^fuzz_events_")
        target_link_libraries(${name} PRIVATE qev_events)
      elseif(name MATCHES "^fuzz_batch_")
        target_link_libraries(${name} PRIVATE qev_batch)
      endif()
      target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${QEV_FUZZ_SANITIZERS}
                             -fno-omit-frame-pointer)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer ${QEV_FUZZ_SANITIZERS})
      list(APPEND QEV_FUZZ_TARGETS ${name})
    endforeach()
    add_custom_target(fuzzers DEPENDS ${QEV_FUZZ_TARGETS})
  endif()
endif()
