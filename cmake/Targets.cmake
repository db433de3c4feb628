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

# A list of GoogleTest suites (the format of scripts/win32-left-to-win64:
# names separated by '|', '#' comments) whose tests another build's run
# covers. A test program all of whose suites are on it is still defined, so
# every reference to it holds, but neither built by default nor registered:
# the emulated 32-bit run uses this to skip compiling programs it would not
# run. Empty: every program is built and registered.
set(VELTRANO_SUITES_RUN_ELSEWHERE "" CACHE FILEPATH "File listing the test suites another build's run covers")
set(_veltrano_suites_elsewhere "")
if(VELTRANO_SUITES_RUN_ELSEWHERE)
  file(STRINGS ${VELTRANO_SUITES_RUN_ELSEWHERE} _lines REGEX "^[^#]")
  foreach(_line IN LISTS _lines)
    string(REPLACE "|" ";" _line "${_line}")
    list(APPEND _veltrano_suites_elsewhere ${_line})
  endforeach()
endif()

# Sets `out` to TRUE when every test suite defined in `sources` (relative to
# the current source directory) is run elsewhere; FALSE when one is not, or
# when none is found (a program whose tests cannot be seen is kept).
function(_veltrano_suites_all_elsewhere out)
  set(found FALSE)
  foreach(src IN LISTS ARGN)
    cmake_path(ABSOLUTE_PATH src BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
    if(NOT src MATCHES "\\.(cpp|cc)$" OR NOT EXISTS ${src})
      continue()
    endif()
    file(STRINGS ${src} lines REGEX "^(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\\(")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[A-Z_]+\\( *([A-Za-z0-9_]+).*" "\\1" suite "${line}")
      set(found TRUE)
      if(NOT suite IN_LIST _veltrano_suites_elsewhere)
        set(${out} FALSE PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
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
  if(_veltrano_suites_elsewhere)
    _veltrano_suites_all_elsewhere(elsewhere ${A_SOURCES})
    if(elsewhere)
      set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
      return()
    endif()
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
