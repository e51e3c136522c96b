// SPDX-License-Identifier: MIT
#include "analysis/mp3_filterbank.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "analysis/avx2_clones.h"

// The hot loops below are built once more for AVX2 (avx2_clones.h).

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;

// D[0..256] x 65536; the rest of the window mirrors it with alternating signs.
constexpr std::array<std::int32_t, 257> kWindowBase{
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,     -3,
    -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,    -13,    -14,
    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,    -41,    -45,    -49,
    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,    -104,   -111,   -117,   -125,
    -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,   -190,   -196,   -202,   -208,   -213,
    -218,   -222,   -225,   -227,   -228,   -228,   -227,   -224,   -221,   -215,   -208,   -200,   -189,
    -177,   -163,   -146,   -127,   -106,   -83,    -57,    -29,    2,      36,     72,     111,    153,
    197,    244,    294,    347,    401,    459,    519,    581,    645,    711,    779,    848,    919,
    991,    1064,   1137,   1210,   1283,   1356,   1428,   1498,   1567,   1634,   1698,   1759,   1817,
    1870,   1919,   1962,   2001,   2032,   2057,   2075,   2085,   2087,   2080,   2063,   2037,   2000,
    1952,   1893,   1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,
    185,    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,  -7910,
    -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,  -9966,  -9935,
    -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,  -6574,  -5959,  -5288,
    -4561,  -3776,  -2935,  -2037,  -1082,  -70,    998,    2122,   3300,   4533,   5818,   7154,   8540,
    9975,   11455,  12980,  14548,  16155,  17799,  19478,  21189,  22929,  24694,  26482,  28289,  30112,
    31947,  33791,  35640,  37489,  39336,  41176,  43006,  44821,  46617,  48390,  50137,  51853,  53534,
    55178,  56778,  58333,  59838,  61289,  62684,  64019,  65290,  66494,  67629,  68692,  69679,  70590,
    71420,  72169,  72835,  73415,  73908,  74313,  74630,  74856,  74992,  75038};

// Eight float lanes (one AVX2 register, two SSE2 ones): eight subbands side by side.
using Lanes8 = float __attribute__((vector_size(32)));

// Vectors go by reference and the helpers are always inlined: by value, the
// AVX2 clones and the default ones would pass them in different registers.
[[gnu::always_inline]] inline void load8(Lanes8& v, const float* p)
{
    std::memcpy(&v, p, sizeof v);
}

[[gnu::always_inline]] inline void store8(float* p, const Lanes8& v)
{
    std::memcpy(p, &v, sizeof v);
}

constexpr std::array<double, 8> kAliasCoefficients{-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

} // namespace

const std::array<double, 512>& mp3SynthesisWindow()
{
    static const std::array<double, 512> window = [] {
        std::array<double, 512> d{};
        for (std::int32_t i = 0; i < 512; ++i) {
            const double base = kWindowBase[static_cast<std::size_t>(i <= 256 ? i : 512 - i)];
            d[static_cast<std::size_t>(i)] = ((i / 64) % 2 == 1 ? -base : base) / 65536.0;
        }
        return d;
    }();
    return window;
}

template <typename T>
Mp3PolyphaseT<T>::Mp3PolyphaseT()
{
    const std::array<double, 512>& d = mp3SynthesisWindow();
    for (std::size_t t = 0; t < 512; ++t) {
        m_window[t] = static_cast<T>(d[511 - t] / 32.0);
    }
    for (std::int32_t j = 0; j < 32; ++j) {
        for (std::int32_t k = 0; k < 32; ++k) {
            m_matrix[static_cast<std::size_t>(j * 32 + k)] = static_cast<T>(std::cos((2 * k + 1) * j * kPi / 64.0));
        }
    }
}

