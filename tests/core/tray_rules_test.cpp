// Tests of the minimise animation's target rectangle.
#include "core/rules/tray_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(TrayTarget, FirstRuleThatApplies) {
    const TrayRect taskbar_left{0, 0, 60, 1024}; // a taskbar along the left edge
    const TrayRect bottom_bar{0, 994, 1280, 1024};
    const TrayRect work{0, 0, 1280, 994};
    const struct {
        const char* name;
        TrayDesktop desktop;
        TrayRect expected;
    } cases[] = {
        {"notification area found",
         {true, {1100, 996, 1270, 1022}, true, bottom_bar, 3, true, bottom_bar, work},
         {1100, 996, 1270, 1022}},
        // 84 pixels high, its bottom 16 above the taskbar's bottom, the taskbar's full width.
        {"taskbar on the left",
         {false, {}, true, taskbar_left, 0, true, taskbar_left, work},
         {0, 924, 60, 1008}},
        {"taskbar on the right",
         {false, {}, true, {1220, 0, 1280, 1024}, 2, false, {}, work},
         {1220, 924, 1280, 1008}},
        {"taskbar at the top", {false, {}, true, {0, 0, 1280, 30}, 1, false, {}, work}, {1180, 0, 1264, 30}},
        {"taskbar at the bottom", {false, {}, true, bottom_bar, 3, false, {}, work}, {1180, 994, 1264, 1024}},
        {"an unknown edge", {false, {}, true, bottom_bar, 7, true, bottom_bar, work}, {0, 0, 0, 0}},
        {"only the taskbar window",
         {false, {}, false, {}, 0, true, bottom_bar, work},
         {1130, 994, 1280, 1024}},
        {"a small taskbar window stays whole",
         {false, {}, false, {}, 0, true, {10, 10, 110, 30}, work},
         {10, 10, 110, 30}},
        {"no taskbar at all", {false, {}, false, {}, 0, false, {}, work}, {1130, 964, 1280, 994}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tray_target(c.desktop), c.expected) << c.name;
}

} // namespace
