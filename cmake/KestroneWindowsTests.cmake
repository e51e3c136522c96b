# SPDX-License-Identifier: MIT
# The tests of the Windows build, run under wine (the toolchain's emulator).
# The test audio and the Linux kestrone-scan they are compared with come from
# the Linux build in KESTRONE_HOST_BUILD (./test --windows builds what it needs
# there); a Windows program reaches Linux paths through wine's Z: drive.
find_package(GTest REQUIRED)
include(GoogleTest)

set(KESTRONE_HOST_BUILD ${CMAKE_SOURCE_DIR}/build CACHE PATH "The Linux build with kestrone-testgen and kestrone-scan")
set(KESTRONE_TEST_AUDIO_DIR ${KESTRONE_HOST_BUILD}/test-audio)
add_test(NAME make_test_audio
  COMMAND ${CMAKE_SOURCE_DIR}/tools/make-test-audio.sh ${KESTRONE_TEST_AUDIO_DIR}
          ${KESTRONE_HOST_BUILD}/tools/kestrone-testgen)
set_tests_properties(make_test_audio PROPERTIES FIXTURES_SETUP test_audio TIMEOUT 900)

set(support ${CMAKE_SOURCE_DIR}/tests/support)
add_library(kestrone_test_support OBJECT
  ${support}/files.cpp ${support}/json.cpp ${support}/png.cpp ${support}/reports.cpp ${support}/programs.cpp ${support}/windows/process.cpp)
target_link_libraries(kestrone_test_support PUBLIC GTest::gtest)
target_include_directories(kestrone_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(kestrone_test_support PUBLIC
  KESTRONE_TEST_AUDIO_DIR="Z:${KESTRONE_TEST_AUDIO_DIR}"
  KESTRONE_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}"
  KESTRONE_BINARY_DIR="Z:${CMAKE_BINARY_DIR}"
  KESTRONE_EXECUTABLE=""
  KESTRONE_SCAN_EXECUTABLE="Z:$<TARGET_FILE:kestrone-scan>")
if(KESTRONE_WITH_FFMPEG)
  target_compile_definitions(kestrone_test_support PUBLIC KESTRONE_HAVE_FFMPEG=1)
endif()
kestrone_defaults(kestrone_test_support)
add_dependencies(kestrone_test_support kestrone-scan)

# One executable per folder, from the tests that need neither a terminal, nor
# signals, nor Linux's permissions and special files.
# EXCLUDE names the tests that are about Linux alone: names as bytes that are
# not UTF-8, paths spelt with '/' from the root, '"' in a file name, and
# folders holding symbolic links, which wine shows as the files they name.
function(kestrone_windows_suite name)
  cmake_parse_arguments(SUITE "" "" "SOURCES;LIBRARIES;EXCLUDE" ${ARGN})
  set(filter "")
  if(SUITE_EXCLUDE)
    list(JOIN SUITE_EXCLUDE ":" excluded)
    set(filter TEST_FILTER "-${excluded}")
  endif()
  list(TRANSFORM SUITE_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/tests/)
  add_executable(${name} ${SUITE_SOURCES})
  target_link_libraries(${name} PRIVATE ${SUITE_LIBRARIES} kestrone_core kestrone_test_support
    GTest::gtest GTest::gmock GTest::gtest_main)
  kestrone_defaults(${name})
  gtest_discover_tests(${name} ${filter}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES FIXTURES_REQUIRED test_audio ENVIRONMENT "WINEDEBUG=-all"
    DISCOVERY_TIMEOUT 120)
endfunction()

file(GLOB text_tests RELATIVE ${CMAKE_SOURCE_DIR}/tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/text/*_test.cpp)
kestrone_windows_suite(text_tests SOURCES ${text_tests})
file(GLOB analysis_tests RELATIVE ${CMAKE_SOURCE_DIR}/tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/analysis/*.cpp)
kestrone_windows_suite(analysis_tests SOURCES ${analysis_tests})
kestrone_windows_suite(decode_tests SOURCES
  decode/allocation_probe.cpp decode/decode_facts_test.cpp decode/decode_values_test.cpp
  decode/ffmpeg_library_test.cpp decode/format_decode_test.cpp decode/prepare_channels_test.cpp)
kestrone_windows_suite(report_tests SOURCES
  report/html_report_test.cpp report/json_report_test.cpp report/picture_names_test.cpp
  report/report_name_test.cpp report/summary_text_test.cpp
  EXCLUDE ReportNameTest.ValidNamesStayAsTheyAre ReportNameTest.ControlCharactersAndForeignBytesAreShownByTheirBytes
    PictureNamesTest.NamesFitAFileNameAndKeepTheBytes *.TextReportWritesNamesAsUtf8/*
    *.TextBeyondAsciiStaysRawUtf8/* *HtmlReportNameTest.*/4)
kestrone_windows_suite(batch_tests SOURCES
  batch/batch_runner_test.cpp batch/input_walker_test.cpp batch/report_file_test.cpp
  EXCLUDE InputWalkerTest.RelativeNamesStayRelativeForDisplayAndBecomeAbsoluteForTheRecord)
kestrone_windows_suite(picture_tests SOURCES
  picture/batch_pictures_test.cpp picture/spectrogram_picture_test.cpp
  LIBRARIES kestrone_picture PkgConfig::CAIRO
  EXCLUDE BatchPicturesTest.OnePngPerAnalysedFileTheSameForOneAndTwoJobs)
kestrone_windows_suite(scan_tests SOURCES
  scan/scan_options_test.cpp scan/jsonl_record_test.cpp scan/csv_report_test.cpp
  LIBRARIES kestrone_scan
  EXCLUDE CsvReportTest.ScanWritesTheRowOfARealFileWhoseNameNeedsQuoting
    JsonlRecordTest.ARecordReadBackRebuildsTheSameReportsAndNumbers)

# kestrone-scan.exe against the Linux kestrone-scan on the same files: the CSV
# and JSON Lines records must agree to the printed precision.
add_test(NAME windows_scan_matches_linux
  COMMAND ${CMAKE_SOURCE_DIR}/tools/windows/compare-with-linux.py
          ${KESTRONE_HOST_BUILD}/scan/kestrone-scan $<TARGET_FILE:kestrone-scan> ${KESTRONE_TEST_AUDIO_DIR})
set_tests_properties(windows_scan_matches_linux PROPERTIES FIXTURES_REQUIRED test_audio TIMEOUT 900)
