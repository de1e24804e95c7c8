#pragma once

#include <cstdint>
#include <span>

namespace velmar {

// A colour as 8-bit red, green and blue.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Relative luminance and contrast ratio as accessibility guidelines define
// them: 1 (same) to 21 (black on white). Text wants 4.5 at least.
double relativeLuminance(Rgb c);
double contrastRatio(Rgb a, Rgb b);
inline constexpr double kReadableContrast = 4.5;

// The first of `candidates` that reads on `background`, else the one that
// reads best. Candidates go from the most to the least colourful.
Rgb readableOn(Rgb background, std::span<const Rgb> candidates);

// The connected frame's green and a lost frame's grey, chosen for the
// background they are drawn on: dark shades on light backgrounds, light ones
// on dark backgrounds.
Rgb connectedGreenOn(Rgb background);
Rgb offlineGreyOn(Rgb background);

} // namespace velmar
