// The run options from the window: the dialog, its settings, and the runs it makes, which are the
// files pelmora-cli makes with the same options. Pelmora.exe under Wine, driven from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "res/resource.h"
#include "tests/win/program_driver.h"
#include "tests/win/run_files.h"

namespace {

HWND generation_page(HWND dialog) {
    return dialog != nullptr ? Program::page_with(dialog, IDC_START) : nullptr;
}

// Opens the options dialog from the page (posted: the dialog is modal) and returns it once shown.
HWND open_options(HWND page) {
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS, BN_CLICKED), 0);
    HWND options = nullptr;
    wait_until([&] { return visible(options = FindWindowW(L"#32770", L"Run options")); });
    return options;
}

void set_field(HWND window, int id, const wchar_t* value) {
    SendDlgItemMessageW(window, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value));
}

// The text of the error box with `caption`, which is then closed; empty when none showed.
std::wstring take_error(const wchar_t* caption) {
    HWND box = nullptr;
    if (!wait_until([&] { return visible(box = FindWindowW(L"#32770", caption)); }, 10))
        return L"";
    const std::wstring shown = window_text(GetDlgItem(box, 0xFFFF));
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    wait_until([&] { return !visible(FindWindowW(L"#32770", caption)); });
    return shown;
}

void select_type(HWND page, int type) {
    HWND types = GetDlgItem(page, IDC_TYPE);
    SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(type), 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_TYPE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
}

