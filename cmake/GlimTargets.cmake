# glim_add_test(name SOURCES ... LIBS ... [QT] [TIMEOUT s]): a GoogleTest executable run by ctest.
# Widget tests (QT) run offscreen with their own config and runtime folders.
# In the fuzz build it does nothing.
function(glim_add_test name)
  cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(GLIM_FUZZ OR NOT GLIM_TESTS)
    return()
  endif()
  if(T_QT AND NOT GLIM_WITH_QT)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
  target_compile_definitions(${name} PRIVATE GLIM_TESTDATA_DIR="${GLIM_TESTDATA_DIR}"
                                             GLIM_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(_env "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
           "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  if(T_QT)
    set(_run "${CMAKE_CURRENT_BINARY_DIR}/${name}.run")
    file(MAKE_DIRECTORY "${_run}/config" "${_run}/runtime")
    list(APPEND _env "QT_QPA_PLATFORM=offscreen" "QTEST_FUNCTION_TIMEOUT=60000"
         "XDG_CONFIG_HOME=${_run}/config" "XDG_RUNTIME_DIR=${_run}/runtime")
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_env}")
endfunction()

# glim_add_fuzzer(name SOURCES ... LIBS ... [SECONDS s] [CORPUS dir]): a libFuzzer target,
# built only in the fuzz build (clang) and run by ctest for the given time.
function(glim_add_fuzzer name)
  cmake_parse_arguments(F "" "SECONDS" "SOURCES;LIBS;CORPUS" ${ARGN})
  if(NOT GLIM_FUZZ)
    return()
  endif()
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  if(NOT F_SECONDS)
    set(F_SECONDS 30)
  endif()
  set(_work "${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus")
  file(MAKE_DIRECTORY "${_work}")
  math(EXPR _timeout "${F_SECONDS} + 120")
  add_test(NAME ${name}
           COMMAND ${name} -max_total_time=${F_SECONDS} -timeout=10 -rss_limit_mb=2048
                   -print_final_stats=1 "${_work}" ${F_CORPUS})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${_timeout}
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endfunction()
