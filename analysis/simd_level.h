// SPDX-License-Identifier: MIT
#pragma once

namespace orvel {

// Instruction sets the transform kernels are written for. Every level does the
// same floating-point operations in the same order per output value, so all of
// them give the same bits; they differ only in how many values share a register.
enum class SimdLevel {
    Portable, // plain C++, one value at a time
    Sse2,     // x86-64 baseline: one complex value per register
    Avx2,     // two complex values per register, chosen at run time when the CPU has it
    Avx512,   // four complex values per register, chosen where it runs faster (below)
};

// "portable", "sse2", "avx2", "avx512": for benchmark and test names.
[[nodiscard]] const char* simdLevelName(SimdLevel level);

// The fastest level this CPU runs. AVX-512 is taken only where it times at
// least 10 % faster than AVX2 on this CPU (some CPUs run 512-bit operations
// as two halves or at a lower clock); every level gives the same bits, so the
// choice changes only the speed.
[[nodiscard]] SimdLevel bestSimdLevel();

// Whether this build and CPU can run level.
[[nodiscard]] bool simdLevelSupported(SimdLevel level);

} // namespace orvel
