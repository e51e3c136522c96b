// SPDX-License-Identifier: MIT
#include "picture/spectrogram_picture.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <map>
#include <numbers>
#include <random>
#include <thread>

#include "analysis/analysis_options.h"
#include "analysis/fft.h"
#include "picture/colour_map.h"
#include "tests/support/files.h"

namespace orvel {
namespace {

std::atomic<bool> noStop{false};

DecodedAudio audioOf(std::vector<std::vector<double>> channels, std::int32_t rate)
{
    DecodedAudio audio;
    for (const std::vector<double>& channel : channels) {
        audio.channels.emplace_back(channel.begin(), channel.end());
    }
    audio.sampleRate = rate;
    audio.bitsPerSample = 24;
    audio.durationSeconds = static_cast<double>(audio.channels.front().size()) / rate;
    return audio;
}

std::vector<double> sine(std::size_t length, double hz, double rate)
{
    std::vector<double> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        samples[i] = 0.5 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate);
    }
    return samples;
}

// Noise with a flat spectrum up to edgeHz and nothing above: random phases on
// the bins below the edge, transformed back.
std::vector<double> lowpassedNoise(std::size_t length, double rate, double edgeHz)
{
    std::vector<std::complex<double>> spectrum(length);
    std::mt19937_64 engine(11);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    const auto lastBin = static_cast<std::size_t>(edgeHz / rate * static_cast<double>(length));
    for (std::size_t k = 1; k <= lastBin; ++k) {
        spectrum[k] = std::polar(1.0, phase(engine));
    }
    fft(spectrum, true);
    std::vector<double> samples(length);
    double power = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        samples[i] = spectrum[i].real();
        power += samples[i] * samples[i];
    }
    const double scale = 0.1 / std::sqrt(power / static_cast<double>(length));
    for (double& s : samples) {
        s *= scale;
    }
    return samples;
}

PictureLabels labels()
{
    PictureLabels l;
    l.fileName = "sine.flac";
    l.codec = "FLAC";
    l.sampleRate = 44100;
    l.bits = 24;
    l.verdicts = {{"Upscaling", "No evidence"}, {"Upsampling", "No evidence"}, {"AAC SIN", "No evidence"}};
    return l;
}

Spectrogram spectrogramFor(const DecodedAudio& audio, PictureSize size, unsigned threads = 0)
{
    SpectrogramOptions options;
    options.columns = static_cast<std::size_t>(plotArea(size).width);
    options.analysis.threads = threads;
    return computeSpectrogram(audio, options, noStop);
}

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xFFRRGGBB
};

// Reads PNG bytes back through cairo's own PNG reader.
Decoded readPng(const std::vector<unsigned char>& bytes)
{
    struct Cursor {
        const std::vector<unsigned char>* bytes;
        std::size_t at;
    } cursor{&bytes, 0};
    auto read = [](void* closure, unsigned char* out, unsigned int length) -> cairo_status_t {
        auto* c = static_cast<Cursor*>(closure);
        if (c->at + length > c->bytes->size()) {
            return CAIRO_STATUS_READ_ERROR;
        }
        std::memcpy(out, c->bytes->data() + c->at, length);
        c->at += length;
        return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read, &cursor);
    Decoded result;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        result.width = cairo_image_surface_get_width(surface);
        result.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < result.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
            for (int x = 0; x < result.width; ++x) {
                result.pixels.push_back(0xFF000000u | row[x]);
            }
        }
    }
    cairo_surface_destroy(surface);
    return result;
}

// The colour map index a plot pixel shows (its level step), -1 for any other colour.
int levelIndex(std::uint32_t pixel)
{
    static const std::map<std::uint32_t, int> indices = [] {
        std::map<std::uint32_t, int> m;
        const auto& colours = levelColours();
        for (int i = 255; i >= 0; --i) {
            m[colours[static_cast<std::size_t>(i)]] = i;
        }
        return m;
    }();
    const auto it = indices.find(pixel);
    return it == indices.end() ? -1 : it->second;
}

int indexAt(const Decoded& image, int x, int y) { return levelIndex(image.pixels[static_cast<std::size_t>(y * image.width + x)]); }

// The row of the plot (0 at its top) whose band holds hz.
int rowOf(double hz, double rate, const PlotArea& area)
{
    return static_cast<int>(std::floor((1.0 - hz / (rate / 2.0)) * area.height));
}

