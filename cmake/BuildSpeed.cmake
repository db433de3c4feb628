# What makes a cold Windows build affordable on a 2-core machine: with the
# Windows headers and the test framework parsed for every translation unit,
# most of a compile was parsing. Each Windows preset compiles two precompiled
# headers once, one for product code and one for tests, and every target of
# ours reuses one of them. Libraries and test programs are also built as
# unity batches, so a batch of files pays for its headers and inline code
# once.
#
# A program may replace a library's default definition with its own (a test
# driver's object factory, say), or link only some of its members, which
# works only while each sits in an archive member of its own: such a library
# sets its VELTRANO_UNITY property OFF, and a source that merely shares a
# file-local name with another is marked SKIP_UNITY_BUILD_INCLUSION. Sources that several targets
# compile stay out of the batches too: they are compiled apart anyway, and
# GCC 12 reports false overflow warnings in libstdc++ when they are inlined
# into their callers.
#
# Test code is compiled at a lower optimisation level than the product: the
# product libraries the tests link keep the build type's level, so the tests
# check the code that ships, while the test sources themselves (assertion
# macros, fixtures, the framework) compile in well under two thirds of the
# time and run no slower that anyone would notice.
#
# Call veltrano_speed_up_build() once, after every target is defined.

set(VELTRANO_UNITY_BATCH 8 CACHE STRING "Sources per unity batch in the Windows presets (0: no unity build)")
set(VELTRANO_TEST_OPTIMIZE -O1 CACHE STRING "Optimisation of test sources and the test framework in the Windows presets (empty: the build type's)")

if(VELTRANO_WINDOWS)
  # The header is compiled with the flags every target of ours uses (the
  # warnings, the language level, the build type's optimisation), which the
  # compiler checks when a target reuses it.
  foreach(kind product test)
    add_library(veltrano_pch_${kind} OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch/pch.cpp)
    target_precompile_headers(veltrano_pch_${kind} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/pch/${kind}.h)
    target_link_libraries(veltrano_pch_${kind} PRIVATE veltrano_warnings)
  endforeach()
  add_library(veltrano_pch_test_warnings INTERFACE)
  target_compile_options(veltrano_pch_test_warnings INTERFACE -Wno-stringop-overflow -Wno-stringop-overread -Wno-array-bounds)
  if(TARGET GTest::gmock)
    target_link_libraries(veltrano_pch_test PRIVATE GTest::gmock)
  endif()
  # The header of the tests is compiled at the tests' level, which the
  # compiler checks when a test target reuses it.
  target_compile_options(veltrano_pch_test PRIVATE ${VELTRANO_TEST_OPTIMIZE})
  foreach(framework gtest gtest_main gmock gmock_main)
    if(TARGET ${framework})
      target_compile_options(${framework} PRIVATE ${VELTRANO_TEST_OPTIMIZE})
    endif()
  endforeach()
endif()

function(_veltrano_targets_below out dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _veltrano_targets_below(more ${sub})
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(_veltrano_unity t dir sources shared)
  set_target_properties(${t} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${VELTRANO_UNITY_BATCH})
  foreach(s IN LISTS sources)
    cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${dir} NORMALIZE)
    if(s IN_LIST shared)
      set_source_files_properties(${s} TARGET_DIRECTORY ${t} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endif()
  endforeach()
endfunction()

function(veltrano_speed_up_build)
  if(NOT VELTRANO_WINDOWS)
    return()
  endif()
  _veltrano_targets_below(targets ${PROJECT_SOURCE_DIR})
  # Sources that more than one target compiles, by absolute path.
  set(seen "")
  set(shared "")
  foreach(t IN LISTS targets)
    get_target_property(dir ${t} SOURCE_DIR)
    get_target_property(sources ${t} SOURCES)
    foreach(s IN LISTS sources)
      cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${dir} NORMALIZE)
      if(s IN_LIST seen)
        list(APPEND shared ${s})
      else()
        list(APPEND seen ${s})
      endif()
    endforeach()
  endforeach()
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    get_target_property(dir ${t} SOURCE_DIR)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$"
       OR t MATCHES "^veltrano_pch_" OR NOT dir MATCHES "^${PROJECT_SOURCE_DIR}/")
      continue()
    endif()
    get_target_property(sources ${t} SOURCES)
    if(NOT sources MATCHES "\\.(cpp|cc)(;|$)")
      continue()
    endif()
    get_target_property(links ${t} LINK_LIBRARIES)
    if(NOT links MATCHES "GTest::")
      target_precompile_headers(${t} REUSE_FROM veltrano_pch_product)
      get_target_property(unity ${t} VELTRANO_UNITY)
      if(type MATCHES "^(STATIC|OBJECT)_LIBRARY$" AND NOT unity STREQUAL "OFF" AND VELTRANO_UNITY_BATCH GREATER 0)
        _veltrano_unity(${t} "${dir}" "${sources}" "${shared}")
      endif()
      continue()
    endif()
    target_precompile_headers(${t} REUSE_FROM veltrano_pch_test)
    target_compile_options(${t} PRIVATE ${VELTRANO_TEST_OPTIMIZE})
    # With the framework precompiled, GCC 12 inlines libstdc++'s string and
    # vector copies differently and reports overflows in them that cannot
    # happen (its known false positives, like the -Wrestrict ones the
    # warnings target already turns off). Test programs only: product code
    # keeps both warnings, and the sanitized host build checks at run time.
    # (Linked after the warnings target, so these come after its -Wall.)
    target_link_libraries(${t} PRIVATE veltrano_pch_test_warnings)
    if(type STREQUAL "EXECUTABLE" AND VELTRANO_UNITY_BATCH GREATER 0)
      _veltrano_unity(${t} "${dir}" "${sources}" "${shared}")
    endif()
  endforeach()
endfunction()
