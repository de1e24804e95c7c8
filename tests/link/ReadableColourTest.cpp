#include "link/ReadableColour.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(ReadableColour, ContrastFollowsTheGuidelinesFormula) {
    EXPECT_NEAR(contrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio({119, 119, 119}, {255, 255, 255}), 4.48, 0.01);
    EXPECT_DOUBLE_EQ(contrastRatio({10, 20, 30}, {10, 20, 30}), 1.0);
    // The old pure green on white reads at well under half of what text needs.
    EXPECT_LT(contrastRatio({0, 255, 0}, {255, 255, 255}), 1.5);
}

TEST(ReadableColour, GreenAndGreyReadOnEveryBackgroundTheListPaints) {
    const Rgb backgrounds[] = {
        {255, 255, 255}, {245, 245, 245}, {190, 240, 190}, {255, 225, 150},
        {255, 170, 170}, {30, 30, 30},    {0, 0, 0},       {19, 56, 79} /* a selection, darkened */,
    };
    for (const Rgb& b : backgrounds) {
        const Rgb green = connectedGreenOn(b);
        EXPECT_GE(contrastRatio(green, b), kReadableContrast) << int(b.r) << "," << int(b.g);
        EXPECT_GT(green.g, green.r) << "still green";
        EXPECT_GT(green.g, green.b);
        EXPECT_GE(contrastRatio(offlineGreyOn(b), b), kReadableContrast) << int(b.r);
    }
}

TEST(ReadableColour, FirstReadableCandidateElseTheBest) {
    const Rgb candidates[] = {{200, 200, 200}, {90, 90, 90}, {0, 0, 0}};
    EXPECT_EQ(readableOn({255, 255, 255}, candidates), (Rgb{90, 90, 90}));
    const Rgb weak[] = {{250, 250, 250}, {200, 200, 200}};
    EXPECT_EQ(readableOn({255, 255, 255}, weak), (Rgb{200, 200, 200}));
}

} // namespace
} // namespace velmar
