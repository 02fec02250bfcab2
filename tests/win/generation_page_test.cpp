// Generating from the window: Pelmora.exe under Wine, driven from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "core/run/file_reader.h"
#include "core/run/verify.h"
#include "res/resource.h"
#include "tests/win/program_driver.h"
#include "tests/win/run_files.h"

#include <shlobj.h>

namespace {

// Starts the program and waits for its dialog; returns the generation page (null if it never showed).
HWND start_on_generation_page(Program& program, HWND& dialog) {
    dialog = program.start_shown();
    return dialog != nullptr ? Program::page_with(dialog, IDC_START) : nullptr;
}

// The settings of a run of one 8 GiB file into `folder`: long enough to act on while it runs.
std::wstring big_run_settings(const std::wstring& folder) {
    return L"[Program]\r\nFolder=" + folder + L"\r\nfiles_size=8388608\r\n";
}

// Starts the run the program's settings describe from the generation page, and waits for its first
// running report (some megabytes are written by then); the page, or null when none came.
HWND start_run_and_wait_for_report(Program& program, HWND& dialog) {
    HWND page = start_on_generation_page(program, dialog);
    if (page == nullptr)
        return nullptr;
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    return wait_until([&] { return !window_text(GetDlgItem(page, IDC_STATUS_UPPER)).empty(); }) ? page
                                                                                                : nullptr;
}

struct StartCase {
    const wchar_t* count;
    const wchar_t* size;
    const wchar_t* count_read; // the fields as they read afterwards
    const wchar_t* size_read;
    size_t files;
    size_t kilobytes;
};

class GenerationPageStart : public testing::TestWithParam<StartCase> {};

TEST_P(GenerationPageStart, TakesTheFieldsAsTheyStandAndRevealsTheLastFile) {
    const StartCase& c = GetParam();
    const std::wstring record = explorer_record();
    const std::wstring top = fresh_folder(L"page");
    const std::wstring folder = top + L"\\one\\two\\three";
    Program program(L"[Program]\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    SendDlgItemMessageW(page, IDC_COUNT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.count));
    SendDlgItemMessageW(page, IDC_FILE_SIZE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.size));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);

    ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); })) << "Explorer is started at the end";
    ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_COUNT)), c.count_read);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_FILE_SIZE)), c.size_read);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"Start");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)));
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_UPPER)).rfind(L"Finished   :||  \u00D8 ", 0), 0u);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_LOWER)), L"");

    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), c.files);
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i].rfind(L"non_compressible__00" + std::to_wstring(i + 1) + L"_", 0), 0u);
    // Every word follows from the one before it by the generator, from file to file as well: the
    // program's own check reads them.
    const std::unique_ptr<FileReader> reader = make_file_reader();
    const FolderCheck check = verify_folder(std::u16string(folder.begin(), folder.end()), *reader);
    ASSERT_EQ(check.runs.size(), 1u) << check.error;
    EXPECT_EQ(check.runs[0].files_type, kGeneratorData);
    EXPECT_EQ(check.runs[0].files_found, c.files);
    EXPECT_EQ(check.runs[0].file_bytes, c.kilobytes * 1024);
    EXPECT_TRUE(check.runs[0].intact());
    const std::wstring last = folder + L"\\" + files.back();
    EXPECT_NE(read_record(record).find(L" /select,\"" + last + L"\",/e"), std::wstring::npos) << "record";

    const std::wstring ini = program.ini_text();
    EXPECT_NE(ini.find(std::wstring(L"files_c=") + c.count_read + L"\r\n"), std::wstring::npos);
    EXPECT_NE(ini.find(std::wstring(L"files_size=") + c.size_read + L"\r\n"), std::wstring::npos);
    EXPECT_NE(ini.find(L"files_type=0\r\n"), std::wstring::npos);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    for (const std::wstring& name : files)
        DeleteFileW((folder + L"\\" + name).c_str());
    for (const std::wstring& level : {folder, top + L"\\one\\two", top + L"\\one", top})
        RemoveDirectoryW(level.c_str());
}