TEST(SpectrogramPictureTest, SineLineLandsOnItsFrequencyRow)
{
    struct Case {
        std::int32_t rate;
        PictureSize size;
    };
    for (const Case& c : {Case{44100, PictureSize{}}, Case{96000, PictureSize{800, 500}}}) {
        const DecodedAudio audio = audioOf({sine(static_cast<std::size_t>(c.rate) * 5, 10000.0, c.rate)}, c.rate);
        const Decoded image = readPng(renderSpectrogramPng(spectrogramFor(audio, c.size), labels(), c.size));
        ASSERT_EQ(image.width, c.size.width);
        const PlotArea area = plotArea(c.size);
        const int expected = rowOf(10000.0, c.rate, area);
        for (const double share : {0.02, 0.5, 0.98}) {
            const int x = area.left + static_cast<int>(share * area.width);
            int loudestRow = -1;
            int loudest = -1;
            for (int y = 0; y < area.height; ++y) {
                const int index = indexAt(image, x, area.top + y);
                ASSERT_GE(index, 0) << "not a level colour at row " << y;
                if (index > loudest) {
                    loudest = index;
                    loudestRow = y;
                }
            }
            EXPECT_NEAR(loudestRow, expected, 1) << "rate " << c.rate << " column " << x;
            EXPECT_GT(loudest, 200) << "rate " << c.rate;
        }
    }
}

TEST(SpectrogramPictureTest, LowpassEdgeAndItsMarkedLineLandOnTheCutoffRow)
{
    const DecodedAudio audio = audioOf({lowpassedNoise(std::size_t{1} << 18, 44100.0, 16000.0)}, 44100);
    const PictureSize size;
    PictureLabels marked = labels();
    const Spectrogram spectrogram = spectrogramFor(audio, size);
    const Decoded plain = readPng(renderSpectrogramPng(spectrogram, marked, size));
    marked.cutoffHz = 16000.0;
    const Decoded withLine = readPng(renderSpectrogramPng(spectrogram, marked, size));
    const PlotArea area = plotArea(size);
    const int expected = rowOf(16000.0, 44100.0, area);

    for (const double share : {0.25, 0.5, 0.75}) {
        const int x = area.left + static_cast<int>(share * area.width);
        // Passband level: the row halfway up to the edge; the edge: the
        // lowest row, going up, more than 40 dB below it.
        const int passband = indexAt(plain, x, area.top + (area.height + expected) / 2);
        const int drop = static_cast<int>(40.0 / 120.0 * 255.0);
        int edge = -1;
        for (int y = area.height - 1; y >= 0; --y) {
            if (indexAt(plain, x, area.top + y) < passband - drop) {
                edge = y + 1; // the last row still in the passband
                break;
            }
        }
        EXPECT_NEAR(edge, expected, 1) << "column " << x;
    }

    const int lineRow = static_cast<int>(std::round(area.top + area.height - 16000.0 / 22050.0 * area.height));
    EXPECT_NEAR(lineRow - area.top, expected, 1);
    int marker = 0;
    for (int x = area.left; x < area.left + area.width; ++x) {
        marker += withLine.pixels[static_cast<std::size_t>(lineRow * size.width + x)] == 0xFF000000u + marked.cutoffColour ? 1 : 0;
    }
    // A dashed line: 8 of every 13 pixels drawn.
    EXPECT_GT(marker, area.width / 2);
    EXPECT_LT(marker, area.width * 3 / 4);
}