TEST(OptionsDialog, RefusesValuesOutOfRangeStoresTheOthersAndReadsThemAtTheNextStart) {
    Program program(L"[Program]\r\nfiles_type=2\r\n", true);
    HWND dialog = program.start_shown();
    HWND page = generation_page(dialog);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_OPTIONS)), L"&Options...");
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_OPTIONS_LINE)), L"") << "all defaults";
    HWND options = open_options(page);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_SEED)), L"");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_COMPRESS)), L"100");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_DEDUPE)), L"0");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_JOBS)), L"1");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, IDC_COMPRESS))) << "random data takes a shape";

    const struct {
        int field;
        const wchar_t* value;
        const wchar_t* message;
    } refused[] = {
        {IDC_SEED, L"1125899906842624",
         L"The value \"1125899906842624\" for \"Seed\" cannot be taken: write a whole number from 0 to "
         L"1125899906842623."},
        {IDC_SEED, L"-3",
         L"The value \"-3\" for \"Seed\" cannot be taken: write a whole number from 0 to "
         L"1125899906842623."},
        {IDC_COMPRESS, L"0",
         L"The value \"0\" for \"Compressible to\" cannot be taken: write a whole number "
         L"from 1 to 100."},
        {IDC_COMPRESS, L"101",
         L"The value \"101\" for \"Compressible to\" cannot be taken: write a whole "
         L"number from 1 to 100."},
        {IDC_DEDUPE, L"100",
         L"The value \"100\" for \"Duplicate blocks\" cannot be taken: write a whole "
         L"number from 0 to 99."},
        {IDC_JOBS, L"65",
         L"The value \"65\" for \"Jobs (files at once)\" cannot be taken: write a whole "
         L"number from 1 to 64."},
        {IDC_JOBS, L"two",
         L"The value \"two\" for \"Jobs (files at once)\" cannot be taken: write a whole "
         L"number from 1 to 64."},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(testing::Message() << "field " << c.field);
        set_field(options, IDC_SEED, L"7");
        set_field(options, IDC_COMPRESS, L"40");
        set_field(options, IDC_DEDUPE, L"30");
        set_field(options, IDC_JOBS, L"4");
        set_field(options, c.field, c.value);
        PostMessageW(options, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(take_error(L"Attention"), c.message);
        EXPECT_TRUE(visible(options)) << "the dialog stays";
        EXPECT_EQ(program.ini_text().find(L"compress="), std::wstring::npos) << "nothing stored";
    }
    set_field(options, IDC_SEED, L"7");
    set_field(options, IDC_JOBS, L"4");
    // The units from 4 KB up, then whole files; 64 KB is the fifth.
    ASSERT_EQ(SendDlgItemMessageW(options, IDC_DEDUPE_UNIT, CB_GETCOUNT, 0, 0), 16);
    EXPECT_EQ(SendDlgItemMessageW(options, IDC_DEDUPE_UNIT, CB_GETCURSEL, 0, 0), 0) << "4 KB unless chosen";
    SendDlgItemMessageW(options, IDC_DEDUPE_UNIT, CB_SETCURSEL, 4, 0);
    SendDlgItemMessageW(options, IDC_DIRECT, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageW(options, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(wait_until([&] { return !visible(options); }));
    const std::wstring ini = program.ini_text();
    for (const wchar_t* line : {L"seed=7\r\n", L"compress=40\r\n", L"dedupe=30\r\n", L"dedupe_unit=64K\r\n",
                                L"jobs=4\r\n", L"direct=1\r\n", L"fill=0\r\n", L"sync=0\r\n"})
        EXPECT_NE(ini.find(line), std::wstring::npos) << line;
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_OPTIONS_LINE)),
              L"40 % compressible, 30 % duplicates in 64 KB blocks, seed 7, 4 jobs, past the cache");
    select_type(page, 0);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_OPTIONS_LINE)), L"seed 7, 4 jobs, past the cache")
        << "the shape is random data's";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(program.exit_code(), 1);

    // A new start reads them back; with another type the shape's fields are greyed.
    dialog = program.start_shown();
    page = generation_page(dialog);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_OPTIONS_LINE)),
              L"40 % compressible, 30 % duplicates in 64 KB blocks, seed 7, 4 jobs, past the cache");
    select_type(page, 1);
    options = open_options(page);
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_SEED)), L"7");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_COMPRESS)), L"40");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_DEDUPE)), L"30");
    EXPECT_EQ(window_text(GetDlgItem(options, IDC_JOBS)), L"4");
    EXPECT_EQ(SendDlgItemMessageW(options, IDC_DEDUPE_UNIT, CB_GETCURSEL, 0, 0), 4);
    EXPECT_EQ(SendDlgItemMessageW(options, IDC_DIRECT, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendDlgItemMessageW(options, IDC_FILL, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, IDC_COMPRESS)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, IDC_DEDUPE)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(options, IDC_DEDUPE_UNIT)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(options, IDC_JOBS)));
    // Cancel keeps what was stored.
    set_field(options, IDC_JOBS, L"9");
    PostMessageW(options, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(wait_until([&] { return !visible(options); }));
    EXPECT_NE(program.ini_text().find(L"jobs=4\r\n"), std::wstring::npos);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
}

