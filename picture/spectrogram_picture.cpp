// SPDX-License-Identifier: MIT
#include "picture/spectrogram_picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "picture/colour_map.h"
#include "picture/picture_api.h"
#include "report/replacing_file_writer.h"
#include "text/utf8.h"

namespace orvel {

namespace {

// The one face the pictures are set in (fonts-noto-core), the window's face too.
constexpr const char* kFontFamily = "Noto Sans";
constexpr double kTitleFontSize = 16.0;
constexpr double kFontSize = 13.0;

constexpr int kTitleHeight = 78;
constexpr int kLeftMargin = 58;
constexpr int kRightMargin = 96; // gap, colour bar, its labels
constexpr int kBottomMargin = 46;
constexpr int kBarGap = 18;
constexpr int kBarWidth = 16;

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { pictureApi().cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cr) const { pictureApi().cairo_destroy(cr); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

void checkSize(PictureSize size)
{
    if (size.width < PictureSize::kMinWidth || size.height < PictureSize::kMinHeight ||
        size.width > PictureSize::kMax || size.height > PictureSize::kMax) {
        throw std::invalid_argument("The picture size must be between 400x240 and 4096x4096 pixels.");
    }
}

// Valid UTF-8 as it is; every byte of an invalid sequence becomes U+FFFD, as
// cairo refuses to draw anything after invalid text.
std::string validUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t min = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            min = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        std::uint32_t code = length == 1 ? lead : (lead & (0xFFu >> (length + 1)));
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= min && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF) && code != 0;
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

// Fixed decimals, '.' whatever the process locale says.
std::string formatFixed(double value, int decimals)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text == "-0" || text == "-0.0") {
        text.erase(0, 1);
    }
    return text;
}

// 44100 -> "44.1 kHz", 96000 -> "96 kHz".
std::string rateText(std::int32_t rate)
{
    std::string text = formatFixed(rate / 1000.0, rate % 100 == 0 ? (rate % 1000 == 0 ? 0 : 1) : 3);
    return text + " kHz";
}

// The smallest of 1, 2, 5 x 10^k that puts at most maxTicks + 1 ticks on span.
double tickStep(double span, int maxTicks)
{
    maxTicks = std::max(maxTicks, 1);
    double magnitude = std::pow(10.0, std::floor(std::log10(span / maxTicks)));
    for (;;) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            if (span / (factor * magnitude) <= maxTicks) {
                return factor * magnitude;
            }
        }
        magnitude *= 10.0;
    }
}

int decimalsFor(double step) { return step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9)); }

class Painter {
public:
    explicit Painter(cairo_t* cr)
        : m_cr(cr)
    {
        cairo_font_options_t* options = pictureApi().cairo_font_options_create();
        // Explicit options: no hinting or subpixel order from the machine's font settings.
        pictureApi().cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        pictureApi().cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pictureApi().cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pictureApi().cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
        pictureApi().cairo_set_font_options(cr, options);
        pictureApi().cairo_font_options_destroy(options);
        font(false, kFontSize);
    }

    void font(bool bold, double size)
    {
        pictureApi().cairo_select_font_face(m_cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        pictureApi().cairo_set_font_size(m_cr, size);
    }

    void colour(std::uint32_t rgb)
    {
        pictureApi().cairo_set_source_rgb(m_cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                                          (rgb & 0xFF) / 255.0);
    }

    [[nodiscard]] double textWidth(const std::string& text)
    {
        cairo_text_extents_t extents;
        pictureApi().cairo_text_extents(m_cr, text.c_str(), &extents);
        return extents.x_advance;
    }

    // Text cut at a character boundary and ended with an ellipsis to fit maxWidth.
    [[nodiscard]] std::string fitted(const std::string& text, double maxWidth)
    {
        if (textWidth(text) <= maxWidth) {
            return text;
        }
        // The longest prefix, cut at a character start, that fits with the
        // ellipsis: widths grow with the prefix, so a binary search finds it.
        std::vector<std::size_t> cuts;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                cuts.push_back(i);
            }
        }
        auto candidate = [&](std::size_t cut) { return text.substr(0, cut) + "\xE2\x80\xA6"; };
        std::size_t low = 0; // cuts[low] fits (the bare ellipsis is taken to fit)
        std::size_t high = cuts.size();
        while (high - low > 1) {
            const std::size_t mid = (low + high) / 2;
            if (textWidth(candidate(cuts[mid])) <= maxWidth) {
                low = mid;
            } else {
                high = mid;
            }
        }
        return candidate(cuts.empty() ? 0 : cuts[low]);
    }

    // Draws text with its left, centre or right (align -1, 0, 1) at x, baseline at y.
    void text(const std::string& text, double x, double y, int align = -1)
    {
        const double width = textWidth(text);
        const double left = align < 0 ? x : (align == 0 ? x - width / 2.0 : x - width);
        pictureApi().cairo_move_to(m_cr, std::round(left), std::round(y));
        pictureApi().cairo_show_text(m_cr, text.c_str());
    }

    // A one-pixel line between pixel centres.
    void line(double x0, double y0, double x1, double y1)
    {
        pictureApi().cairo_set_line_width(m_cr, 1.0);
        pictureApi().cairo_move_to(m_cr, x0 + 0.5, y0 + 0.5);
        pictureApi().cairo_line_to(m_cr, x1 + 0.5, y1 + 0.5);
        pictureApi().cairo_stroke(m_cr);
    }

    [[nodiscard]] cairo_t* context() const { return m_cr; }

