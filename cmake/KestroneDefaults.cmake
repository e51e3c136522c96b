# SPDX-License-Identifier: MIT
# The Windows build links static archives only: pkg-config's -lz would
# otherwise find zlib's import library, and kestrone-scan.exe would need
# zlib1.dll beside it. (Set here, after the platform's own defaults.)
if(WIN32)
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()

# Compile settings shared by every Kestrone target. The checks compare measured
# values against hard thresholds, so floating point must not be contracted or
# reassociated: -ffp-contract=off everywhere, never -ffast-math.
function(kestrone_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -ffp-contract=off -fno-fast-math)
  if(KESTRONE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
    # GCC 12 reports impossible overlaps inside "literal" + std::string at -O3
    # (GCC bug 105651); it stays a warning there and an error everywhere else.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-error=restrict)
      # With the sanitizers GCC 12 also sees uninitialised members inside
      # std::regex and std::function that the code never reads.
      if(KESTRONE_SANITIZE)
        target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized)
      endif()
    endif()
  endif()
  if(KESTRONE_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(KESTRONE_FUZZ)
    # Coverage for libFuzzer in every object; the fuzz targets alone link its main.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
      -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
