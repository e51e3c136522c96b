// SPDX-License-Identifier: MIT
#include "picture/colour_map.h"

#include <algorithm>
#include <cmath>

namespace orvel {

namespace {

constexpr double kPi = 3.141592653589793;
// D65 white point of sRGB.
constexpr double kWhiteX = 0.95047;
constexpr double kWhiteY = 1.0;
constexpr double kWhiteZ = 1.08883;

double labInverse(double t)
{
    constexpr double delta = 6.0 / 29.0;
    return t > delta ? t * t * t : 3.0 * delta * delta * (t - 4.0 / 29.0);
}

double labForward(double t)
{
    constexpr double delta = 6.0 / 29.0;
    return t > delta * delta * delta ? std::cbrt(t) : t / (3.0 * delta * delta) + 4.0 / 29.0;
}

struct Linear {
    double r, g, b;
};

Linear linearFromLab(double lightness, double a, double b)
{
    const double fy = (lightness + 16.0) / 116.0;
    const double x = kWhiteX * labInverse(fy + a / 500.0);
    const double y = kWhiteY * labInverse(fy);
    const double z = kWhiteZ * labInverse(fy - b / 200.0);
    return {3.2404542 * x - 1.5371385 * y - 0.4985314 * z, -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
            0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
}

bool inGamut(const Linear& c)
{
    return c.r >= 0.0 && c.r <= 1.0 && c.g >= 0.0 && c.g <= 1.0 && c.b >= 0.0 && c.b <= 1.0;
}

std::uint32_t encodeChannel(double linear)
{
    const double v = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
    return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

double decodeChannel(std::uint32_t value)
{
    const double v = static_cast<double>(value) / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Entry i: L* from 3 to 97 in equal steps, hue turning from violet (290 deg)
// through red to yellow (100 deg), chroma rising then falling towards the
// pale end, reduced where sRGB cannot show it so that L* stays exact.
std::uint32_t entry(std::size_t i)
{
    const double t = static_cast<double>(i) / 255.0;
    const double lightness = 3.0 + 94.0 * t;
    const double hue = (290.0 + 170.0 * t) * kPi / 180.0;
    double chroma = 78.0 * std::sin(kPi * 0.86 * t);
    double low = 0.0;
    double high = chroma;
    if (!inGamut(linearFromLab(lightness, chroma * std::cos(hue), chroma * std::sin(hue)))) {
        for (int step = 0; step < 40; ++step) {
            const double mid = 0.5 * (low + high);
            if (inGamut(linearFromLab(lightness, mid * std::cos(hue), mid * std::sin(hue)))) {
                low = mid;
            } else {
                high = mid;
            }
        }
        chroma = low;
    }
    const Linear c = linearFromLab(lightness, chroma * std::cos(hue), chroma * std::sin(hue));
    return 0xFF000000u | (encodeChannel(c.r) << 16) | (encodeChannel(c.g) << 8) | encodeChannel(c.b);
}

} // namespace

const std::array<std::uint32_t, 256>& levelColours()
{
    static const std::array<std::uint32_t, 256> colours = [] {
        std::array<std::uint32_t, 256> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = entry(i);
        }
        return values;
    }();
    return colours;
}

double lightnessOf(std::uint32_t rgb)
{
    const double y = 0.2126729 * decodeChannel((rgb >> 16) & 0xFF) + 0.7151522 * decodeChannel((rgb >> 8) & 0xFF) +
                     0.0721750 * decodeChannel(rgb & 0xFF);
    return 116.0 * labForward(y / kWhiteY) - 16.0;
}

} // namespace orvel
