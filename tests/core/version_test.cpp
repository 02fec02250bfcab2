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
    // The packages the README tells users to download.
    const std::string readme = read_text("README.md");
    EXPECT_NE(readme.find("`Pelmora-" + short_version + "-win64.zip`"), std::string::npos);
    EXPECT_NE(readme.find("`pelmora-cli_" + short_version + "_amd64.deb`"), std::string::npos);
    EXPECT_NE(readme.find("`pelmora-cli (Pelmora) " + short_version + "`"), std::string::npos);
    EXPECT_NE(read_text("CHANGELOG.md").find("## [" + short_version + "]"), std::string::npos);
}

// The licence is written once, in LICENSE; the window's Info page, the version resource, the README
// and the manual page state the same holder and years.
TEST(Licence, EveryPlaceThatStatesItAgrees) {
    const std::string licence = read_text("LICENSE");
    ASSERT_EQ(licence.rfind("MIT License\n", 0), 0u);
    const size_t at = licence.find("Copyright (c) ");
    ASSERT_NE(at, std::string::npos);
    // "2025-2026 The Pelmora team"
    const std::string holder = licence.substr(at + 14, licence.find('\n', at) - at - 14);
    EXPECT_NE(holder.find("The Pelmora team"), std::string::npos) << holder;

    ASSERT_TRUE(unpack_catalogue());
    EXPECT_EQ(to_utf8(text_of(get_common_text(27))), "Copyright (C) " + holder + ", MIT License");
    EXPECT_NE(read_text("res/Pelmora.rc").find("\"LegalCopyright\", \"Copyright (C) " + holder + "\""),
              std::string::npos);
    const std::string readme = read_text("README.md");
    EXPECT_NE(readme.find("MIT License"), std::string::npos);
    EXPECT_NE(readme.find("(LICENSE)"), std::string::npos) << "the README links the licence";
    EXPECT_NE(readme.find("Copyright (c) " + holder), std::string::npos);
    std::string roff_holder = holder;
    for (size_t dash = roff_holder.find('-'); dash != std::string::npos;
         dash = roff_holder.find('-', dash + 2))
        roff_holder.replace(dash, 1, "\\(en");
    EXPECT_NE(read_text("cli/pelmora-cli.1.in").find("Copyright \\(co " + roff_holder), std::string::npos);
}

} // namespace