TEST(OptionsDialog, AValueOutOfRangeInTheSettingsFileStartsNothing) {
    const struct {
        const wchar_t* setting;
        const wchar_t* message; // in the language of the interface
    } cases[] = {
        {L"compress=500", L"Der Wert \"500\" f\u00FCr \"Komprimierbar auf\" ist nicht m\u00F6glich: "
                          L"Geben Sie eine ganze Zahl von 1 bis 100 an."},
        {L"dedupe_unit=3K", L"Der Wert \"3K\" f\u00FCr \"Einheit der Duplikate\" ist nicht m\u00F6glich: "
                            L"W\u00E4hlen Sie eine Gr\u00F6\u00DFe von 4 KB bis 64 MB oder ganze Dateien."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "setting " << std::string(c.setting, c.setting + wcslen(c.setting)));
        explorer_record();
        const std::wstring folder = fresh_folder(L"bad-option");
        Program program(
            L"[Program]\r\nlng=0\r\nFolder=" + folder + L"\r\nfiles_type=2\r\n" + c.setting + L"\r\n", true);
        HWND dialog = program.start_shown();
        HWND page = generation_page(dialog);
        ASSERT_NE(page, nullptr);
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
        EXPECT_EQ(take_error(L"Achtung!"), c.message);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) << "no run";
        EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing made";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

// The bytes of every file in `folder`, by name.
std::vector<std::pair<std::wstring, std::string>> run_contents(const std::wstring& folder) {
    std::vector<std::pair<std::wstring, std::string>> contents;
    for (const std::wstring& name : files_in(folder))
        contents.emplace_back(name, read_bytes(folder + L"\\" + name));
    std::sort(contents.begin(), contents.end());
    return contents;
}

struct SameBytesCase {
    const wchar_t* name;
    const wchar_t* settings;   // the options in the settings file
    int type;                  // the type chosen on the page
    const wchar_t* cli;        // pelmora-cli's options for the same run, without the seed
    const wchar_t* first_name; // how the first file's name begins
};

void PrintTo(const SameBytesCase& c, std::ostream* out) {
    const std::wstring name = c.name;
    *out << std::string(name.begin(), name.end());
}

class SameBytesAsTheCommandLine : public testing::TestWithParam<SameBytesCase> {};

// A run from the window and pelmora-cli with the same options make the same files; a run without
// a seed shows the one it drew, which makes the same files again.
TEST_P(SameBytesAsTheCommandLine, ARunFromTheWindowIsTheCommandLinesRun) {
    const SameBytesCase& c = GetParam();
    const std::wstring record = explorer_record();
    const std::wstring window_folder = fresh_folder(std::wstring(L"window-") + c.name);
    const std::wstring cli_folder = fresh_folder(std::wstring(L"cli-") + c.name);
    Program program(L"[Program]\r\nFolder=" + window_folder +
                        L"\r\nfiles_c=3\r\nfiles_size=100\r\nfiles_type=" + std::to_wstring(c.type) +
                        L"\r\n" + c.settings,
                    true);
    HWND dialog = program.start_shown();
    HWND page = generation_page(dialog);
    ASSERT_NE(page, nullptr);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); })) << "the run ends";
    ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
    const std::wstring ini = program.ini_text();
    const size_t at = ini.find(L"last_seed=");
    ASSERT_NE(at, std::wstring::npos) << "the run's seed is kept";
    const std::wstring seed = ini.substr(at + 10, ini.find(L"\r\n", at) - at - 10);
    EXPECT_EQ(end_program(program, dialog), 1);

    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), std::wstring(L"-q -n 3 -s 100 -o \"") + cli_folder +
                                                      L"\" " + c.cli + L" --seed " + seed),
              0);
    const auto from_window = run_contents(window_folder);
    const auto from_cli = run_contents(cli_folder);
    ASSERT_EQ(from_window.size(), 3u);
    EXPECT_EQ(from_window[0].first.rfind(c.first_name, 0), 0u) << from_window[0].first.c_str();
    ASSERT_EQ(from_cli.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(from_window[i].first, from_cli[i].first);
        EXPECT_EQ(from_window[i].second.size(), 100u * 1024);
        EXPECT_TRUE(from_window[i].second == from_cli[i].second) << "file " << i + 1;
    }
    remove_run_folder(window_folder);
    remove_run_folder(cli_folder);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SameBytesAsTheCommandLine,
    testing::Values(SameBytesCase{L"shaped", L"seed=7\r\ncompress=40\r\ndedupe=30\r\njobs=4\r\n", 2,
                                  L"--compress 40 --dedupe 30 --jobs 4",
                                  L"random_c40_d30__001_0000000000000007"},
                    SameBytesCase{L"unit",
                                  L"seed=7\r\ncompress=40\r\ndedupe=30\r\n"
                                  L"dedupe_unit=64K\r\njobs=2\r\n",
                                  2, L"--compress 40 --dedupe 30 --dedupe-unit 64K --jobs 2",
                                  L"random_c40_d30_u64k__001_0000000000000007"},
                    SameBytesCase{L"drawn", L"jobs=2\r\nsync=1\r\n", 0, L"-t 0 --jobs 2 --sync",
                                  L"non_compressible__001_"}),
    [](const testing::TestParamInfo<SameBytesCase>& instance) {
        const std::wstring name = instance.param.name;
        return std::string(name.begin(), name.end());
    });

} // namespace
