// SPDX-License-Identifier: MIT
#include "analysis/fft.h"

#include "analysis/fft_kernels.h"
#include "analysis/fft_plan.h"

namespace orvel {

void fftWith(SimdLevel level, std::complex<double>* data, std::size_t n, bool inverse)
{
    if (n > FftPlan::kMaxSize) {
        fftReference(data, n, inverse);
        return;
    }
    // As in the reference, a length that is not a power of two is left
    // untransformed rather than read or written past its end.
    if (n >= 2 && (n & (n - 1)) == 0) {
        const FftPlan& plan = FftPlan::get(n, inverse);
        plan.permute(data);
        fftKernels(level).butterflies(data, plan, 2, n);
    }
    if (inverse) {
        const double length = static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i) {
            data[i] = {data[i].real() / length, data[i].imag() / length};
        }
    }
}

void fft(std::complex<double>* data, std::size_t n, bool inverse)
{
    fftWith(bestSimdLevel(), data, n, inverse);
}

void fftFromBitReversed(std::complex<double>* data, std::size_t n)
{
    fftKernels(bestSimdLevel()).butterflies(data, FftPlan::get(n, false), 2, n);
}

const std::uint32_t* fftBitReversal(std::size_t n)
{
    return n >= 2 && n <= FftPlan::kMaxSize && (n & (n - 1)) == 0 ? FftPlan::get(n, false).bitReversal() : nullptr;
}

void fft(std::vector<std::complex<double>>& data, bool inverse)
{
    fft(data.data(), data.size(), inverse);
}

} // namespace orvel
