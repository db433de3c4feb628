# Helpers that keep every component's CMakeLists short and alike.
#
# veltrano_pure_library(NAME SOURCES ... [LINKS ...])
#   Code that makes no platform calls. On Windows: one static library. In the
#   host build: NAME (sanitized, used by the tests), NAME_bench (optimised,
#   uninstrumented, used by benchmarks) and NAME_fuzz (libFuzzer-instrumented).
#   LINKS naming other pure libraries resolve to the same variant.
#
# veltrano_library(NAME SOURCES ... [LINKS ...])
#   A Windows-only static library (platform code).
#
# veltrano_test(NAME SOURCES ... [LINKS ...] [LABELS ...])
#   A GoogleTest program; under win64 it runs in Wine via the emulator.
#
# veltrano_benchmark / veltrano_fuzzer: host build only.

set(VELTRANO_FUZZ_RUNS 200000 CACHE STRING "Iterations of each fuzzer in the test run")

add_library(veltrano_sanitize INTERFACE)
add_library(veltrano_fuzz_flags INTERFACE)
if(VELTRANO_HOST)
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(veltrano_sanitize INTERFACE ${_san})
  target_link_options(veltrano_sanitize INTERFACE ${_san})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(veltrano_fuzz_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(veltrano_fuzz_flags INTERFACE -fsanitize=address,undefined)
  endif()
endif()

function(_veltrano_variant_links out variant)
  set(result "")
  foreach(l IN LISTS ARGN)
    if(variant AND TARGET ${l}_${variant})
      list(APPEND result ${l}_${variant})
    else()
      list(APPEND result ${l})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(veltrano_pure_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${A_LINKS} PRIVATE veltrano_warnings)
  if(VELTRANO_HOST)
    target_link_libraries(${name} PUBLIC veltrano_sanitize)
    foreach(variant bench fuzz)
      add_library(${name}_${variant} STATIC EXCLUDE_FROM_ALL ${A_SOURCES})
      target_include_directories(${name}_${variant} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
      _veltrano_variant_links(links ${variant} ${A_LINKS})
      target_link_libraries(${name}_${variant} PUBLIC ${links} PRIVATE veltrano_warnings)
    endforeach()
    target_link_libraries(${name}_fuzz PUBLIC veltrano_fuzz_flags)
  endif()
endfunction()

function(veltrano_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
  target_link_libraries(${name} PUBLIC ${A_LINKS} PRIVATE veltrano_warnings)
endfunction()

function(veltrano_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS;LABELS" ${ARGN})
  if(NOT VELTRANO_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${A_LINKS} GTest::gmock_main veltrano_warnings)
  if(VELTRANO_HOST)
    target_link_libraries(${name} PRIVATE veltrano_sanitize)
  endif()
  if(VELTRANO_RUN_TESTS)
    # Discovery runs the program, so under Wine it waits until CTest time,
    # when the test script has the prefix and the server up.
    set(props TIMEOUT 300)
    if(A_LABELS)
      list(APPEND props LABELS "${A_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES ${props})
  endif()
endfunction()

function(veltrano_benchmark name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  if(NOT VELTRANO_HOST OR NOT benchmark_FOUND)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  _veltrano_variant_links(links bench ${A_LINKS})
  target_link_libraries(${name} PRIVATE ${links} benchmark::benchmark veltrano_warnings)
endfunction()

function(veltrano_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS" ${ARGN})
  if(NOT VELTRANO_HOST OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  _veltrano_variant_links(links fuzz ${A_LINKS})
  target_link_libraries(${name} PRIVATE ${links} veltrano_warnings)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  # A fixed, seeded number of runs keeps the test run short and repeatable.
  add_test(NAME ${name} COMMAND ${name} -runs=${VELTRANO_FUZZ_RUNS} -seed=1)
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endfunction()
