// SPDX-License-Identifier: MIT
// The alignment search spread over threads: the same fractions as one thread
// running the reference transform, milestones on the calling thread in
// order with nothing measured ahead of them, and a stop that leaves no
// thread behind.
#include "analysis/alignment_search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "analysis/aac_sin.h"
#include "analysis/analysis_options.h"
#include "analysis/averaged_spectrum.h"
#include "decode/cancellation.h"
#include "tests/analysis/analysis_signals.h"

namespace orvel {
namespace {

constexpr std::int32_t kRate = 8000;
const std::atomic<bool> noStop{false};

std::vector<double> gridAudio(std::int32_t offset, std::uint64_t seed)
{
    return test::quantised(test::sineGridSynthesis(3 * kRate, offset, 0.4, 700, 0.1, seed), 16);
}

const NearZeroBand kBand{600, 0.1, 2.44140625e-05};

// One thread, the straightforward transform, offsets in order.
std::vector<double> referenceFractions(const std::vector<double>& samples)
{
    SineMdct mdct(Transforms::Reference);
    std::vector<double> coefficients(1024);
    std::vector<double> fractions(1024);
    for (std::int32_t o = 0; o < 1024; ++o) {
        fractions[static_cast<std::size_t>(o)] = nearZeroFraction(samples, o, 4, kBand, mdct, coefficients.data());
    }
    return fractions;
}

TEST(AlignmentSearchTest, FractionsEqualOneReferenceThreadForEveryThreadCount)
{
    const std::vector<double> samples = gridAudio(517, 40);
    const std::vector<double> expected = referenceFractions(samples);
    ASSERT_GT(expected[517], 0.3); // the grid stands out, so a shuffled index would show
    for (const unsigned threads : {1u, 2u, 3u, 5u, 64u}) {
        AlignmentSearch search(threads);
        std::vector<double> fractions(1024, -1.0);
        search.run(samples, kBand, fractions, [](std::int32_t) {});
        EXPECT_EQ(std::memcmp(fractions.data(), expected.data(), 1024 * sizeof(double)), 0) << threads << " threads";
        // The same object serves the next channel.
        std::vector<double> again(1024, -1.0);
        search.run(samples, kBand, again, [](std::int32_t) {});
        EXPECT_EQ(std::memcmp(again.data(), expected.data(), 1024 * sizeof(double)), 0) << threads << " threads";
    }
}

TEST(AlignmentSearchTest, MilestonesComeInOrderOnTheCallingThreadWithNothingMeasuredAhead)
{
    const std::vector<double> samples = gridAudio(100, 41);
    for (const unsigned threads : {1u, 2u, 4u, 7u}) {
        AlignmentSearch search(threads);
        std::vector<double> fractions(1024, std::numeric_limits<double>::quiet_NaN());
        std::vector<std::int32_t> seen;
        const std::thread::id caller = std::this_thread::get_id();
        search.run(samples, kBand, fractions, [&](std::int32_t offset) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            for (std::int32_t o = 0; o < 1024; ++o) {
                const bool measured = !std::isnan(fractions[static_cast<std::size_t>(o)]);
                ASSERT_EQ(measured, o < offset) << "offset " << o << " at milestone " << offset << ", " << threads
                                                << " threads";
            }
            seen.push_back(offset);
        });
        ASSERT_EQ(seen.size(), 16u);
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i], static_cast<std::int32_t>(64 * i));
        }
        for (const double f : fractions) {
            EXPECT_FALSE(std::isnan(f));
        }
    }
}

TEST(AlignmentSearchTest, AThrowingMilestoneStopsTheSearchWithinItsBlock)
{
    const std::vector<double> samples = gridAudio(300, 42);
    const std::vector<double> expected = referenceFractions(samples);
    AlignmentSearch search(3);
    std::vector<double> fractions(1024, std::numeric_limits<double>::quiet_NaN());
    EXPECT_THROW(search.run(samples, kBand, fractions,
                            [](std::int32_t offset) {
                                if (offset == 320) {
                                    throw Cancelled();
                                }
                            }),
                 Cancelled);
    for (std::size_t o = 0; o < 1024; ++o) {
        EXPECT_EQ(std::isnan(fractions[o]), o >= 320) << "offset " << o;
    }
    // The helpers are gone and the object is whole: a new run completes and is right.
    std::vector<double> again(1024, -1.0);
    search.run(samples, kBand, again, [](std::int32_t) {});
    EXPECT_EQ(std::memcmp(again.data(), expected.data(), 1024 * sizeof(double)), 0);
}

