// SPDX-License-Identifier: MIT
// Real encoders' files damaged at test time (cut, bit-flipped, an impossible
// header field, a FLAC header before tens of megabytes of zeros) -> the
// message each must give instead of a verdict over a fraction of its length.
// And the complete files of every container: no accusation, and the duration
// is what decoded (a CAF declares whole packets, a chained Ogg its last link).
#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <cctype>
#include <cstring>

#include "tests/decode/decode_test_files.h"

namespace {

using namespace kestrone_test;
namespace fs = std::filesystem;

fs::path anyAudio(const std::string& suite, const std::string& relative)
{
    return fs::path(KESTRONE_TEST_AUDIO_DIR) / suite / relative;
}

using Damage = std::string (*)(std::string);

std::string cutInHalf(std::string bytes)
{
    bytes.resize(bytes.size() / 2);
    return bytes;
}

// One flipped bit at 30, 50 and 70 % of the file, as a bad sector or a bad copy leaves it.
std::string flipBits(std::string bytes)
{
    for (const std::size_t percent : {30, 50, 70}) {
        bytes[bytes.size() * percent / 100] ^= 0x10;
    }
    return bytes;
}

void overwrite(std::string& bytes, std::string_view marker, std::size_t offset, const std::string& value)
{
    const std::size_t at = bytes.find(marker);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + offset, value.size(), value);
}

// The ASF File Properties object's play duration (at 64 past its GUID), all ones but the sign.
std::string asfEndlessPlay(std::string bytes)
{
    overwrite(bytes, std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11", 8), 64, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F");
    return bytes;
}

// The CAF "desc" chunk's sample rate (a big-endian double after the chunk size) set to 1e300.
std::string cafRate1e300(std::string bytes)
{
    const auto bits = std::bit_cast<std::uint64_t>(1e300);
    std::string value(8, '\0');
    for (int i = 0; i < 8; ++i) {
        value[i] = static_cast<char>(bits >> (56 - 8 * i));
    }
    overwrite(bytes, "desc", 12, value);
    return bytes;
}

// "fLaC" and the metadata blocks up to the one marked last, without a frame.
std::string flacHeaderOnly(std::string bytes)
{
    std::size_t end = 4;
    for (bool last = false; !last && end + 4 <= bytes.size();) {
        last = (static_cast<unsigned char>(bytes[end]) & 0x80) != 0;
        end += 4 + (static_cast<std::size_t>(static_cast<unsigned char>(bytes[end + 1])) << 16 |
                    static_cast<std::size_t>(static_cast<unsigned char>(bytes[end + 2])) << 8 |
                    static_cast<unsigned char>(bytes[end + 3]));
    }
    bytes.resize(end);
    return bytes;
}

struct Damaged {
    const char* suite;
    const char* source;
    const char* name; // of the damaged copy
    Damage damage;
    const char* message;
    std::uint64_t zeroPaddedTo = 0; // a sparse run of zeros after the damaged bytes
};

std::ostream& operator<<(std::ostream& out, const Damaged& row) { return out << row.name; }

class DamagedFileTest : public testing::TestWithParam<Damaged> {};

TEST_P(DamagedFileTest, FailsWithItsMessageInsteadOfAVerdictOverAFraction)
{
    const Damaged& row = GetParam();
#if !KESTRONE_HAVE_FFMPEG
    if (!std::string_view(row.name).ends_with(".flac")) {
        GTEST_SKIP() << "needs FFmpeg";
    }
#endif
    const ScratchFolder scratch;
    const fs::path copy = scratch / row.name;
    orvel::testing::writeBytes(copy, row.damage(orvel::testing::readBytes(anyAudio(row.suite, row.source))));
    if (row.zeroPaddedTo != 0) {
        ASSERT_EQ(::truncate(copy.c_str(), static_cast<off_t>(row.zeroPaddedTo)), 0);
    }
    EXPECT_EQ(decodeFailure(copy), row.message);
}

constexpr std::uint64_t kMiB = 1 << 20;

