# SPDX-License-Identifier: MIT
# The Windows build, cross-compiled with tools/windows/ (./test --windows):
# kestrone-scan.exe with every format (FFmpeg's DLLs beside it, loaded when a
# file needs them), pictures, the cache, its tests under wine, and the zip.
# Programs, tests and FFmpeg's DLLs in one folder, where Windows looks for DLLs first.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_subdirectory(picture)
add_subdirectory(scan)

# FFmpeg's DLLs and the licence notices beside the program, in the build tree
# (so that the tests run it as a user would) and in the zip.
set(KESTRONE_WINDOWS_DLLS "")
if(KESTRONE_WITH_FFMPEG)
  foreach(dir IN LISTS FFMPEG_LIBRARY_DIRS)
    file(GLOB dlls ${dir}/../bin/*.dll)
    list(APPEND KESTRONE_WINDOWS_DLLS ${dlls})
  endforeach()
  list(REMOVE_DUPLICATES KESTRONE_WINDOWS_DLLS)
  if(NOT KESTRONE_WINDOWS_DLLS)
    message(FATAL_ERROR "FFmpeg's DLLs were not found beside ${FFMPEG_LIBRARY_DIRS}")
  endif()
  file(COPY ${KESTRONE_WINDOWS_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endif()

# The release zip: kestrone-scan.exe, the DLLs, the record schema and the
# notices of what is linked into them.
set(KESTRONE_ZIP ${CMAKE_BINARY_DIR}/kestrone-scan-${PROJECT_VERSION}-windows-x86_64.zip)
add_custom_command(OUTPUT ${KESTRONE_ZIP}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/windows/make-zip.sh ${KESTRONE_ZIP} $<TARGET_FILE:kestrone-scan>
          "${CMAKE_PREFIX_PATH}" ${KESTRONE_WINDOWS_DLLS}
  DEPENDS kestrone-scan ${CMAKE_SOURCE_DIR}/tools/windows/make-zip.sh
  VERBATIM)
add_custom_target(kestrone-scan-zip ALL DEPENDS ${KESTRONE_ZIP})

if(KESTRONE_BUILD_TESTS)
  enable_testing()
  include(KestroneWindowsTests)
endif()