private:
    cairo_t* m_cr;
};

// The bins each pixel row of the plot shows: those whose frequency lies in
// the row's band (the top row also takes Nyquist), or the nearest one when a
// band holds none. The row takes the loudest of them, so a line narrower than
// a row stays visible.
struct RowBins {
    std::size_t first;
    std::size_t last;
};

std::vector<RowBins> rowBins(const Spectrogram& spectrogram, int rows)
{
    std::vector<RowBins> result(static_cast<std::size_t>(rows));
    const double bins = static_cast<double>(spectrogram.bins - 1); // bins per Nyquist
    for (int y = 0; y < rows; ++y) {
        const double high = static_cast<double>(rows - y) / rows * bins;
        const double low = static_cast<double>(rows - y - 1) / rows * bins;
        auto first = static_cast<std::size_t>(std::ceil(low));
        auto last = static_cast<std::size_t>(std::ceil(high)) - 1;
        if (y == 0) {
            last = spectrogram.bins - 1;
        }
        if (first > last) {
            first = static_cast<std::size_t>(std::lround((low + high) / 2.0));
            last = first;
        }
        result[static_cast<std::size_t>(y)] = {first, std::min(last, spectrogram.bins - 1)};
    }
    return result;
}

std::uint32_t colourOf(double db, double rangeDb)
{
    const double t = std::clamp((db + rangeDb) / rangeDb, 0.0, 1.0);
    return levelColours()[static_cast<std::size_t>(std::lround(t * 255.0))];
}

void paintPlot(std::uint32_t* pixels, int stridePixels, const PlotArea& area, const Spectrogram& spectrogram)
{
    const std::vector<RowBins> rows = rowBins(spectrogram, area.height);
    for (int x = 0; x < area.width; ++x) {
        const std::size_t column = static_cast<std::size_t>(x) * spectrogram.columns / static_cast<std::size_t>(area.width);
        const float* levels = spectrogram.levelsDb.data() + column * spectrogram.bins;
        for (int y = 0; y < area.height; ++y) {
            const RowBins& band = rows[static_cast<std::size_t>(y)];
            const float loudest = *std::max_element(levels + band.first, levels + band.last + 1);
            pixels[(area.top + y) * stridePixels + area.left + x] = colourOf(loudest, spectrogram.rangeDb);
        }
    }
}

void paintColourBar(std::uint32_t* pixels, int stridePixels, int left, int top, int height)
{
    const auto& colours = levelColours();
    for (int y = 0; y < height; ++y) {
        const double t = height > 1 ? 1.0 - static_cast<double>(y) / (height - 1) : 1.0;
        const std::uint32_t colour = colours[static_cast<std::size_t>(std::lround(t * 255.0))];
        for (int x = 0; x < kBarWidth; ++x) {
            pixels[(top + y) * stridePixels + left + x] = colour;
        }
    }
}

