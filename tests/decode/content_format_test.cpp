// SPDX-License-Identifier: MIT
// A file named by the user whose extension names no format is decoded by its
// content, exactly as under its own name; without that permission, and for
// content that is no audio, the unsupported-format message stays. Also the
// messages of files that hold no audio or cannot be opened.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "decode/format_sniff.h"
#include "decode/input_file.h"
#include "tests/decode/decode_test_files.h"
#include "tests/support/process.h"

namespace {

using namespace kestrone_test;
namespace fs = std::filesystem;
using namespace std::string_literals;

orvel::DecodedAudio decodeByContent(const fs::path& path)
{
    const std::atomic<bool> stop{false};
    return orvel::decodeAudio(path, stop, orvel::UnknownExtension::RecogniseContent);
}

std::string failureByContent(const fs::path& path)
{
    try {
        (void)decodeByContent(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return {};
}

// Used by the FFmpeg cases only, which a build without FFmpeg leaves out.
[[maybe_unused]] fs::path anyAudio(const std::string& suite, const std::string& relative)
{
    return std::filesystem::path(KESTRONE_TEST_AUDIO_DIR) / suite / relative;
}

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// RIFF/WAVE, 16-bit stereo PCM at 44.1 kHz, with a data chunk of dataBytes.
std::string wavHeader(std::uint32_t dataBytes)
{
    auto le32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    };
    auto le16 = [](std::uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; };
    return "RIFF" + le32(36 + dataBytes) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(2) + le32(44100) +
           le32(44100 * 4) + le16(4) + le16(16) + "data" + le32(dataBytes);
}

void expectSameAudio(const orvel::DecodedAudio& renamed, const orvel::DecodedAudio& original)
{
    EXPECT_EQ(renamed.codec, original.codec);
    EXPECT_EQ(renamed.sampleRate, original.sampleRate);
    EXPECT_EQ(renamed.bitsPerSample, original.bitsPerSample);
    EXPECT_EQ(renamed.integerSamples, original.integerSamples);
    EXPECT_EQ(renamed.lossyCodec, original.lossyCodec);
    EXPECT_EQ(renamed.channels, original.channels);
}

TEST(ContentFormatTest, AudioUnderAnUnknownNameDecodesAsUnderItsOwn)
{
    std::vector<fs::path> originals = {
        testAudio("ref/2ch-44100Hz-16bit.flac"),     testAudio("ref/2ch-44100Hz-16bit.wav"),
        testAudio("ref/2ch-44100Hz-16bit-rifx.wav"), testAudio("ref/2ch-44100Hz-16bit.aiff"),
        testAudio("ref/2ch-44100Hz-16bit-sowt.aifc"), testAudio("crafted/rf64-values.wav"),
        testAudio("facts/wave64.wav"),
    };
#if KESTRONE_HAVE_FFMPEG
    for (const char* name : {"ref/2ch-44100Hz-16bit-alac.m4a", "ref/2ch-44100Hz-aac.m4a", "ref/2ch-44100Hz-adts.aac",
                             "ref/2ch-44100Hz-128k.mp3", "facts/mp2-named.mp3"}) {
        originals.push_back(testAudio(name));
    }
    for (const char* name : {"ref/wavpack-16bit.wv", "ref/monkeys-16bit.ape", "ref/tta-16bit.tta",
                             "ref/tak-16bit.tak", "ref/vorbis.ogg", "ref/opus.opus", "ref/wma2.wma",
                             "ref/flac-24bit.mka", "ref/alac-16bit.caf"}) {
        originals.push_back(anyAudio("formats", name));
    }
#endif
    const ScratchFolder scratch;
    for (const fs::path& original : originals) {
        SCOPED_TRACE(original.native());
        const std::string bytes = orvel::testing::readBytes(original);
        ASSERT_FALSE(bytes.empty());
        const orvel::DecodedAudio expected = decodePath(original);
        for (const char* name : {"renamed.dat", "no-extension", "album.FLAC.part"}) {
            const fs::path renamed = scratch / name;
            orvel::testing::writeBytes(renamed, bytes);
            expectSameAudio(decodeByContent(renamed), expected);
            // Only a file named directly is read by content.
            EXPECT_EQ(decodeFailure(renamed), kUnsupportedMessage);
        }
    }
}

TEST(ContentFormatTest, ContentThatIsNoAudioKeepsTheUnsupportedMessage)
{
    const ScratchFolder scratch;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.dat", ""},
        {"text.dat", "not audio\n"},
        {"random.dat", randomBytes(256 * 1024, 7)},
        // A lone frame header followed by noise is no chain of frames.
        {"one-mpeg-header.dat", std::string("\xFF\xFB\x90\x64", 4) + randomBytes(64 * 1024, 8)},
        {"one-adts-header.dat", std::string("\xFF\xF1\x50\x80\x20\x1F\xFC", 7) + randomBytes(64 * 1024, 9)},
        // "RIFF" without "WAVE", "FORM" without AIFF: not handed to libsndfile.
        {"riff-avi.dat", "RIFF\x10\x00\x00\x00" "AVI LIST"s + std::string(64, '\0')},
        {"form-8svx.dat", "FORM\x10\x00\x00\x00" "8SVXVHDR"s + std::string(64, '\0')},
    };
    for (const auto& [name, bytes] : files) {
        orvel::testing::writeBytes(scratch / name, bytes);
        EXPECT_EQ(failureByContent(scratch / name), kUnsupportedMessage) << name;
    }
#if KESTRONE_HAVE_FFMPEG
    // A correction file is made of WavPack blocks but is no audio by itself.
    orvel::testing::writeBytes(scratch / "music.wvc",
                               orvel::testing::readBytes(anyAudio("formats", "ref/wavpack-16bit.wv")));
    EXPECT_EQ(failureByContent(scratch / "music.wvc"), kUnsupportedMessage);
#endif
}

TEST(ContentFormatTest, DamagedWavContentGetsTheWavMessageNeverAnotherDecoders)
{
    // WAV and AIFF by content go to libsndfile alone, whatever FFmpeg would make of them.
    const ScratchFolder scratch;
    orvel::testing::writeBytes(scratch / "header-only.dat", "RIFF\x24\x00\x00\x00WAVEjunkjunkjunk"s);
    EXPECT_EQ(failureByContent(scratch / "header-only.dat"), kWavHeaderMessage);
    orvel::testing::writeBytes(scratch / "cut.dat", wavHeader(400000) + std::string(1000, '\0'));
    EXPECT_EQ(failureByContent(scratch / "cut.dat"), kWavTruncatedMessage);
}

TEST(ContentFormatTest, AWavWithAnEmptyDataChunkSaysItHoldsNoAudio)
{
    const ScratchFolder scratch;
    orvel::testing::writeBytes(scratch / "empty.wav", wavHeader(0));
    EXPECT_EQ(decodeFailure(scratch / "empty.wav"), kNoSamplesMessage);
    orvel::testing::writeBytes(scratch / "one-frame.wav", wavHeader(4) + std::string(4, '\x01'));
    EXPECT_EQ(decodeFailure(scratch / "one-frame.wav"), "");
}

#if KESTRONE_HAVE_FFMPEG
TEST(ContentFormatTest, NoiseUnderAnMpegOrAdtsNameHasNoAudioStream)
{
    const ScratchFolder scratch;
    for (const char* name : {"noise.mp3", "noise.aac"}) {
        orvel::testing::writeBytes(scratch / name, randomBytes(8 * 1024 * 1024, 11));
        EXPECT_EQ(decodeFailure(scratch / name), kNoAudioStreamMessage) << name;
    }
    // The frames themselves stay readable after an ID3v2 tag.
    std::string tagged = std::string("ID3\x04\x00\x00\x00\x00\x01\x00", 10) + std::string(128, '\0');
    tagged += orvel::testing::readBytes(testAudio("ref/2ch-44100Hz-128k.mp3"));
    orvel::testing::writeBytes(scratch / "tagged.mp3", tagged);
    EXPECT_EQ(decodeFailure(scratch / "tagged.mp3"), "");
}
#endif

TEST(ContentFormatTest, AFileThatVanishedGivesTheSystemsReasonInEveryDecoder)
{
    const ScratchFolder scratch;
    for (const char* name : {"gone.flac", "gone.wav", "gone.aiff", "gone.mp3", "gone.m4a", "gone.wv", "gone.ogg"}) {
#if !KESTRONE_HAVE_FFMPEG
        if (!std::string(name).ends_with(".flac") && !std::string(name).ends_with(".wav") &&
            !std::string(name).ends_with(".aiff")) {
            continue;
        }
#endif
        EXPECT_EQ(decodeFailure(scratch / name), orvel::testing::kOpenMissingMessage) << name;
    }
    EXPECT_EQ(failureByContent(scratch / "gone.dat"), orvel::testing::kOpenMissingMessage);
}

TEST(ContentFormatTest, FrameChainsNeedThreeAgreeingFramesOrTheFileEnd)
{
    // 128 kb/s MPEG-1 layer III at 44.1 kHz: 417 bytes a frame without padding.
    const std::string header("\xFF\xFB\x90\x64", 4);
    const std::string frame = header + std::string(413, '\0');
    const ScratchFolder scratch;
    const auto chain = [&](const std::string& bytes) {
        orvel::testing::writeBytes(scratch / "chain", bytes);
        int error = 0;
        const orvel::InputFile file = orvel::InputFile::open(scratch / "chain", error);
        return orvel::hasMpegAudioFrameChain(file, 0);
    };
    EXPECT_TRUE(chain(frame + frame + frame + randomBytes(5000, 3)));
    EXPECT_TRUE(chain(frame + frame)) << "a short stream ends at the file's end";
    EXPECT_TRUE(chain(frame + "TAG" + std::string(125, ' '))) << "or at its ID3v1 tag";
    EXPECT_TRUE(chain("junk" + frame + frame + frame)) << "after a little junk";
    EXPECT_FALSE(chain(frame + "xx" + frame + frame + randomBytes(5000, 4)));
    // A different sample rate in the second frame breaks the chain.
    const std::string other = std::string("\xFF\xFB\x94\x64", 4) + std::string(413, '\0');
    EXPECT_FALSE(chain(frame + other + frame + randomBytes(5000, 5)));
}

TEST(ContentFormatTest, AnUnreadableFileGivesPermissionDeniedNotACorruptHeader)
{
    // As root nothing is unreadable: the analysis runs as nobody.
    const ScratchFolder scratch;
    fs::permissions(scratch.path(), fs::perms::all);
    std::vector<std::string> args = {(scratch / "report.json").native()};
    std::vector<std::string> names = {"locked.flac", "locked.wav", "locked.dat"};
#if KESTRONE_HAVE_FFMPEG
    names.push_back("locked.mp3");
    names.push_back("locked.wv");
#endif
    const std::string flac = orvel::testing::readBytes(testAudio("ref/2ch-44100Hz-16bit.flac"));
    for (const std::string& name : names) {
        orvel::testing::writeBytes(scratch / name, flac);
        fs::permissions(scratch / name, fs::perms::none);
        args.push_back((scratch / name).native());
    }
    orvel::testing::ProcessOptions asNobody;
    asNobody.dropRoot = true;
    const orvel::testing::ProcessResult run = orvel::testing::runAnalysis(args, asNobody);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string report = orvel::testing::readBytes(scratch / "report.json");
    std::size_t count = 0;
    for (std::size_t at = 0; (at = report.find(orvel::testing::kOpenDeniedMessage, at)) != std::string::npos; ++at) {
        ++count;
    }
    EXPECT_EQ(count, names.size()) << report.substr(0, 2000);
}


// A file whose name names one format and whose content is another's.
struct Misnamed {
    const char* suite;
    const char* source;
    const char* name;
    const char* codec;   // decoded by its content as this codec
    const char* message; // or, under a WAV/AIFF name, the message of libsndfile
};

std::ostream& operator<<(std::ostream& out, const Misnamed& row) { return out << row.name; }

class MisnamedFileTest : public testing::TestWithParam<Misnamed> {};

TEST_P(MisnamedFileTest, IsDecodedByItsContentExceptUnderAWavOrAiffName)
{
    const Misnamed& row = GetParam();
    const fs::path source = fs::path(KESTRONE_TEST_AUDIO_DIR) / row.suite / row.source;
    const ScratchFolder scratch;
    orvel::testing::writeBytes(scratch / row.name, orvel::testing::readBytes(source));
    if (row.message != nullptr) {
        EXPECT_EQ(decodeFailure(scratch / row.name), row.message);
        return;
    }
    const orvel::DecodedAudio renamed = decodePath(scratch / row.name);
    EXPECT_EQ(renamed.codec, row.codec);
    expectSameAudio(renamed, decodePath(source));
}

std::string misnamedCase(const testing::TestParamInfo<Misnamed>& info)
{
    std::string name = info.param.name;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Names, MisnamedFileTest, testing::Values(
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.flac", "flac.ogg", "FLAC", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.flac", "flac.m4a", "FLAC", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.wav", "wav.mp3", "WAV", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.wav", "wav.wv", "WAV", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.aiff", "aiff.opus", "AIFF", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.wav", "wav.flac", "WAV", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit.flac", "flac.wav", nullptr, kWavHeaderMessage},
    Misnamed{"decode", "ref/2ch-44100Hz-128k.mp3", "mp3.aiff", nullptr, kWavHeaderMessage}),
    misnamedCase);

#if KESTRONE_HAVE_FFMPEG
INSTANTIATE_TEST_SUITE_P(NamesOfFfmpegFormats, MisnamedFileTest, testing::Values(
    Misnamed{"formats", "ref/flac-16bit.oga", "ogg-flac.flac", "FLAC (Ogg)", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-128k.mp3", "mp3.flac", "MP3", nullptr},
    Misnamed{"decode", "ref/2ch-44100Hz-16bit-alac.m4a", "alac.wv", "ALAC", nullptr}),
    misnamedCase);
#endif

} // namespace