TEST(AlignmentSearchTest, ALateHelperDoesNotHoldUpTheMilestoneAndChangesNoResult)
{
    // The helper thread is made to take offset 100 (the calling thread waits
    // at its first offset of that block until then) and is held there until
    // the calling thread has measured offset 100 itself, as it must when a
    // helper is preempted near the end of a block. Without that the hold
    // only ends at the timeout; with it the late result is dropped and every
    // fraction is still the reference one.
    const std::vector<double> samples = gridAudio(517, 45);
    const std::vector<double> expected = referenceFractions(samples);
    std::mutex mutex;
    std::condition_variable changed;
    bool helperHeld = false;
    bool callerMeasured100 = false;
    bool released = false;
    AlignmentSearch search(2, [&](std::int32_t offset, bool onCallingThread) {
        std::unique_lock<std::mutex> lock(mutex);
        if (onCallingThread && offset >= 64 && offset < 100) {
            changed.wait_for(lock, std::chrono::seconds(5), [&] { return helperHeld; });
        } else if (onCallingThread && offset == 100) {
            callerMeasured100 = true;
            changed.notify_all();
        } else if (!onCallingThread && offset == 100) {
            helperHeld = true;
            changed.notify_all();
            released = changed.wait_for(lock, std::chrono::seconds(5), [&] { return callerMeasured100; });
        }
    });
    std::vector<double> fractions(1024, -1.0);
    std::vector<std::int32_t> milestones;
    search.run(samples, kBand, fractions, [&](std::int32_t offset) { milestones.push_back(offset); });
    EXPECT_EQ(milestones.size(), 16u);
    EXPECT_EQ(std::memcmp(fractions.data(), expected.data(), 1024 * sizeof(double)), 0);
    const std::lock_guard<std::mutex> lock(mutex);
    EXPECT_TRUE(helperHeld);
    EXPECT_TRUE(released) << "the calling thread waited for the held helper instead of measuring offset 100";
}

// The check's input as the driver would give it.
struct Input {
    DecodedAudio audio;
    std::vector<double> spectrum;
    std::int32_t strongBins = 0;
};

Input stereoInput()
{
    Input input;
    input.audio = test::losslessAudio({gridAudio(700, 43), test::quantised(test::whiteNoise(3 * kRate, 44, 0.3), 16)},
                                      kRate, 16);
    input.spectrum = averagedPowerSpectrum(input.audio.channels[0], noStop);
    const std::vector<double> second = averagedPowerSpectrum(input.audio.channels[1], noStop);
    for (std::size_t i = 0; i < second.size(); ++i) {
        input.spectrum[i] = std::max(input.spectrum[i], second[i]);
    }
    input.strongBins = test::strongBins(input.spectrum);
    return input;
}

TEST(AlignmentSearchTest, CheckGivesTheSameResultAndProgressForAnyThreadCount)
{
    const Input input = stereoInput();
    std::vector<std::string> expectedTexts;
    const CheckResult expected = checkAacSin(input.audio, input.spectrum, input.strongBins, noStop,
                                             [&](const std::string& text) { expectedTexts.push_back(text); },
                                             AnalysisOptions{1, Transforms::Reference});
    ASSERT_EQ(expected.status, orvel::Verdict::Possible);
    ASSERT_EQ(expectedTexts.size(), 32u);
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        std::vector<std::string> texts;
        const CheckResult result = checkAacSin(input.audio, input.spectrum, input.strongBins, noStop,
                                               [&](const std::string& text) { texts.push_back(text); },
                                               AnalysisOptions{threads, Transforms::Fast});
        EXPECT_EQ(result.status, expected.status) << threads;
        EXPECT_EQ(result.summary, expected.summary) << threads;
        EXPECT_EQ(result.evidence, expected.evidence) << threads;
        EXPECT_EQ(texts, expectedTexts) << threads;
    }
}

TEST(AlignmentSearchTest, StopDuringTheSearchIsAnsweredAtTheNextMilestoneOnAnyThreadCount)
{
    const Input input = stereoInput();
    for (const unsigned threads : {1u, 2u, 5u}) {
        for (const int stopAt : {1, 7, 16, 17}) {
            std::atomic<bool> stop{false};
            std::vector<std::string> texts;
            EXPECT_THROW((void)checkAacSin(input.audio, input.spectrum, input.strongBins, stop,
                                           [&](const std::string& text) {
                                               texts.push_back(text);
                                               if (static_cast<int>(texts.size()) == stopAt) {
                                                   stop = true;
                                               }
                                           },
                                           AnalysisOptions{threads, Transforms::Fast}),
                         Cancelled)
                << threads << " threads, stop at report " << stopAt;
            // The flag set during report n is seen before report n + 1; a
            // stop in the last report of a channel is seen before the next
            // channel's first one.
            EXPECT_EQ(static_cast<int>(texts.size()), stopAt) << threads << " threads";
        }
        // A stop at the channel's last report that finds no later milestone:
        // channel 2 ends its search, the verification runs, the result returns.
        std::atomic<bool> stop{false};
        int reports = 0;
        const CheckResult result = checkAacSin(input.audio, input.spectrum, input.strongBins, stop,
                                               [&](const std::string&) {
                                                   if (++reports == 32) {
                                                       stop = true;
                                                   }
                                               },
                                               AnalysisOptions{threads, Transforms::Fast});
        EXPECT_EQ(result.status, orvel::Verdict::Possible) << threads << " threads";
    }
}

} // namespace
} // namespace orvel