void drawAxes(Painter& painter, const PlotArea& area, const Spectrogram& spectrogram)
{
    constexpr std::uint32_t ink = 0x202020;
    painter.colour(ink);
    painter.font(false, kFontSize);
    cairo_t* cr = painter.context();
    pictureApi().cairo_set_line_width(cr, 1.0);
    pictureApi().cairo_rectangle(cr, area.left - 0.5, area.top - 0.5, area.width + 1.0, area.height + 1.0);
    pictureApi().cairo_stroke(cr);

    // Frequency: 0 at the bottom edge, Nyquist at the top edge.
    const double nyquistKHz = spectrogram.sampleRate / 2000.0;
    const double fStep = tickStep(nyquistKHz, std::max(2, area.height / 45));
    const int fDecimals = decimalsFor(fStep);
    for (int i = 0;; ++i) {
        const double kHz = i * fStep;
        if (kHz > nyquistKHz + 1e-9) {
            break;
        }
        const double y = std::round(area.top + area.height - kHz / nyquistKHz * area.height);
        painter.line(area.left - 6, y, area.left - 2, y);
        painter.text(formatFixed(kHz, fDecimals), area.left - 9, y + 4.5, 1);
    }
    painter.text("kHz", area.left - 9, area.top - 8, 1);

    // Time: 0 at the left edge, the analysed seconds at the right edge.
    const double seconds = spectrogram.seconds;
    const double tStep = tickStep(seconds, std::max(2, area.width / 80));
    const int tDecimals = decimalsFor(tStep);
    for (int i = 0;; ++i) {
        const double t = i * tStep;
        if (t > seconds + 1e-9) {
            break;
        }
        const double x = std::round(area.left + t / seconds * area.width);
        painter.line(x, area.top + area.height + 1, x, area.top + area.height + 5);
        painter.text(formatFixed(t, tDecimals), x, area.top + area.height + 20, 0);
    }
    painter.text("Time (s)", area.left + area.width / 2.0, area.top + area.height + 38, 0);
}

void drawColourBarScale(Painter& painter, int left, int top, int height, double rangeDb)
{
    painter.colour(0x202020);
    painter.font(false, kFontSize);
    cairo_t* cr = painter.context();
    pictureApi().cairo_set_line_width(cr, 1.0);
    pictureApi().cairo_rectangle(cr, left - 0.5, top - 0.5, kBarWidth + 1.0, height + 1.0);
    pictureApi().cairo_stroke(cr);
    const double step = tickStep(rangeDb, std::max(2, height / 40));
    for (int i = 0;; ++i) {
        const double db = -i * step;
        if (db < -rangeDb - 1e-9) {
            break;
        }
        const double y = std::round(top + (-db / rangeDb) * (height - 1));
        painter.line(left + kBarWidth + 1, y, left + kBarWidth + 4, y);
        painter.text(formatFixed(db, decimalsFor(step)), left + kBarWidth + 7, y + 4.5);
    }
    painter.text("dBFS", left + kBarWidth / 2.0, top - 8, 0);
}

void drawCutoff(Painter& painter, const PlotArea& area, const Spectrogram& spectrogram, double cutoffHz,
                std::uint32_t marker)
{
    const double nyquist = spectrogram.sampleRate / 2.0;
    if (!(cutoffHz > 0.0 && cutoffHz < nyquist)) {
        return;
    }
    const double y = std::round(area.top + area.height - cutoffHz / nyquist * area.height);
    cairo_t* cr = painter.context();
    pictureApi().cairo_save(cr);
    pictureApi().cairo_rectangle(cr, area.left, area.top, area.width, area.height);
    pictureApi().cairo_clip(cr);
    const double dashes[] = {8.0, 5.0};
    pictureApi().cairo_set_dash(cr, dashes, 2, 0.0);
    painter.colour(marker);
    painter.line(area.left, y, area.left + area.width - 1, y);
    pictureApi().cairo_set_dash(cr, nullptr, 0, 0.0);
    painter.font(true, kFontSize);
    const std::string label = "Lowpass " + formatFixed(cutoffHz / 1000.0, 1) + " kHz";
    // Above the line, where a lowpassed file is dark; below it near the top edge.
    const double baseline = y - area.top > 22 ? y - 6 : y + 17;
    painter.text(label, area.left + area.width - 8, baseline, 1);
    pictureApi().cairo_restore(cr);
}