template <typename T>
KESTRONE_AVX2_CLONES void Mp3PolyphaseT<T>::analyse(std::span<const T> samples, std::int64_t first, std::int32_t blocks, T* out,
                               std::int32_t firstBand, std::int32_t lastBand) const
{
    const auto n = static_cast<std::int64_t>(samples.size());
    std::array<T, 512> edge{};
    std::array<T, 64> y{};
    std::array<T, 32> folded{};
    std::array<T, 32> s{};
    for (std::int32_t m = 0; m < blocks; ++m) {
        // x[t] = sample newest - 511 + t, zero outside the samples.
        const std::int64_t oldest = first + 32 * std::int64_t{m} - 480;
        const T* x = samples.data() + oldest;
        if (oldest < 0 || oldest + 512 > n) {
            for (std::int64_t t = 0; t < 512; ++t) {
                const std::int64_t at = oldest + t;
                edge[static_cast<std::size_t>(t)] = at >= 0 && at < n ? samples[static_cast<std::size_t>(at)] : T(0);
            }
            x = edge.data();
        }
        // Y[i] = sum over j of the windowed sample newest - i - 64 j; with u =
        // 63 - i the terms lie at u + 64 (7 - j), so every sum runs forward
        // (j = 0 first, as the definition has it) and the 64 sums side by side.
        for (std::size_t u = 0; u < 64; ++u) {
            y[u] = m_window[u + 448] * x[u + 448];
        }
        for (std::size_t j = 1; j < 8; ++j) {
            const std::size_t base = 448 - 64 * j;
            for (std::size_t u = 0; u < 64; ++u) {
                y[u] += m_window[base + u] * x[base + u];
            }
        }
        // y[u] holds Y[63 - u]. cos((2k+1)(i-16) pi/64) is even in i-16 and
        // changes sign at 64-(i-16): the 64 sums fold to 32.
        auto Y = [&y](std::size_t i) { return y[63 - i]; };
        folded[0] = Y(16);
        for (std::size_t j = 1; j <= 16; ++j) {
            folded[j] = Y(16 + j) + Y(16 - j);
        }
        for (std::size_t j = 17; j < 32; ++j) {
            folded[j] = Y(16 + j) - Y(80 - j);
        }
        const auto k0 = static_cast<std::size_t>(firstBand);
        const auto k1 = static_cast<std::size_t>(lastBand);
        T* row = out + std::int64_t{m} * 32;
        if constexpr (std::is_same_v<T, float>) {
            // Groups of eight subbands (the caller asks for whole groups).
            for (std::size_t k = k0; k < k1; k += 8) {
                Lanes8 c;
                load8(c, m_matrix.data() + k);
                Lanes8 acc = c * folded[0];
                for (std::size_t j = 1; j < 32; ++j) {
                    load8(c, m_matrix.data() + j * 32 + k);
                    acc += c * folded[j];
                }
                store8(row + k, acc);
            }
        } else {
            for (std::size_t k = k0; k < k1; ++k) {
                s[k] = m_matrix[k] * folded[0];
            }
            for (std::size_t j = 1; j < 32; ++j) {
                const T a = folded[j];
                const T* c = m_matrix.data() + j * 32;
                for (std::size_t k = k0; k < k1; ++k) {
                    s[k] += c[k] * a;
                }
            }
            for (std::size_t k = k0; k < k1; ++k) {
                row[k] = s[k];
            }
        }
    }
}

template <typename T>
Mp3HybridT<T>::Mp3HybridT()
{
    for (std::int32_t i = 0; i < 36; ++i) {
        m_window[static_cast<std::size_t>(i)] = static_cast<T>(std::sin(kPi / 36.0 * (i + 0.5)));
    }
    // The 36-point MDCT is a DCT-IV of 18 folded values.
    for (std::int32_t k = 0; k < 18; ++k) {
        for (std::int32_t n = 0; n < 18; ++n) {
            m_dct[static_cast<std::size_t>(k * 18 + n)] = static_cast<T>(std::cos(kPi / 18.0 * (n + 0.5) * (k + 0.5)));
        }
    }
    for (std::size_t i = 0; i < 8; ++i) {
        const double c = kAliasCoefficients[i];
        const double root = std::sqrt(1.0 + c * c);
        m_cs[i] = static_cast<T>(1.0 / root);
        m_ca[i] = static_cast<T>(c / root);
    }
}

