// SPDX-License-Identifier: MIT
#pragma once

// A hot function compiled once more for AVX2 (no FMA: the same operations per
// lane, so the same bits), the copy chosen once when the program loads. That
// choice needs the ELF loader's indirect functions; on Windows the baseline
// copy alone is built (the transforms still pick their AVX2 kernels at run
// time through fftKernels).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__)
#define KESTRONE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KESTRONE_AVX2_CLONES
#endif