const char* const kStartCaseNames[] = {"TextAndAUnit", "ThreeFiles", "MegabytesWithAPoint"};
INSTANTIATE_TEST_SUITE_P(Fields, GenerationPageStart,
                         testing::Values(StartCase{L"abc", L"12k", L"1", L"12", 1, 12},
                                         StartCase{L"3", L"5", L"3", L"5", 3, 5},
                                         StartCase{L"2", L"1.5M", L"2", L"1536", 2, 1536}),
                         [](const testing::TestParamInfo<StartCase>& instance) {
                             return std::string(kStartCaseNames[instance.index]);
                         });

struct SizeCase {
    const wchar_t* typed;
    const wchar_t* message; // empty: the size is taken, and the field then shows its kilobytes
    const wchar_t* kilobytes;
};

// Sizes with units in the size field. The destination is a file, so a run that starts stops at
// once with its error and writes nothing; a size that cannot be taken starts nothing.
TEST(GenerationPage, TheSizeFieldTakesUnitsAndRefusesWhatItCannotRead) {
    explorer_record();
    const std::wstring occupied = fresh_folder(L"units");
    std::ofstream(occupied.c_str()) << "x";
    Program program(L"[Program]\r\nFolder=" + occupied + L"\r\nfiles_size=7\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    const std::wstring unreadable =
        L"\" cannot be read: write whole kilobytes (512), or a number with K, M, G "
        L"or T (1.5M, 10G; 1K = 1024 bytes).";
    const SizeCase cases[] = {
        {L"10G", L"", L"10485760"},
        {L"512K", L"", L"512"},
        {L"1.5M", L"", L"1536"},
        {L"2047g", L"", L"2146435072"},
        {L"300", L"", L"300"},
        {L"10X", unreadable.c_str(), nullptr},
        {L"12abc", unreadable.c_str(), nullptr},
        {L"1.5K", unreadable.c_str(), nullptr},
        // The forms the command line refuses, the field refuses too.
        {L"10GB", unreadable.c_str(), nullptr},
        {L" 4 ", unreadable.c_str(), nullptr},
        {L".5M", unreadable.c_str(), nullptr},
        {L"", unreadable.c_str(), nullptr},
        {L"4T", L"\" is too large: a file may have at most 2147483647 KB.", nullptr},
        {L"-5", L"The size of the files must not be negative.", nullptr},
    };
    std::wstring stored = L"files_size=7\r\n";
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "size \"" << std::string(c.typed, c.typed + wcslen(c.typed)) << "\"");
        SendDlgItemMessageW(page, IDC_FILE_SIZE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.typed));
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
        HWND box = nullptr;
        ASSERT_TRUE(wait_until([&] {
            box = FindWindowW(L"#32770", L"Attention");
            return visible(box);
        }));
        const std::wstring shown = window_text(GetDlgItem(box, 0xFFFF));
        if (*c.message == 0) {
            EXPECT_EQ(shown, L"Could not open the target file\r\n" + occupied) << "the run started";
            EXPECT_EQ(window_text(GetDlgItem(page, IDC_FILE_SIZE)), c.kilobytes);
            stored = std::wstring(L"files_size=") + c.kilobytes + L"\r\n";
        } else {
            const bool negative = c.typed[0] == L'-';
            EXPECT_EQ(shown, negative ? std::wstring(c.message) + L"\r\n" + c.typed
                                      : L"The size \"" + std::wstring(c.typed) + c.message);
            EXPECT_EQ(window_text(GetDlgItem(page, IDC_FILE_SIZE)), c.typed) << "left as typed";
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) << "no run";
            EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"Start");
        }
        EXPECT_NE(program.ini_text().find(stored), std::wstring::npos) << "only a size taken is stored";
        SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(wait_until([&] { return !visible(FindWindowW(L"#32770", L"Attention")); }));
        ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);

    // The message is in the language of the interface.
    Program german(L"[Program]\r\nlng=0\r\nFolder=" + occupied + L"\r\n", true);
    page = start_on_generation_page(german, dialog);
    ASSERT_NE(page, nullptr);
    SendDlgItemMessageW(page, IDC_FILE_SIZE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"10X"));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    HWND box = nullptr;
    ASSERT_TRUE(wait_until([&] {
        box = FindWindowW(L"#32770", L"Achtung!");
        return visible(box);
    }));
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)).rfind(L"Die Gr\u00F6\u00DFe \"10X\" ist nicht lesbar", 0),
              0u);
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(wait_until([&] { return !visible(FindWindowW(L"#32770", L"Achtung!")); }));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(german.exit_code(), 1);
    DeleteFileW(occupied.c_str());
}

