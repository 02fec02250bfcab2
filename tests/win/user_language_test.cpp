// The language a first start chooses from the user's language. Wine takes the user's language
// from the locale of the Unix environment, so ctest runs this once per locale, with the text
// catalogue language it must then choose in PELMORA_EXPECTED_LANGUAGE.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "res/resource.h"
#include "tests/win/program_driver.h"

namespace {

TEST(UserLanguage, FirstStartFollowsIt) {
    const char* language = std::getenv("PELMORA_EXPECTED_LANGUAGE");
    ASSERT_NE(language, nullptr) << "run by ctest with PELMORA_EXPECTED_LANGUAGE set";
    ASSERT_TRUE(unpack_catalogue());
    language_index = std::atoi(language);
    const std::u16string expected = get_text(kTextProgram);
    Program program;
    ASSERT_TRUE(program.start());
    HWND dialog = program.dialog();
    ASSERT_TRUE(wait_until([&] { return dialog != nullptr && IsWindowVisible(dialog); }));
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PAGE_PROGRAM)),
              std::wstring(expected.begin(), expected.end()));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    EXPECT_EQ(program.ini_text().find(L"lng="), std::wstring::npos) << "the chosen default is not written";
}

} // namespace