void drawTitle(Painter& painter, const PictureLabels& labels, int width)
{
    const double maxWidth = width - 24.0;
    painter.colour(0x101010);
    painter.font(true, kTitleFontSize);
    const std::string conclusion = validUtf8(labels.conclusion);
    const std::string gap = "   ";
    // The answer keeps its room; a long name gives way, down to 40% of the line.
    const double conclusionWidth = conclusion.empty() ? 0.0 : painter.textWidth(gap + conclusion);
    const std::string name =
        painter.fitted(validUtf8(labels.fileName), std::max(maxWidth * 0.4, maxWidth - conclusionWidth));
    painter.text(name, 12, 24);
    if (!conclusion.empty()) {
        const double x = 12 + painter.textWidth(name + gap);
        painter.colour(labels.conclusionColour);
        painter.text(painter.fitted(conclusion, std::max(0.0, maxWidth + 12 - x)), x, 24);
    }

    std::string facts = validUtf8(labels.codec);
    if (labels.sampleRate > 0) {
        facts += (facts.empty() ? "" : ", ") + rateText(labels.sampleRate);
    }
    if (labels.bits > 0) {
        facts += (facts.empty() ? "" : ", ") + std::to_string(labels.bits) + " bit";
    }
    painter.font(false, kFontSize);
    double x = 12;
    const double y = 47;
    const std::string separator = "   |   ";
    bool full = false; // a piece was cut: the line ends with its ellipsis
    auto piece = [&](const std::string& text, std::uint32_t colour, bool bold) {
        if (full) {
            return;
        }
        painter.font(bold, kFontSize);
        const std::string shown = painter.fitted(text, std::max(0.0, maxWidth + 12 - x));
        full = shown != text;
        painter.colour(colour);
        painter.text(shown, x, y);
        x += painter.textWidth(shown);
    };
    piece(facts, 0x303030, false);
    for (const PictureVerdict& verdict : labels.verdicts) {
        const std::string word = validUtf8(verdict.verdict);
        // Findings stand out from the clean verdicts at a glance.
        std::uint32_t colour = 0x303030;
        if (word == "Evidence found") {
            colour = 0xC0392B;
        } else if (word == "Possible") {
            colour = 0xB9770E;
        } else if (word == "No evidence") {
            colour = 0x1E8449;
        }
        piece((x > 12 ? separator : std::string()) + validUtf8(verdict.check) + ": ", 0x303030, false);
        piece(word, colour, true);
    }
}

// libpng reports failures by longjmp: everything it may jump over lives in
// this function and is trivially destructible, and the callbacks never let a
// C++ exception cross libpng.
struct PngOutput {
    std::vector<unsigned char> bytes;
    std::string error;
    bool failed = false;
};

void appendPng(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<PngOutput*>(pictureApi().png_get_io_ptr(png));
    try {
        out->bytes.insert(out->bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        out->failed = true;
        pictureApi().png_error(png, "out of memory");
    }
}

void flushPng(png_structp) {}

void pngError(png_structp png, png_const_charp message)
{
    auto* out = static_cast<PngOutput*>(pictureApi().png_get_error_ptr(png));
    try {
        out->error = message;
    } catch (const std::bad_alloc&) {
    }
    pictureApi().png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// An 8-bit RGB PNG with no optional chunks (no time, text or gamma), so equal
// pixels give equal bytes. zlib level 1 with the Sub filter: the spectrogram's
// noise compresses no more than a few per cent further at level 6 or with
// adaptive filters, which take two to five times as long.
bool writeRgbPng(const unsigned char* rgb, int width, int height, PngOutput& output)
{
    png_structp png = pictureApi().png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, pngError, pngWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = pictureApi().png_create_info_struct(png);
    if (info == nullptr) {
        pictureApi().png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(*pictureApi().png_set_longjmp_fn(png, longjmp, sizeof(jmp_buf)))) {
        pictureApi().png_destroy_write_struct(&png, &info);
        return false;
    }
    pictureApi().png_set_write_fn(png, &output, appendPng, flushPng);
    pictureApi().png_set_compression_level(png, 1);
    pictureApi().png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    pictureApi().png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                              PNG_COLOR_TYPE_RGB,
                              PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    pictureApi().png_write_info(png, info);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        pictureApi().png_write_row(png, rgb + static_cast<std::size_t>(y) * stride);
    }
    pictureApi().png_write_end(png, nullptr);
    pictureApi().png_destroy_write_struct(&png, &info);
    return !output.failed;
}

} // namespace

std::optional<PictureSize> parsePictureSize(std::string_view text)
{
    const std::size_t cross = text.find_first_of("xX");
    if (cross == std::string_view::npos) {
        return std::nullopt;
    }
    auto number = [](std::string_view digits) -> std::optional<int> {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        int value = 0;
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return value;
    };
    const std::optional<int> width = number(text.substr(0, cross));
    const std::optional<int> height = number(text.substr(cross + 1));
    if (!width || !height || *width < PictureSize::kMinWidth || *height < PictureSize::kMinHeight ||
        *width > PictureSize::kMax || *height > PictureSize::kMax) {
        return std::nullopt;
    }
    return PictureSize{*width, *height};
}