TEST(GenerationPage, TheThirdTypeMakesRandomFilesAndIsKeptAcrossARestart) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"random");
    Program program(L"[Program]\r\nFolder=" + folder + L"\r\nfiles_size=3\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    HWND types = GetDlgItem(page, IDC_TYPE);
    ASSERT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), 0);
    SendMessageW(types, CB_SETCURSEL, 2, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_TYPE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
    EXPECT_EQ(window_text(types), L"Random File (not compressible)");
    SendDlgItemMessageW(page, IDC_COUNT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2"));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); })) << "Explorer is started at the end";
    ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));

    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].rfind(L"random__001_", 0), 0u) << files[0].c_str();
    EXPECT_EQ(files[1].rfind(L"random__002_", 0), 0u) << files[1].c_str();
    // The data is what the seed in the tag makes, byte for byte.
    const std::unique_ptr<FileReader> reader = make_file_reader();
    const FolderCheck check = verify_folder(std::u16string(folder.begin(), folder.end()), *reader);
    ASSERT_EQ(check.runs.size(), 1u) << check.error;
    EXPECT_EQ(check.runs[0].files_type, kRandomData);
    EXPECT_EQ(check.runs[0].file_bytes, 3u * 1024);
    EXPECT_TRUE(check.runs[0].intact());
    const std::wstring ini = program.ini_text();
    EXPECT_NE(ini.find(L"files_type=2\r\n"), std::wstring::npos) << ini.c_str();
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(program.exit_code(), 1);

    // The same settings file in a fresh start: the list shows the third type again.
    Program again(ini, true);
    HWND second_dialog = nullptr;
    HWND second_page = start_on_generation_page(again, second_dialog);
    ASSERT_NE(second_page, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(second_page, IDC_TYPE, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(window_text(GetDlgItem(second_page, IDC_TYPE)), L"Random File (not compressible)");
    PostMessageW(second_dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(again.exit_code(), 1);
    for (const std::wstring& name : files)
        DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(GenerationPage, APresetChangesOnlyTheSizeField) {
    Program program(L"[Program]\r\nfiles_size=77\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    // Three downs reach the third entry, "1 MB".
    ASSERT_TRUE(choose_in_menu(page, MAKEWPARAM(IDC_PRESETS, BN_CLICKED), VK_DOWN, 3,
                               [&] { return window_text(GetDlgItem(page, IDC_FILE_SIZE)) == L"1024"; }));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_COUNT)), L"1");
    EXPECT_NE(program.ini_text().find(L"files_size=77"), std::wstring::npos)
        << "stored only at the next Start";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
}

TEST(GenerationPage, ADestinationThatIsAFileIsReported) {
    explorer_record();
    const std::wstring occupied = fresh_folder(L"occupied");
    std::ofstream(occupied.c_str()) << "x";
    Program program(L"[Program]\r\nFolder=" + occupied + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);

    // The error box belongs to the program and carries the folder.
    HWND box = nullptr;
    ASSERT_TRUE(wait_until([&] {
        box = FindWindowW(L"#32770", L"Attention");
        return visible(box);
    }));
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), L"Could not open the target file\r\n" + occupied);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) << "Exit is off while the run is busy";
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"Start");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    DeleteFileW(occupied.c_str());
}