template <typename T>
KESTRONE_AVX2_CLONES void Mp3HybridT<T>::granule(const T* subbandBlocks, T* lines, std::int32_t firstBand, std::int32_t lastBand) const
{
    // Every step runs over the subbands side by side (one lane per subband).
    const auto b0 = static_cast<std::size_t>(firstBand);
    const auto b1 = static_cast<std::size_t>(lastBand);
    // Only the lanes firstBand .. lastBand - 1 are written and read.
    std::array<std::array<T, 32>, 36> u;
    std::array<std::array<T, 32>, 18> v;
    std::array<std::array<T, 32>, 18> x;
    for (std::size_t i = 0; i < 36; ++i) {
        const T* row = subbandBlocks + i * 32;
        const T w = m_window[i];
        if ((i & 1) != 0) {
            // Odd subbands negate every odd sample.
            for (std::size_t sb = b0; sb < b1; ++sb) {
                u[i][sb] = w * ((sb & 1) != 0 ? -row[sb] : row[sb]);
            }
        } else {
            for (std::size_t sb = b0; sb < b1; ++sb) {
                u[i][sb] = w * row[sb];
            }
        }
    }
    // (a, b, c, d) quarters of 9 -> (-c reversed - d, a - b reversed).
    for (std::size_t n = 0; n < 9; ++n) {
        for (std::size_t sb = b0; sb < b1; ++sb) {
            v[n][sb] = -u[26 - n][sb] - u[27 + n][sb];
            v[9 + n][sb] = u[n][sb] - u[17 - n][sb];
        }
    }
    for (std::size_t k = 0; k < 18; ++k) {
        const T* c = m_dct.data() + k * 18;
        for (std::size_t sb = b0; sb < b1; ++sb) {
            x[k][sb] = c[0] * v[0][sb];
        }
        for (std::size_t n = 1; n < 18; ++n) {
            const T cn = c[n];
            for (std::size_t sb = b0; sb < b1; ++sb) {
                x[k][sb] += cn * v[n][sb];
            }
        }
    }
    for (std::size_t sb = b0; sb < b1; ++sb) {
        for (std::size_t k = 0; k < 18; ++k) {
            lines[18 * sb + k] = x[k][sb];
        }
    }
    for (std::int32_t sb = firstBand + 1; sb < lastBand; ++sb) {
        for (std::size_t i = 0; i < 8; ++i) {
            T& up = lines[18 * sb - 1 - static_cast<std::int32_t>(i)];
            T& down = lines[18 * sb + static_cast<std::int32_t>(i)];
            const T bu = up;
            const T bd = down;
            up = bu * m_cs[i] + bd * m_ca[i];
            down = bd * m_cs[i] - bu * m_ca[i];
        }
    }
}

// The float granule, on groups of eight subbands (firstBand and lastBand
// eight apart or a multiple of it): the same operations as the general form
// per lane, with the 18 accumulators of a group in registers.
template <>
KESTRONE_AVX2_CLONES void Mp3HybridT<float>::granule(const float* subbandBlocks, float* lines, std::int32_t firstBand,
                                                    std::int32_t lastBand) const
{
    for (std::int32_t g = firstBand; g < lastBand; g += 8) {
        Lanes8 sign;
        for (std::int32_t l = 0; l < 8; ++l) {
            sign[l] = ((g + l) & 1) != 0 ? -1.0f : 1.0f;
        }
        std::array<Lanes8, 36> u;
        for (std::size_t i = 0; i < 36; ++i) {
            Lanes8 z;
            load8(z, subbandBlocks + i * 32 + static_cast<std::size_t>(g));
            u[i] = m_window[i] * ((i & 1) != 0 ? z * sign : z);
        }
        std::array<Lanes8, 18> v;
        for (std::size_t n = 0; n < 9; ++n) {
            v[n] = -u[26 - n] - u[27 + n];
            v[9 + n] = u[n] - u[17 - n];
        }
        for (std::size_t k = 0; k < 18; ++k) {
            const float* c = m_dct.data() + k * 18;
            Lanes8 acc = c[0] * v[0];
            for (std::size_t n = 1; n < 18; ++n) {
                acc += c[n] * v[n];
            }
            for (std::int32_t l = 0; l < 8; ++l) {
                lines[18 * (g + l) + static_cast<std::int32_t>(k)] = acc[l];
            }
        }
    }
    for (std::int32_t sb = firstBand + 1; sb < lastBand; ++sb) {
        for (std::size_t i = 0; i < 8; ++i) {
            float& up = lines[18 * sb - 1 - static_cast<std::int32_t>(i)];
            float& down = lines[18 * sb + static_cast<std::int32_t>(i)];
            const float bu = up;
            const float bd = down;
            up = bu * m_cs[i] + bd * m_ca[i];
            down = bd * m_cs[i] - bu * m_ca[i];
        }
    }
}

template class Mp3PolyphaseT<double>;
template class Mp3PolyphaseT<float>;
template class Mp3HybridT<double>;
template class Mp3HybridT<float>;

} // namespace orvel