PlotArea plotArea(PictureSize size)
{
    return {kLeftMargin, kTitleHeight, size.width - kLeftMargin - kRightMargin,
            size.height - kTitleHeight - kBottomMargin};
}

PictureImage renderSpectrogramImage(const Spectrogram& spectrogram, const PictureLabels& labels, PictureSize size)
{
    checkSize(size);
    if (spectrogram.columns == 0 || spectrogram.bins < 2 || spectrogram.sampleRate <= 0 ||
        spectrogram.levelsDb.size() != spectrogram.columns * spectrogram.bins || !(spectrogram.seconds > 0.0) ||
        !(spectrogram.rangeDb > 0.0)) {
        throw std::invalid_argument("There is no spectrogram to draw.");
    }
    SurfacePtr surface(pictureApi().cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size.width, size.height));
    if (pictureApi().cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("Cannot make a picture of this size.");
    }
    const PlotArea area = plotArea(size);
    const int barLeft = area.left + area.width + kBarGap;

    {
        ContextPtr cr(pictureApi().cairo_create(surface.get()));
        pictureApi().cairo_set_source_rgb(cr.get(), 1.0, 1.0, 1.0);
        pictureApi().cairo_paint(cr.get());
    }
    pictureApi().cairo_surface_flush(surface.get());
    auto* pixels = reinterpret_cast<std::uint32_t*>(pictureApi().cairo_image_surface_get_data(surface.get()));
    const int stridePixels = pictureApi().cairo_image_surface_get_stride(surface.get()) / 4;
    paintPlot(pixels, stridePixels, area, spectrogram);
    paintColourBar(pixels, stridePixels, barLeft, area.top, area.height);
    pictureApi().cairo_surface_mark_dirty(surface.get());

    ContextPtr cr(pictureApi().cairo_create(surface.get()));
    Painter painter(cr.get());
    drawAxes(painter, area, spectrogram);
    drawColourBarScale(painter, barLeft, area.top, area.height, spectrogram.rangeDb);
    if (labels.cutoffHz) {
        drawCutoff(painter, area, spectrogram, *labels.cutoffHz, labels.cutoffColour);
    }
    drawTitle(painter, labels, size.width);
    if (pictureApi().cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("Drawing the picture failed: ") +
                                 pictureApi().cairo_status_to_string(pictureApi().cairo_status(cr.get())));
    }
    cr.reset();
    pictureApi().cairo_surface_flush(surface.get());

    PictureImage image;
    image.width = size.width;
    image.height = size.height;
    image.pixels.resize(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
    for (int y = 0; y < size.height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stridePixels;
        std::uint32_t* out = image.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width);
        for (int x = 0; x < size.width; ++x) {
            out[x] = 0xFF000000u | row[x]; // opaque throughout: premultiplied equals straight
        }
    }
    return image;
}

std::vector<unsigned char> encodePng(const PictureImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
        throw std::invalid_argument("There is no picture to encode.");
    }
    std::vector<unsigned char> rows(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t pixel = image.pixels[i];
        rows[3 * i] = static_cast<unsigned char>(pixel >> 16);
        rows[3 * i + 1] = static_cast<unsigned char>(pixel >> 8);
        rows[3 * i + 2] = static_cast<unsigned char>(pixel);
    }
    PngOutput output;
    if (!writeRgbPng(rows.data(), image.width, image.height, output)) {
        throw std::runtime_error("Encoding the picture failed: " +
                                 (output.error.empty() ? std::string("out of memory") : output.error));
    }
    return std::move(output.bytes);
}

std::vector<unsigned char> renderSpectrogramPng(const Spectrogram& spectrogram, const PictureLabels& labels,
                                                PictureSize size)
{
    return encodePng(renderSpectrogramImage(spectrogram, labels, size));
}

void writePictureFile(const std::filesystem::path& target, std::span<const unsigned char> bytes)
{
    ReplacingFileWriter out(target);
    if (!out.isOpen()) {
        throw std::runtime_error("Cannot create the picture " + displayName(target) + ": " + out.failure() + ".");
    }
    out.write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!out.commit()) {
        throw std::runtime_error("Cannot write the picture " + displayName(target) + ": " + out.failure() + ".");
    }
}

} // namespace orvel