TEST(GenerationPage, CancelDuringALargeFileLeavesItPartial) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"cancel");
    Program program(big_run_settings(folder), true);
    HWND dialog = nullptr;
    HWND page = start_run_and_wait_for_report(program, dialog);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"&Cancel");
    // The fields are stored on every press, before the question.
    SendDlgItemMessageW(page, IDC_COUNT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"7"));
    SendDlgItemMessageW(page, IDC_FILE_SIZE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"3"));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);

    HWND question = nullptr;
    ASSERT_TRUE(wait_until([&] {
        question = FindWindowW(L"#32770", L"");
        return visible(question);
    }));
    EXPECT_EQ(window_text(GetDlgItem(question, 0xFFFF)), L"Do you want to cancel the current operation? ");
    EXPECT_NE(program.ini_text().find(L"files_c=7\r\n"), std::wstring::npos);
    EXPECT_NE(program.ini_text().find(L"files_size=3\r\n"), std::wstring::npos);
    SendMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_START)) == L"Start"; }, 30));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_UPPER)), L"Canceled");
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_LOWER)), L"");

    const auto files = files_in(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].ends_with(L".file.partial")) << "set apart from whole files";
    const std::wstring path = folder + L"\\" + files[0];
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info));
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, 8388608ull * 1024) << "the file stays as far as it got";
    EXPECT_TRUE(wait_until([&] { return read_record(record).find(path) != std::wstring::npos; }, 5))
        << "Explorer shows the cancelled file";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(GenerationPage, EndingTheProgramDuringARunEndsWithinHalfASecondAndLeavesNoFileOpen) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"end");
    Program program(big_run_settings(folder), true);
    HWND dialog = nullptr;
    HWND page = start_run_and_wait_for_report(program, dialog);
    ASSERT_NE(page, nullptr);
    Sleep(300); // well into the run, with progress reports going to the page

    // The program waits up to 3 seconds for the run to close its file before it ends; ending
    // within half a second means the run closed it.
    const auto asked = std::chrono::steady_clock::now();
    PostMessageW(program.hidden_window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.exit_code(8000), 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    std::printf("ended %.3f s after it was asked to\n", seconds);
    EXPECT_LT(seconds, 0.5);
    EXPECT_FALSE(wait_until([&] { return !read_bytes(record).empty(); }, 2))
        << "no Explorer window as the program ends";
    const auto files = files_in(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(files[0].ends_with(L".file.partial")) << "set apart from whole files";
    const std::wstring path = folder + L"\\" + files[0];
    // Nothing holds the file afterwards: it opens for writing exclusively and goes.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    RemoveDirectoryW(folder.c_str());
}

TEST(GenerationPage, EscAndTheCloseBoxDoNothingDuringARun) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"esc");
    Program program(big_run_settings(folder), true);
    HWND dialog = nullptr;
    HWND page = start_run_and_wait_for_report(program, dialog);
    ASSERT_NE(page, nullptr);
    ASSERT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));

    // Esc in a field, the close box, and the command both of them become.
    HWND field = GetDlgItem(page, IDC_COUNT);
    PostMessageW(field, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(field, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(1500), -1) << "still running";
    EXPECT_TRUE(visible(dialog));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_START)), L"&Cancel") << "the run goes on";

    // Cancelled, the run ends as always; then Esc ends the program.
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    HWND question = nullptr;
    ASSERT_TRUE(wait_until([&] {
        question = FindWindowW(L"#32770", L"");
        return visible(question);
    }));
    SendMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_START)) == L"Start"; }, 30));
    ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
    PostMessageW(field, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(field, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    EXPECT_EQ(program.exit_code(), 1);
    for (const std::wstring& name : files_in(folder))
        DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(GenerationPage, ACountAboveTheLimitBecomes65536) {
    explorer_record();
    const std::wstring folder = fresh_folder(L"many");
    Program program(L"[Program]\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    SendDlgItemMessageW(page, IDC_COUNT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"100000"));
    SendDlgItemMessageW(page, IDC_FILE_SIZE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_COUNT)) == L"65536"; }));
    ASSERT_TRUE(wait_until([&] { return !files_in(folder).empty(); }));
    // Writing 65,536 files takes minutes under Wine: the numbers' width tells the count.
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    HWND question = nullptr;
    ASSERT_TRUE(wait_until([&] { return visible(question = FindWindowW(L"#32770", L"")); }));
    SendMessageW(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_START)) == L"Start"; }, 30));
    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(files.front().rfind(L"non_compressible__00001_", 0), 0u) << "five digits: 10,000 files or more";
    EXPECT_LT(files.size(), 65536u);
    EXPECT_NE(program.ini_text().find(L"files_c=65536\r\n"), std::wstring::npos);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    for (const std::wstring& name : files)
        DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

