// SPDX-License-Identifier: MIT
#include "analysis/fft_plan.h"

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>
#include <utility>

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::size_t kMaxLog2 = 16;

// fftReference's product, operand for operand: the twiddle w times the step.
std::complex<double> advance(std::complex<double> w, std::complex<double> step)
{
    return {w.real() * step.real() - w.imag() * step.imag(), w.real() * step.imag() + w.imag() * step.real()};
}

std::size_t log2Of(std::size_t n)
{
    std::size_t log2 = 0;
    while ((std::size_t{1} << log2) < n) {
        ++log2;
    }
    return log2;
}

} // namespace

FftPlan::FftPlan(std::size_t n, bool inverse) : m_size(n), m_inverse(inverse), m_bitReversal(n), m_twiddles(n - 1)
{
    // The index sequence of the reference's swap loop: at step i, j is the
    // bit-reversed i.
    std::size_t j = 0;
    m_bitReversal[0] = 0;
    for (std::size_t i = 1; i < n; ++i) {
        std::size_t bit = n / 2;
        while ((j & bit) != 0) {
            j &= ~bit;
            bit /= 2;
        }
        j |= bit;
        m_bitReversal[i] = static_cast<std::uint32_t>(j);
    }

    const double d = inverse ? 1.0 : 0.0;
    for (std::size_t len = 2; len <= n; len *= 2) {
        const double angle = (4.0 * d - 2.0) * kPi / static_cast<double>(len);
        const std::complex<double> step{std::cos(angle), std::sin(angle)};
        std::complex<double>* table = m_twiddles.data() + (len / 2 - 1);
        std::complex<double> w{1.0, 0.0};
        for (std::size_t k = 0; k < len / 2; ++k) {
            table[k] = w;
            w = advance(w, step);
        }
    }
}

const FftPlan& FftPlan::get(std::size_t n, bool inverse)
{
    // Plans are never freed: a worker thread may still transform while the
    // process ends, and the largest set of all is a few MiB.
    static std::array<std::atomic<const FftPlan*>, 2 * (kMaxLog2 + 1)> plans{};
    static std::mutex building;

    std::atomic<const FftPlan*>& slot = plans[2 * log2Of(n) + (inverse ? 1 : 0)];
    const FftPlan* plan = slot.load(std::memory_order_acquire);
    if (plan == nullptr) {
        const std::lock_guard<std::mutex> lock(building);
        plan = slot.load(std::memory_order_relaxed);
        if (plan == nullptr) {
            plan = new FftPlan(n, inverse);
            slot.store(plan, std::memory_order_release);
        }
    }
    return *plan;
}

void FftPlan::permute(std::complex<double>* data) const
{
    for (std::size_t i = 1; i < m_size; ++i) {
        const std::size_t j = m_bitReversal[i];
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
}

} // namespace orvel
