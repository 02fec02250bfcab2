// The version is written once, in the build; every place that shows it must agree with it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "generated/version.h"

namespace {

std::string read_text(const char* relative) {
    std::ifstream in(std::string(PELMORA_SOURCE_DIR) + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Version, EveryPlaceThatShowsItAgrees) {
    ASSERT_TRUE(unpack_catalogue());
    const std::string short_version = PELMORA_VERSION_SHORT;
    // The program's name with its version: the window's title, the Info page, --version.
    EXPECT_EQ(to_utf8(text_of(get_common_text(19))), "Pelmora " + short_version);
    // The Info page's version line: "%s 2.85  %s 001", the build padded to three digits.
    char build[8];
    std::snprintf(build, sizeof build, "%03d", PELMORA_VERSION_BUILD);
    EXPECT_EQ(to_utf8(text_of(get_common_text(26))), "%s " + short_version + "  %s " + build);
    // The manifest's identity.
    EXPECT_NE(read_text("res/Pelmora.manifest").find("version=\"" PELMORA_VERSION_TEXT "\""),
              std::string::npos);
    EXPECT_EQ(PELMORA_VERSION_TEXT, short_version + ".0." + std::to_string(PELMORA_VERSION_BUILD));
}

} // namespace