// The folder browser's tree selection, read through memory in the browser's process.
class RemoteTree {
public:
    explicit RemoteTree(HWND browser) {
        tree_ = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
        for (HWND child = GetWindow(browser, GW_CHILD); tree_ == nullptr && child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            tree_ = FindWindowExW(child, nullptr, WC_TREEVIEWW, nullptr);
        DWORD process_id = 0;
        GetWindowThreadProcessId(browser, &process_id);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
        if (process_ != nullptr)
            memory_ = VirtualAllocEx(process_, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteTree() {
        if (memory_ != nullptr)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            CloseHandle(process_);
    }
    bool usable() const { return tree_ != nullptr && memory_ != nullptr; }
    // Puts `path` into the browser's process, where BFFM_SETSELECTIONW looks for it.
    LPARAM path(const std::wstring& text) {
        WriteProcessMemory(process_, static_cast<char*>(memory_) + 2048, text.c_str(),
                           (text.size() + 1) * sizeof(wchar_t), nullptr);
        return reinterpret_cast<LPARAM>(static_cast<char*>(memory_) + 2048);
    }
    std::wstring selected() {
        const auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
        if (item == nullptr)
            return {};
        TVITEMW request = {};
        request.mask = TVIF_TEXT;
        request.hItem = item;
        request.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(memory_) + 512);
        request.cchTextMax = 256;
        WriteProcessMemory(process_, memory_, &request, sizeof request, nullptr);
        SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory_));
        wchar_t text[256] = {};
        ReadProcessMemory(process_, request.pszText, text, sizeof text - sizeof(wchar_t), nullptr);
        return text;
    }

private:
    HWND tree_ = nullptr;
    HANDLE process_ = nullptr;
    void* memory_ = nullptr;
};

TEST(GenerationPage, TheFolderBrowserSetsAndStoresTheFolder) {
    const std::wstring name = L"pelmora-browse-" + std::to_wstring(GetTickCount64());
    const std::wstring chosen = temp_folder() + name;
    ASSERT_TRUE(CreateDirectoryW(chosen.c_str(), nullptr));
    Program program(L"[Program]\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0);
    HWND browser = nullptr;
    ASSERT_TRUE(wait_until([&] { return visible(browser = FindWindowW(L"#32770", L"Browse for Folder")); }));
    RemoteTree tree(browser);
    ASSERT_TRUE(tree.usable());
    // The browser may move its selection once more while it fills its tree: choose until the
    // folder stays selected.
    const LPARAM remote_path = tree.path(chosen);
    ASSERT_TRUE(wait_until(
        [&] {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, remote_path);
            Sleep(200);
            return tree.selected() == name;
        },
        20))
        << "selected: " << tree.selected().c_str();
    PostMessageW(browser, WM_COMMAND, IDOK, 0);

    EXPECT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_FOLDER)) == chosen; }, 10))
        << "field: " << window_text(GetDlgItem(page, IDC_FOLDER)).c_str();
    EXPECT_NE(program.ini_text().find(L"Folder=" + chosen + L"\r\n"), std::wstring::npos);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    RemoveDirectoryW(chosen.c_str());
}

