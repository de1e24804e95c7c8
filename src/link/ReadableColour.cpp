#include "link/ReadableColour.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velmar {

namespace {

double channel(std::uint8_t v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

bool isDark(Rgb background) { return relativeLuminance(background) < 0.18; }

constexpr std::array<Rgb, 3> kGreensForLight = {{{0, 110, 40}, {0, 85, 30}, {0, 60, 20}}};
constexpr std::array<Rgb, 2> kGreensForDark = {{{120, 230, 130}, {170, 250, 180}}};
constexpr std::array<Rgb, 2> kGreysForLight = {{{105, 105, 105}, {70, 70, 70}}};
constexpr std::array<Rgb, 2> kGreysForDark = {{{165, 165, 165}, {200, 200, 200}}};

} // namespace

double relativeLuminance(Rgb c) {
    return 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
}

double contrastRatio(Rgb a, Rgb b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb readableOn(Rgb background, std::span<const Rgb> candidates) {
    Rgb best{};
    double bestRatio = 0.0;
    for (const Rgb& c : candidates) {
        const double ratio = contrastRatio(c, background);
        if (ratio >= kReadableContrast)
            return c;
        if (ratio > bestRatio) {
            bestRatio = ratio;
            best = c;
        }
    }
    return best;
}

Rgb connectedGreenOn(Rgb background) {
    return isDark(background) ? readableOn(background, kGreensForDark)
                              : readableOn(background, kGreensForLight);
}

Rgb offlineGreyOn(Rgb background) {
    return isDark(background) ? readableOn(background, kGreysForDark)
                              : readableOn(background, kGreysForLight);
}

} // namespace velmar
