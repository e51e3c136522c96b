// SPDX-License-Identifier: MIT
// The frame limit and the supported range, on the sizing step every decoder
// shares, and the ALAC configuration record the FFmpeg decoder falls back to.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>

#include "decode/alac_cookie.h"
#include "decode/decode_audio.h"
#include "tests/decode/decode_test_files.h"

namespace {

using kestrone_test::kRangeMessage;

std::uint64_t limitFor(std::int32_t rate, std::int32_t channels, std::uint64_t declared = 0)
{
    orvel::DecodedAudio record;
    record.sampleRate = rate;
    return orvel::prepareChannels(record, channels, declared);
}

std::string rangeFailure(std::int32_t rate, std::int32_t channels)
{
    try {
        (void)limitFor(rate, channels);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

TEST(DecodePrepareChannelsTest, LimitIsThirtySecondsOrTwentyFourMillionSamples)
{
    EXPECT_EQ(limitFor(44100, 2), 1'323'000u);
    EXPECT_EQ(limitFor(48000, 6), 1'440'000u);   // 30 s, below 4,000,000
    EXPECT_EQ(limitFor(384000, 32), 750'000u);   // 24,000,000 / 32, below 30 s
    EXPECT_EQ(limitFor(384000, 7), 3'428'571u);  // integer division
    EXPECT_EQ(limitFor(8000, 1), 240'000u);
}

TEST(DecodePrepareChannelsTest, DeclaredLengthLowersTheLimitOnlyWhenShorterAndNonZero)
{
    EXPECT_EQ(limitFor(44100, 2, 1000), 1000u);
    EXPECT_EQ(limitFor(44100, 2, 1'323'000), 1'323'000u);
    EXPECT_EQ(limitFor(44100, 2, 1'323'001), 1'323'000u);
    EXPECT_EQ(limitFor(44100, 2, 0), 1'323'000u);
    EXPECT_EQ(limitFor(44100, 2, std::uint64_t{1} << 36), 1'323'000u);
}

TEST(DecodePrepareChannelsTest, ReservesEveryChannelToTheLimitWithoutFillingIt)
{
    orvel::DecodedAudio record;
    record.sampleRate = 48000;
    const std::uint64_t limit = orvel::prepareChannels(record, 6, 0);
    ASSERT_EQ(record.channels.size(), 6u);
    for (const auto& channel : record.channels) {
        EXPECT_TRUE(channel.empty());
        EXPECT_GE(channel.capacity(), limit);
    }
}

TEST(DecodePrepareChannelsTest, LargeChannelsStartOnA2MBBoundaryAndKeepTheirValuesAcrossGrowth)
{
    orvel::DecodedAudio record;
    record.sampleRate = 44100;
    const std::uint64_t limit = orvel::prepareChannels(record, 2, 0);
    for (const auto& channel : record.channels) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(channel.data()) % (std::uintptr_t{2} << 20), 0u);
    }
    // A channel of unknown length grows from the heap's blocks into large ones
    // and back through shrink_to_fit; each block must go back where it came from
    // (the sanitizer build checks) and every value must survive the moves.
    orvel::ChannelSamples grown;
    for (std::uint64_t i = 0; i < limit; ++i) {
        grown.push_back(static_cast<double>(i));
    }
    grown.resize(1000);
    grown.shrink_to_fit();
    ASSERT_EQ(grown.size(), 1000u);
    for (std::size_t i = 0; i < grown.size(); ++i) {
        ASSERT_EQ(grown[i], static_cast<double>(i));
    }
}

#ifndef _WIN32
TEST(DecodePrepareChannelsTest, TheNextFileGetsTheLargePagesTheLastOneGaveBack)
{
    const void* before = nullptr;
    {
        orvel::DecodedAudio record;
        record.sampleRate = 44100;
        (void)orvel::prepareChannels(record, 1, 0);
        before = record.channels[0].data();
    }
    orvel::DecodedAudio record;
    record.sampleRate = 44100;
    (void)orvel::prepareChannels(record, 1, 0);
    EXPECT_EQ(record.channels[0].data(), before);
}
#endif

TEST(DecodePrepareChannelsTest, AcceptsTheEdgesOfTheSupportedRange)
{
    EXPECT_EQ(rangeFailure(8000, 1), "");
    EXPECT_EQ(rangeFailure(384000, 1), "");
    EXPECT_EQ(rangeFailure(44100, 32), "");
}

TEST(DecodePrepareChannelsTest, RejectsRatesAndChannelCountsOutsideTheRange)
{
    EXPECT_EQ(rangeFailure(7999, 2), kRangeMessage);
    EXPECT_EQ(rangeFailure(384001, 2), kRangeMessage);
    EXPECT_EQ(rangeFailure(0, 2), kRangeMessage);
    EXPECT_EQ(rangeFailure(-44100, 2), kRangeMessage);
    EXPECT_EQ(rangeFailure(44100, 0), kRangeMessage);
    EXPECT_EQ(rangeFailure(44100, 33), kRangeMessage);
    EXPECT_EQ(rangeFailure(44100, -1), kRangeMessage);
    EXPECT_EQ(rangeFailure(44100, 65535), kRangeMessage);
}

TEST(DecodePrepareChannelsTest, RangeFailureLeavesTheRecordWithoutChannels)
{
    orvel::DecodedAudio record;
    record.sampleRate = 7999;
    EXPECT_THROW((void)orvel::prepareChannels(record, 2, 0), std::runtime_error);
    EXPECT_TRUE(record.channels.empty());
}

// ALAC's 24-byte configuration record, big-endian, after 12 bytes of atom header.
std::array<std::uint8_t, 36> cookie(std::uint8_t version, std::uint8_t bits, std::uint8_t channels,
                                    std::uint32_t rate)
{
    std::array<std::uint8_t, 36> blob{};
    std::uint8_t* config = blob.data() + 12;
    config[3] = 0x10; // 4096 frames per packet
    config[4] = version;
    config[5] = bits;
    config[9] = channels;
    config[20] = static_cast<std::uint8_t>(rate >> 24);
    config[21] = static_cast<std::uint8_t>(rate >> 16);
    config[22] = static_cast<std::uint8_t>(rate >> 8);
    config[23] = static_cast<std::uint8_t>(rate);
    return blob;
}

TEST(DecodeAlacCookieTest, ReadsTheBitDepthOfAMatchingRecord)
{
    const auto blob = cookie(0, 24, 2, 48000);
    EXPECT_EQ(orvel::alacCookieBitDepth(blob.data(), blob.size(), 2, 48000), 24u);
    // The record is the last 24 bytes, whatever precedes it.
    EXPECT_EQ(orvel::alacCookieBitDepth(blob.data() + 12, 24, 2, 48000), 24u);
}

TEST(DecodeAlacCookieTest, RejectsRecordsThatDoNotDescribeTheStream)
{
    const auto wrongRate = cookie(0, 24, 2, 44100);
    EXPECT_EQ(orvel::alacCookieBitDepth(wrongRate.data(), wrongRate.size(), 2, 48000), 0u);
    const auto wrongChannels = cookie(0, 24, 1, 48000);
    EXPECT_EQ(orvel::alacCookieBitDepth(wrongChannels.data(), wrongChannels.size(), 2, 48000), 0u);
    const auto newerVersion = cookie(1, 24, 2, 48000);
    EXPECT_EQ(orvel::alacCookieBitDepth(newerVersion.data(), newerVersion.size(), 2, 48000), 0u);
    for (std::uint8_t bits : {0, 7, 33, 255}) {
        const auto odd = cookie(0, bits, 2, 48000);
        EXPECT_EQ(orvel::alacCookieBitDepth(odd.data(), odd.size(), 2, 48000), 0u) << int{bits};
    }
    const auto edge = cookie(0, 32, 2, 48000);
    EXPECT_EQ(orvel::alacCookieBitDepth(edge.data(), edge.size(), 2, 48000), 32u);
}

TEST(DecodeAlacCookieTest, RejectsBlobsOfImplausibleSize)
{
    const auto blob = cookie(0, 16, 2, 44100);
    EXPECT_EQ(orvel::alacCookieBitDepth(blob.data() + 13, 23, 2, 44100), 0u);
    EXPECT_EQ(orvel::alacCookieBitDepth(nullptr, 36, 2, 44100), 0u);
    std::vector<std::uint8_t> huge(65536);
    std::copy(blob.begin() + 12, blob.end(), huge.end() - 24);
    EXPECT_EQ(orvel::alacCookieBitDepth(huge.data(), huge.size(), 2, 44100), 0u);
    EXPECT_EQ(orvel::alacCookieBitDepth(huge.data() + 1, huge.size() - 1, 2, 44100), 16u);
}

} // namespace