// The run's tag is new every time, so a test cannot name a file before the run starts. Instead it
// waits for the first of three large files to appear, takes the tag from its name and puts a file
// of its own in the third one's place while the first two are still being written.
struct OverwriteCase {
    int answer;     // IDYES or IDNO
    bool rewritten; // the third file holds generator data afterwards
};

class GenerationPageOverwrite : public testing::TestWithParam<OverwriteCase> {};

TEST_P(GenerationPageOverwrite, AnExistingFileIsRewrittenOnlyAfterYes) {
    const OverwriteCase& c = GetParam();
    explorer_record();
    const std::wstring folder = fresh_folder(L"overwrite");
    const int size_kb = 65536;
    Program program(L"[Program]\r\nFolder=" + folder + L"\r\nfiles_c=3\r\nfiles_size=" +
                        std::to_wstring(size_kb) + L"\r\n",
                    true);
    HWND dialog = nullptr;
    HWND page = start_on_generation_page(program, dialog);
    ASSERT_NE(page, nullptr);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);

    std::vector<std::wstring> files;
    const auto deadline = GetTickCount64() + 15000;
    while ((files = files_in(folder)).empty() && GetTickCount64() < deadline)
        Sleep(2);
    ASSERT_EQ(files.size(), 1u) << "the first file appears alone";
    ASSERT_EQ(files[0].rfind(L"non_compressible__001_", 0), 0u) << "name " << files[0].c_str();
    const std::wstring third = folder + L"\\non_compressible__003_" + files[0].substr(22);
    { std::ofstream(third.c_str(), std::ios::binary) << "mine"; }

    HWND box = nullptr;
    ASSERT_TRUE(wait_until([&] { return visible(box = FindWindowW(L"#32770", L"Info")); }, 30));
    EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)),
              L"Output file already exists. Overwrite existing ?\r\n\"" + third + L"\"");
    SendMessageW(GetDlgItem(box, c.answer), BM_CLICK, 0, 0);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_START)) == L"Start"; }, 30));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_BROWSE)));
    EXPECT_EQ(files_in(folder).size(), 3u);

    const std::string bytes = read_bytes(third);
    if (c.rewritten) {
        ASSERT_EQ(bytes.size(), static_cast<size_t>(size_kb) * 1024);
        // The data carries on from the second file's last word, as the program's check reads it.
        const std::unique_ptr<FileReader> reader = make_file_reader();
        const FolderCheck check = verify_folder(std::u16string(folder.begin(), folder.end()), *reader);
        ASSERT_EQ(check.runs.size(), 1u) << check.error;
        EXPECT_EQ(check.runs[0].found, (std::vector<std::pair<int64_t, int64_t>>{{1, 3}}));
        EXPECT_EQ(check.runs[0].file_bytes, static_cast<uint64_t>(size_kb) * 1024);
        EXPECT_TRUE(check.runs[0].intact());
    } else {
        EXPECT_EQ(bytes, "mine") << "a declined file stays as it was";
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    for (const std::wstring& name : files_in(folder))
        DeleteFileW((folder + L"\\" + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

INSTANTIATE_TEST_SUITE_P(Answers, GenerationPageOverwrite,
                         testing::Values(OverwriteCase{IDYES, true}, OverwriteCase{IDNO, false}),
                         [](const testing::TestParamInfo<OverwriteCase>& instance) {
                             return std::string(instance.param.answer == IDYES ? "Yes" : "No");
                         });

} // namespace