std::string damagedCase(const testing::TestParamInfo<Damaged>& info)
{
    std::string name = info.param.name;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Containers, DamagedFileTest, testing::Values(
    Damaged{"formats", "ref/flac-24bit.mka", "half-flac.mka", cutInHalf,
            "Truncated or corrupt Matroska: fewer decoded samples than declared."},
    Damaged{"formats", "ref/vorbis.mka", "half-vorbis.mka", cutInHalf,
            "Truncated or corrupt Matroska: fewer decoded samples than declared."},
    Damaged{"formats", "lossy/music-wma.wma", "half.wma", cutInHalf,
            "Truncated or corrupt WMA: fewer decoded samples than declared."},
    Damaged{"formats", "lossy/music-opus.opus", "flipped.opus", flipBits,
            "Truncated or corrupt Ogg: fewer decoded samples than declared."},
    Damaged{"formats", "lossy/music-vorbis.ogg", "flipped.ogg", flipBits,
            "Truncated or corrupt Ogg: fewer decoded samples than declared."},
    Damaged{"formats", "same/music-44100Hz-16bit.wv", "half.wv", cutInHalf,
            "Truncated or corrupt WavPack: fewer decoded samples than declared."},
    Damaged{"formats", "same/music-44100Hz-16bit.tta", "half.tta", cutInHalf,
            "Truncated or corrupt TTA: fewer decoded samples than declared."},
    Damaged{"formats", "same/music-44100Hz-16bit.tak", "half.tak", cutInHalf,
            "Truncated or corrupt TAK: fewer decoded samples than declared."},
    Damaged{"formats", "same/music-44100Hz-16bit.ape", "half.ape", cutInHalf,
            "Truncated or corrupt Monkey's Audio: fewer decoded samples than declared."},
    Damaged{"formats", "lossy/music-wma.wma", "endless.wma", asfEndlessPlay,
            "Corrupt WMA: the declared duration is impossible."},
    Damaged{"formats", "ref/alac-16bit.caf", "rate-1e300.caf", cafRate1e300,
            "Corrupt CAF: the declared sample rate is impossible."},
    Damaged{"decode", "ref/2ch-44100Hz-16bit.flac", "header-then-zeros.flac", flacHeaderOnly,
            "Truncated or corrupt FLAC: no audio frame within 16 MB.", 40 * kMiB}),
    damagedCase);

#if KESTRONE_HAVE_FFMPEG
bool isAudioFile(const fs::path& path)
{
    const std::string ext = path.extension().native();
    return ext != ".s32le" && ext != ".f32le" && ext != ".wvc";
}

TEST(DeclaredLengthTest, CompleteFilesOfRealEncodersAreWhatDecodedInEveryContainer)
{
    std::vector<fs::path> files;
    for (const char* folder : {"same", "lossy", "ref", "long"}) {
        for (const fs::path& file : orvel::testing::filesIn(anyAudio("formats", folder))) {
            if (isAudioFile(file)) {
                files.push_back(file);
            }
        }
    }
    for (const char* name : {"ref/2ch-44100Hz-aac.m4a", "ref/2ch-44100Hz-adts.aac", "ref/2ch-44100Hz-128k.mp3",
                             "ref/2ch-44100Hz-16bit-alac.m4a", "facts/24bit-caf.alac"}) {
        files.push_back(testAudio(name));
    }
    ASSERT_GE(files.size(), 60u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.native());
        const orvel::DecodedAudio audio = decodePath(file);
        const double decoded =
            static_cast<double>(audio.channels.front().size()) / static_cast<double>(audio.sampleRate);
        if (decoded < 30.0) {
            EXPECT_EQ(audio.durationSeconds, decoded);
        } else {
            EXPECT_GE(audio.durationSeconds, decoded);
        }
    }
}

TEST(DeclaredLengthTest, AChainedOggIsAsLongAsAllItsLinks)
{
    const ScratchFolder scratch;
    for (const char* name : {"lossy/music-vorbis.ogg", "lossy/music-opus.opus", "ref/opus-in-ogg.ogg"}) {
        SCOPED_TRACE(name);
        const std::string link = orvel::testing::readBytes(anyAudio("formats", name));
        const fs::path chained = scratch / fs::path(name).filename();
        orvel::testing::writeBytes(chained, link + link);
        const orvel::DecodedAudio one = decodePath(anyAudio("formats", name));
        const orvel::DecodedAudio two = decodePath(chained);
        const double decoded =
            static_cast<double>(two.channels.front().size()) / static_cast<double>(two.sampleRate);
        EXPECT_NEAR(decoded, 2 * one.durationSeconds, 0.01);
        EXPECT_EQ(two.durationSeconds, decoded);
    }
}
#endif

} // namespace
