// SPDX-License-Identifier: MIT
#include "analysis/simd_level.h"

#include "analysis/fft_kernels.h"

namespace orvel {

bool simdLevelSupported(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Portable:
        return true;
#if defined(__x86_64__)
    case SimdLevel::Sse2:
        return true;
    case SimdLevel::Avx2:
        return __builtin_cpu_supports("avx2");
    case SimdLevel::Avx512:
        return __builtin_cpu_supports("avx512f");
#else
    case SimdLevel::Sse2:
    case SimdLevel::Avx2:
    case SimdLevel::Avx512:
        return false;
#endif
    }
    return false;
}

const char* simdLevelName(SimdLevel level)
{
    switch (level) {
    case SimdLevel::Portable: return "portable";
    case SimdLevel::Sse2: return "sse2";
    case SimdLevel::Avx2: return "avx2";
    case SimdLevel::Avx512: return "avx512";
    }
    return "?";
}

SimdLevel bestSimdLevel()
{
    static const SimdLevel best = simdLevelSupported(SimdLevel::Avx512) && avx512EarnsItsPlace() ? SimdLevel::Avx512
                                  : simdLevelSupported(SimdLevel::Avx2)                        ? SimdLevel::Avx2
                                  : simdLevelSupported(SimdLevel::Sse2)                        ? SimdLevel::Sse2
                                                                                               : SimdLevel::Portable;
    return best;
}

} // namespace orvel
