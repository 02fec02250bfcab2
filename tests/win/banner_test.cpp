// Tests of the banner's scaling to its control.
#include "win/banner.h"

#include <gtest/gtest.h>

namespace {

Picture picture(int width, int height, std::vector<uint32_t> pixels) {
    return {width, height, std::move(pixels)};
}

TEST(Banner, HalfTheHeightAveragesEachSquareOfFour) {
    const Picture source = picture(4, 2,
                                   {0x000000, 0x0000FF, 0x102030, 0x102030, //
                                    0x00FF00, 0xFF0000, 0x102030, 0x305070});
    const Picture half = scale_to_height(source, 2, 1);
    ASSERT_EQ(half.pixels.size(), 2u);
    EXPECT_EQ(half.pixels[0], 0x404040u); // each channel 255 / 4, rounded
    EXPECT_EQ(half.pixels[1], 0x182C40u);
}

TEST(Banner, OneScaleForBothDirectionsThenTheLastColumnGoesOn) {
    const Picture source = picture(2, 2, {0x111111, 0x222222, 0x333333, 0x444444});
    // Twice the height: every source pixel becomes a square of four; the two columns past the
    // picture's right edge repeat its last one.
    const Picture wide = scale_to_height(source, 6, 4);
    const std::vector<uint32_t> expected = {
        0x111111, 0x111111, 0x222222, 0x222222, 0x222222, 0x222222, //
        0x111111, 0x111111, 0x222222, 0x222222, 0x222222, 0x222222, //
        0x333333, 0x333333, 0x444444, 0x444444, 0x444444, 0x444444, //
        0x333333, 0x333333, 0x444444, 0x444444, 0x444444, 0x444444,
    };
    EXPECT_EQ(wide.pixels, expected);
    // Narrower than the scaled picture: its right-hand side is cut, not squeezed.
    const Picture narrow = scale_to_height(source, 1, 2);
    EXPECT_EQ(narrow.pixels, (std::vector<uint32_t>{0x111111, 0x333333}));
}

TEST(Banner, AFractionalScaleWeighsThePartsOfEachPixel) {
    // Three pixels into two: the middle one is split between both.
    const Picture source = picture(3, 3,
                                   {0x000000, 0x0000C0, 0x000060, //
                                    0x000000, 0x0000C0, 0x000060, //
                                    0x000000, 0x0000C0, 0x000060});
    const Picture scaled = scale_to_height(source, 2, 2);
    EXPECT_EQ(scaled.pixels, (std::vector<uint32_t>{0x000040, 0x000080, 0x000040, 0x000080}));
}

TEST(Banner, NothingToScaleGivesNothing) {
    EXPECT_TRUE(scale_to_height(Picture{}, 10, 10).pixels.empty());
    EXPECT_TRUE(scale_to_height(picture(1, 1, {1}), 0, 10).pixels.empty());
    EXPECT_TRUE(scale_to_height(picture(1, 1, {1}), 10, 0).pixels.empty());
}

} // namespace
