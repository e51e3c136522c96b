# SPDX-License-Identifier: MIT
# The Windows build, cross-compiled with tools/windows/ (./test --windows): the
# libraries that compile there already and their tests, run under wine.
# Decoding, reports, the batch layer and the programs need the platform layer
# for files, consoles and signals first.
add_subdirectory(text)
add_subdirectory(analysis)

# Static, so that only what a program uses is linked: analyze_file.cpp calls
# the decoders, which this build does not have yet.
add_library(kestrone_core STATIC)
target_link_libraries(kestrone_core PUBLIC kestrone_text kestrone_analysis)
kestrone_defaults(kestrone_core)

if(NOT KESTRONE_BUILD_TESTS)
  return()
endif()
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# The tests that need neither decoding, nor test audio, nor the process and
# folder helpers of tests/support.
function(kestrone_windows_suite name)
  list(TRANSFORM ARGN PREPEND ${CMAKE_SOURCE_DIR}/tests/)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kestrone_core GTest::gtest GTest::gmock GTest::gtest_main)
  kestrone_defaults(${name})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "WINEDEBUG=-all"
    DISCOVERY_TIMEOUT 120)
endfunction()

kestrone_windows_suite(text_tests text/format_number_test.cpp text/utf8_test.cpp)
kestrone_windows_suite(analysis_tests
  analysis/analysis_signals.cpp analysis/aac_sin_test.cpp analysis/alignment_search_test.cpp
  analysis/averaged_spectrum_test.cpp analysis/bandwidth_boundary_test.cpp analysis/fft_test.cpp
  analysis/math_self_test_test.cpp analysis/origin_rules_test.cpp analysis/origin_vectors_test.cpp
  analysis/sample_precision_test.cpp analysis/sine_mdct_test.cpp analysis/spectrogram_test.cpp
  analysis/spectrum_db_test.cpp)