TEST(SpectrogramPictureTest, TimeAxisSpansTheAnalysedSeconds)
{
    // 6 s with a tone from 2 s to 4 s only: it must fill the middle third of the plot.
    const std::size_t rate = 44100;
    std::vector<double> samples(6 * rate, 0.0);
    const std::vector<double> tone = sine(2 * rate, 5000.0, 44100.0);
    std::copy(tone.begin(), tone.end(), samples.begin() + 2 * static_cast<std::ptrdiff_t>(rate));
    const PictureSize size;
    const Spectrogram spectrogram = spectrogramFor(audioOf({samples}, 44100), size);
    EXPECT_DOUBLE_EQ(spectrogram.seconds, 6.0);
    const Decoded image = readPng(renderSpectrogramPng(spectrogram, labels(), size));
    const PlotArea area = plotArea(size);
    const int row = area.top + rowOf(5000.0, 44100.0, area);
    int first = -1;
    int last = -1;
    for (int x = area.left; x < area.left + area.width; ++x) {
        if (indexAt(image, x, row) > 200) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    // A frame is 93 ms, about 16 columns here: half of it blurs each end.
    const double third = area.width / 3.0;
    EXPECT_NEAR(first, area.left + third, 10.0);
    EXPECT_NEAR(last, area.left + 2.0 * third, 10.0);
}

TEST(SpectrogramPictureTest, PngHasTheRequestedSizeAndTheWindowsPixels)
{
    const DecodedAudio audio = audioOf({sine(44100 * 3, 1000.0, 44100.0), sine(44100 * 3, 3000.0, 44100.0)}, 44100);
    for (const PictureSize size : {PictureSize{}, PictureSize{640, 480}, PictureSize{400, 240}, PictureSize{1920, 1080}}) {
        const Spectrogram spectrogram = spectrogramFor(audio, size);
        const PictureImage image = renderSpectrogramImage(spectrogram, labels(), size);
        const std::vector<unsigned char> png = encodePng(image);
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
        const Decoded back = readPng(png);
        EXPECT_EQ(back.width, size.width);
        EXPECT_EQ(back.height, size.height);
        EXPECT_EQ(back.pixels, image.pixels) << size.width << "x" << size.height;
        EXPECT_EQ(renderSpectrogramPng(spectrogram, labels(), size), png);
    }
}

TEST(SpectrogramPictureTest, SameInputGivesTheSameBytesWhateverTheThreadsOrConcurrentPictures)
{
    const DecodedAudio audio =
        audioOf({lowpassedNoise(1 << 17, 48000.0, 19000.0), sine(1 << 17, 440.0, 48000.0)}, 48000);
    PictureLabels l = labels();
    l.cutoffHz = 19000.0;
    const std::vector<unsigned char> one = renderSpectrogramPng(spectrogramFor(audio, {}, 1), l, {});
    const std::vector<unsigned char> two = renderSpectrogramPng(spectrogramFor(audio, {}, 2), l, {});
    EXPECT_EQ(one, two);

    // Two pictures drawn at the same time, as kestrone-scan --jobs 2 does, come out the same.
    const Spectrogram spectrogram = spectrogramFor(audio, {});
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
    std::thread other([&] { second = renderSpectrogramPng(spectrogram, l, {}); });
    first = renderSpectrogramPng(spectrogram, l, {});
    other.join();
    EXPECT_EQ(first, one);
    EXPECT_EQ(second, one);
}

TEST(SpectrogramPictureTest, AnyFileNameDrawsAndNonsenseIsRefused)
{
    const DecodedAudio audio = audioOf({sine(44100, 1000.0, 44100.0)}, 44100);
    const Spectrogram spectrogram = spectrogramFor(audio, {});
    PictureLabels odd = labels();
    odd.fileName = "bad \xFF\xC3 bytes " + std::string(3000, 'x') + " \xE6\x97\xA5.flac";
    odd.codec = "";
    odd.sampleRate = 0;
    odd.bits = 0;
    odd.verdicts.push_back({"Lowpass", std::string(500, 'y')});
    const Decoded image = readPng(renderSpectrogramPng(spectrogram, odd, {}));
    EXPECT_EQ(image.width, 1200);

    EXPECT_THROW((void)renderSpectrogramPng(spectrogram, labels(), {399, 700}), std::invalid_argument);
    EXPECT_THROW((void)renderSpectrogramPng(Spectrogram{}, labels(), {}), std::invalid_argument);
}

TEST(SpectrogramPictureTest, PictureFileIsWrittenWholeOrNotAtAll)
{
    testing::ScratchFolder folder;
    const std::vector<unsigned char> bytes{0x89, 'P', 'N', 'G', 1, 2, 3};
    writePictureFile(folder / "a.png", bytes);
    writePictureFile(folder / "a.png", std::vector<unsigned char>(100000, 7));
    EXPECT_EQ(testing::readBytes(folder / "a.png"), std::string(100000, 7));

    // A target that cannot be written throws, naming it, and leaves nothing behind.
    std::filesystem::create_directory(folder / "taken.png");
    try {
        writePictureFile(folder / "taken.png", bytes);
        ADD_FAILURE() << "wrote over a folder";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("taken.png"), std::string::npos);
    }
    EXPECT_THROW(writePictureFile(folder / "missing" / "b.png", bytes), std::runtime_error);
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a.png", "taken.png"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "taken.png"));
}

TEST(SpectrogramPictureTest, SizeTextIsWidthByHeightWithinLimits)
{
    EXPECT_EQ(parsePictureSize("1200x700"), (PictureSize{1200, 700}));
    EXPECT_EQ(parsePictureSize("400X240"), (PictureSize{400, 240}));
    EXPECT_EQ(parsePictureSize("4096x4096"), (PictureSize{4096, 4096}));
    for (const char* bad : {"", "x", "1200", "1200x", "x700", "399x700", "1200x239", "4097x700", "-1200x700",
                            "+1200x700", "1200x700x3", " 1200x700", "1e3x700", "99999999999x700"}) {
        EXPECT_FALSE(parsePictureSize(bad).has_value()) << bad;
    }
}

TEST(SpectrogramPictureTest, ColourMapBrightensSteadilyFromNearBlack)
{
    const auto& colours = levelColours();
    EXPECT_LT(lightnessOf(colours.front() & 0xFFFFFF), 5.0);
    EXPECT_GT(lightnessOf(colours.back() & 0xFFFFFF), 94.0);
    for (std::size_t i = 1; i < colours.size(); ++i) {
        const double step = lightnessOf(colours[i] & 0xFFFFFF) - lightnessOf(colours[i - 1] & 0xFFFFFF);
        // 94 L* over 255 steps is 0.37 each; 8-bit rounding moves a colour by a few tenths.
        EXPECT_GT(step, -0.5) << "entry " << i;
        EXPECT_LT(step, 1.5) << "entry " << i;
    }
}

} // namespace
} // namespace orvel
