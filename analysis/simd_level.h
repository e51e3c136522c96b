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
};
// An AVX-512 set (four complex values per register) measured within 3 % of
// AVX2 on the 2048- and 4096-point transforms and was dropped: the transforms
// are bound by memory traffic and shuffles, not by register width.

// "portable", "sse2", "avx2": for benchmark and test names.
[[nodiscard]] const char* simdLevelName(SimdLevel level);

// The fastest level this CPU runs.
[[nodiscard]] SimdLevel bestSimdLevel();

// Whether this build and CPU can run level.
[[nodiscard]] bool simdLevelSupported(SimdLevel level);

} // namespace orvel
