// The Check page: Pelmora.exe under Wine, driven from outside, checking runs pelmora-cli made.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "res/resource.h"
#include "tests/win/program_driver.h"
#include "tests/win/run_files.h"

namespace {

// The list view's rows, read through memory in the program's process: a list view's messages
// carry pointers that the system does not carry across processes.
class RemoteList {
public:
    explicit RemoteList(HWND list) : list_(list) {
        DWORD process_id = 0;
        GetWindowThreadProcessId(list, &process_id);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
        if (process_ != nullptr)
            memory_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteList() {
        if (memory_ != nullptr)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            CloseHandle(process_);
    }
    int rows() const { return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring cell(int row, int column) const {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(memory_ + 1024);
        item.cchTextMax = 1024;
        WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_));
        wchar_t text[1024] = {};
        ReadProcessMemory(process_, memory_ + 1024, text, sizeof text - sizeof(wchar_t), nullptr);
        return text;
    }
    // The width of `text` in the list's font, in pixels.
    int string_width(const std::wstring& text) const {
        WriteProcessMemory(process_, memory_, text.c_str(), (text.size() + 1) * sizeof(wchar_t), nullptr);
        return static_cast<int>(
            SendMessageW(list_, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(memory_)));
    }
    int column_width(int column) const {
        return static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    std::wstring caption(int column) const {
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT;
        info.pszText = reinterpret_cast<wchar_t*>(memory_ + 1024);
        info.cchTextMax = 1024;
        WriteProcessMemory(process_, memory_, &info, sizeof info, nullptr);
        SendMessageW(list_, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(memory_));
        wchar_t text[1024] = {};
        ReadProcessMemory(process_, memory_ + 1024, text, sizeof text - sizeof(wchar_t), nullptr);
        return text;
    }
    // The middle of a row, in the list's client coordinates.
    POINT middle(int row) const {
        RECT rect = {};
        rect.left = LVIR_BOUNDS;
        WriteProcessMemory(process_, memory_, &rect, sizeof rect, nullptr);
        SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_));
        ReadProcessMemory(process_, memory_, &rect, sizeof rect, nullptr);
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }

private:
    HWND list_;
    HANDLE process_ = nullptr;
    char* memory_ = nullptr;
};

// Every row of the list, its columns joined by " | ".
std::vector<std::string> list_rows(HWND page) {
    RemoteList list(GetDlgItem(page, IDC_CHECK_LIST));
    std::vector<std::string> rows;
    for (int row = 0; row < list.rows(); ++row) {
        std::wstring line;
        for (int column = 0; column < 5; ++column)
            line += (column == 0 ? L"" : L" | ") + list.cell(row, column);
        rows.push_back(as_utf8(line));
    }
    return rows;
}

// Starts the program on the Check page for `folder`; returns the page.
HWND start_on_check_page(Program& program, HWND& dialog) {
    dialog = program.start_shown();
    return dialog != nullptr ? Program::page_with(dialog, IDC_CHECK_START) : nullptr;
}

// Double-clicks row `row` of the page's list, as a user does to show its file in Explorer.
void double_click_row(HWND page, int row) {
    const POINT at = RemoteList(GetDlgItem(page, IDC_CHECK_LIST)).middle(row);
    HWND list_window = GetDlgItem(page, IDC_CHECK_LIST);
    PostMessageW(list_window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(list_window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    PostMessageW(list_window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(list_window, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

void press(HWND page, int id) { PostMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// Presses Check and waits for the check to end; false when it did not.
bool check_to_the_end(HWND dialog, HWND page) {
    SetDlgItemTextW(page, IDC_CHECK_SUMMARY, L"");
    press(page, IDC_CHECK_START);
    // The summary is set when a check that was not cancelled ends.
    return wait_until(
               [&] {
                   return !window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)).empty() &&
                          window_text(GetDlgItem(page, IDC_CHECK_START)) == L"&Check";
               },
               60) &&
           wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; });
}

void flip_byte(const std::wstring& path, long offset) {
    std::fstream file(path.c_str(), std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(offset);
    const char byte = static_cast<char>(file.get() ^ 0x20);
    file.seekp(offset);
    file.put(byte);
}

TEST(CheckPage, FindsAFlippedByteAndAMissingFileAndShowsTheFileInExplorer) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"check");
    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), L"-q -n 5 -s 64 --seed 3 -o \"" + folder + L"\""), 0);
    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 5u);
    const std::wstring tail = files[0].substr(files[0].find(L"_", 20)); // "_<tag>.file"

    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(IsWindowVisible(page)) << "the stored page shows";
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_FOLDER)), folder) << "the generation page's folder";
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_PAGE_CHECK, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(window_text(GetDlgItem(dialog, IDC_PAGE_CHECK)), L"Check");

    const std::string run_row =
        "non_compressible__###" + as_utf8(tail) + " | 5 | 64.00 KB | Not Compressible File | ";
    const std::string file3 = "    non_compressible__003" + as_utf8(tail);
    const struct {
        const char* step;
        std::vector<std::string> rows;
        const wchar_t* summary;
    } steps[] = {
        {"as written", {run_row + "intact"}, L"320.00 KB intact, 0 bytes lost"},
        {"byte 5000 of file 3 flipped",
         {run_row + "not intact", file3 + " | 1 | 64.00 KB |  | differs from byte 5000"},
         L"256.00 KB intact, 64.00 KB damaged in 1 file"},
        {"file 4 removed as well",
         {"non_compressible__###" + as_utf8(tail) + " | 4 | 64.00 KB | Not Compressible File | not intact",
          file3 + " | 1 | 64.00 KB |  | differs from byte 5000",
          "    non_compressible__004" + as_utf8(tail) + " | 1 |  |  | missing"},
         L"192.00 KB intact, 64.00 KB damaged in 1 file, 1 file missing"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        if (step.step[0] == 'b')
            flip_byte(folder + L"\\" + files[2], 5000);
        if (step.step[0] == 'f')
            DeleteFileW((folder + L"\\" + files[3]).c_str());
        ASSERT_TRUE(check_to_the_end(dialog, page));
        EXPECT_EQ(list_rows(page), step.rows);
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)), step.summary);
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_UPPER)).rfind(L"Finished   :||  \u00D8 ", 0), 0u);
        EXPECT_EQ(SendDlgItemMessageW(page, IDC_CHECK_PROGRESS, PBM_GETPOS, 0, 0), 100);
    }

    // A double-click on the damaged file's row shows it in Explorer.
    double_click_row(page, 1);
    ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); }));
    EXPECT_NE(read_record(record).find(L" /select,\"" + folder + L"\\" + files[2] + L"\",/e"),
              std::wstring::npos)
        << as_utf8(read_record(record));

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    remove_run_folder(folder);
}

// A run that filled a disk ends at its last file, which took the room left: intact to there.
TEST(CheckPage, AFilledDiskIsIntactToItsLastFile) {
    const std::wstring folder = fresh_folder(L"check-fill");
    // --fill with a count stops at the count or a full disk; its names carry the fill mark either way.
    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), L"-q --fill -n 3 -s 8 --seed 3 -o \"" + folder + L"\""), 0);
    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 3u);
    ASSERT_EQ(files[2].rfind(L"non_compressible_fill__003_", 0), 0u);
    const std::string tail = as_utf8(files[0].substr(files[0].find(L"__") + 5)); // "_<tag>.file"
    // As the disk would have left it: the last file cut to the 4 KB there was room for.
    std::filesystem::resize_file(std::filesystem::path(folder + L"\\" + files[2]), 4096);

    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    const std::string run_row = "non_compressible_fill__###" + tail + " | ";
    const struct {
        const char* step;
        std::vector<std::string> rows;
        const wchar_t* summary;
    } steps[] = {
        {"as filled",
         {run_row + "3 | 8.00 KB | Not Compressible File | intact"},
         L"20.00 KB intact, 0 bytes lost"},
        {"file 2 removed",
         {run_row + "2 | 8.00 KB | Not Compressible File | not intact",
          "    non_compressible_fill__002" + tail + " | 1 |  |  | missing"},
         L"12.00 KB intact, 1 file missing"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        if (step.step[0] == 'f')
            DeleteFileW((folder + L"\\" + files[1]).c_str());
        ASSERT_TRUE(check_to_the_end(dialog, page));
        EXPECT_EQ(list_rows(page), step.rows);
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)), step.summary);
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    remove_run_folder(folder);
}

// A run whose files each have their own size: the run's row gives the range, and a file of
// another size than its own is found.
TEST(CheckPage, ARangeOfSizesShowsTheRangeAndFindsAFileOfTheWrongSize) {
    const std::wstring folder = fresh_folder(L"check-range");
    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), L"-q -n 6 -s 4K-64K --seed 3 -o \"" + folder + L"\""), 0);
    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 6u);
    ASSERT_EQ(files[0].rfind(L"non_compressible_s4k-64k__001_", 0), 0u);
    const std::string tail = as_utf8(files[0].substr(files[0].find(L"__") + 5)); // "_<tag>.file"

    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    const std::string run_row =
        "non_compressible_s4k-64k__###" + tail + " | 6 | 4.00 KB \u2013 64.00 KB | Not Compressible File | ";
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(list_rows(page), std::vector<std::string>{run_row + "intact"});
    const std::wstring intact = window_text(GetDlgItem(page, IDC_CHECK_SUMMARY));
    EXPECT_NE(intact.find(L" intact, 0 bytes lost"), std::wstring::npos) << as_utf8(intact);

    // Below the range's smallest size, so never this file's own.
    std::filesystem::resize_file(std::filesystem::path(folder + L"\\" + files[1]), 3072);
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(list_rows(page), (std::vector<std::string>{run_row + "not intact",
                                                         "    non_compressible_s4k-64k__002" + tail +
                                                             " | 1 | 3.00 KB |  | wrong size: 3072 bytes"}));
    const std::wstring damaged = window_text(GetDlgItem(page, IDC_CHECK_SUMMARY));
    EXPECT_NE(damaged.find(L"damaged in 1 file"), std::wstring::npos) << as_utf8(damaged);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    remove_run_folder(folder);
}

// Fill, then check, as a user tests a drive's capacity: the run ends normally with how much fit,
// and the Check page calls the filled drive intact. Run by small_drive.sh, which mounts the drive.
TEST(CheckPage, AFillRunOnASmallDriveEndsNormallyAndChecksIntact) {
    const char* drive = std::getenv("PELMORA_SMALL_DRIVE");
    if (drive == nullptr || *drive == 0)
        GTEST_SKIP() << "needs a small drive, which small_drive.sh mounts";
    const std::wstring folder = std::wstring(drive, drive + std::strlen(drive)) + L"\\fill";
    const std::wstring record = explorer_record();
    {
        Program program(L"[Program]\r\nc_wnd=0\r\nFolder=" + folder +
                            L"\r\nfiles_c=65536\r\nfiles_size=100\r\nfill=1\r\n",
                        true);
        HWND dialog = program.start_shown();
        ASSERT_NE(dialog, nullptr);
        HWND page = Program::page_with(dialog, IDC_START);
        ASSERT_NE(page, nullptr);
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
        ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); }, 60)) << "Explorer at the end";
        ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
        // 4 MiB hold 40 files of 100 KB and 96 KB of a 41st, which takes the room left.
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_UPPER)).rfind(L"Finished   :||  \u00D8 ", 0), 0u);
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_STATUS_LOWER)),
                  L"The disk is full: 41 files fit, 4.00 MB.");
        EXPECT_TRUE(FindWindowW(L"#32770", L"Attention") == nullptr) << "a full disk is no error with fill";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
    std::vector<std::wstring> files = files_in(folder);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 41u);
    EXPECT_EQ(files[40].rfind(L"non_compressible_fill__00041_", 0), 0u);

    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)), L"4.00 MB intact, 0 bytes lost");
    const std::vector<std::string> rows = list_rows(page);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find(" | 41 | 100.00 KB | Not Compressible File | intact"), std::string::npos)
        << rows[0];
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    remove_run_folder(folder);
}

// Every language's captions and type names fit their columns, the file names get the rest; the
// summary of a language written from right to left reads from the right.
TEST(CheckPage, ColumnsFitTheirTextsAndTheSummaryReadsInTheLanguagesDirection) {
    const std::wstring folder = fresh_folder(L"check-columns");
    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), L"-q -n 3 -s 8 --seed 3 -o \"" + folder + L"\""), 0);
    const struct {
        const wchar_t* language;
        bool right_to_left;
    } cases[] = {{L"0", false}, {L"1", false}, {L"7", true}, {L"10", true}, {L"2", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(as_utf8(std::wstring(L"language ") + c.language));
        Program program(L"[Program]\r\nc_wnd=2\r\nlng=" + std::wstring(c.language) + L"\r\nFolder=" + folder +
                            L"\r\n",
                        true);
        HWND dialog = nullptr;
        HWND page = start_on_check_page(program, dialog);
        ASSERT_NE(page, nullptr);
        SetDlgItemTextW(page, IDC_CHECK_SUMMARY, L"");
        press(page, IDC_CHECK_START);
        ASSERT_TRUE(
            wait_until([&] { return !window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)).empty(); }, 60));
        ASSERT_TRUE(wait_until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)) != 0; }));
        RemoteList list(GetDlgItem(page, IDC_CHECK_LIST));
        ASSERT_EQ(list.rows(), 1);
        int widths = 0;
        for (int column = 0; column < 5; ++column) {
            widths += list.column_width(column);
            if (column == 0)
                continue;
            EXPECT_GT(list.column_width(column), list.string_width(list.caption(column))) << column;
            EXPECT_GT(list.column_width(column), list.string_width(list.cell(0, column))) << column;
        }
        RECT client = {};
        GetClientRect(GetDlgItem(page, IDC_CHECK_LIST), &client);
        EXPECT_LE(widths, client.right) << "the name column takes what is left, no more";
        EXPECT_GT(list.column_width(0), client.right / 4);
        const LONG_PTR extended = GetWindowLongPtrW(GetDlgItem(page, IDC_CHECK_SUMMARY), GWL_EXSTYLE);
        EXPECT_EQ((extended & WS_EX_RTLREADING) != 0, c.right_to_left);
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
    remove_run_folder(folder);
}

TEST(CheckPage, AnIntendedCountOrSizeIsHeldAgainstTheRunAndBadOnesAreRefused) {
    explorer_record();
    const std::wstring folder = fresh_folder(L"intent");
    ASSERT_EQ(run_process(from_unix(PELMORA_CLI), L"-q -n 3 -s 8 -t 1 -o \"" + folder + L"\""), 0);
    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    SetDlgItemTextW(page, IDC_CHECK_COUNT, L"5");
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)), L"24.00 KB intact, 2 files missing");
    SetDlgItemTextW(page, IDC_CHECK_COUNT, L"");
    SetDlgItemTextW(page, IDC_CHECK_SIZE, L"4");
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)),
              L"0 Byte intact, 24.00 KB damaged in 3 files");

    const struct {
        const wchar_t* count;
        const wchar_t* size;
        const wchar_t* message;
    } refused[] = {
        // The page checks runs of the command line too, which may have the most files a run has.
        {L"0", L"",
         L"The value \"0\" for \"Intended count\" cannot be taken: write a whole number from 1 to "
         L"4294967295."},
        {L"4294967296", L"",
         L"The value \"4294967296\" for \"Intended count\" cannot be taken: write a whole number from 1 to "
         L"4294967295."},
        {L"", L"12abc",
         L"The size \"12abc\" cannot be read: write whole kilobytes (512), or a number with K, M, G or "
         L"T (1.5M, 10G; 1K = 1024 bytes)."},
    };
    for (const auto& c : refused) {
        SetDlgItemTextW(page, IDC_CHECK_COUNT, c.count);
        SetDlgItemTextW(page, IDC_CHECK_SIZE, c.size);
        press(page, IDC_CHECK_START);
        HWND box = nullptr;
        ASSERT_TRUE(wait_until([&] { return visible(box = FindWindowW(L"#32770", L"Attention")); }));
        EXPECT_EQ(window_text(GetDlgItem(box, 0xFFFF)), c.message);
        EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_START)), L"&Check") << "nothing started";
        SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(wait_until([&] { return !visible(FindWindowW(L"#32770", L"Attention")); }));
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    remove_run_folder(folder);
}

// A file of zeros as a run of one, 256 GiB long but sparse: it takes minutes to read, and no space.
std::wstring large_zeros_run() {
    const std::wstring folder = fresh_folder(L"large");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\maximal_compressible__001_0000000000000001.file";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 256LL << 30;
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return folder;
}

TEST(CheckPage, ACheckIsCancelledKeepsTheProgramOpenAndEndsWithIt) {
    explorer_record();
    const std::wstring folder = large_zeros_run();
    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    press(page, IDC_CHECK_START);
    ASSERT_TRUE(wait_until([&] { return !window_text(GetDlgItem(page, IDC_CHECK_UPPER)).empty(); }));
    const std::wstring running = window_text(GetDlgItem(page, IDC_CHECK_UPPER));
    EXPECT_EQ(running.rfind(L"Status :[", 0), 0u) << as_utf8(running);
    EXPECT_NE(running.find(L" at 256.00 GB"), std::wstring::npos) << as_utf8(running);
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_START)), L"&Cancel");
    for (const int id : {IDC_PAGE_PROGRAM, IDC_PAGE_INFO, IDC_PAGE_MORE, IDCANCEL})
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, id))) << id;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_CHECK_FOLDER)));
    // Two reports a second at least: the line changes within a second.
    EXPECT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_CHECK_UPPER)) != running; }, 1));
    // Esc and the close box do not end a busy check.
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.exit_code(500), -1) << "still running";

    press(page, IDC_CHECK_START);
    ASSERT_TRUE(wait_until([&] { return window_text(GetDlgItem(page, IDC_CHECK_START)) == L"&Check"; }, 5));
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_UPPER)), L"Canceled");
    EXPECT_EQ(window_text(GetDlgItem(page, IDC_CHECK_SUMMARY)), L"");
    EXPECT_EQ(RemoteList(GetDlgItem(page, IDC_CHECK_LIST)).rows(), 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));

    // Ending the program: idle, then during a check, the second no more than half a second later.
    const auto time_to_end = [&](bool busy) {
        HWND shown = nullptr;
        HWND check = start_on_check_page(program, shown);
        if (check == nullptr)
            return -1.0;
        if (busy) {
            press(check, IDC_CHECK_START);
            wait_until([&] { return !window_text(GetDlgItem(check, IDC_CHECK_UPPER)).empty(); });
        }
        const auto start = std::chrono::steady_clock::now();
        PostMessageW(program.hidden_window(), WM_CLOSE, 0, 0);
        if (program.exit_code() < 0)
            return -1.0;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(program.exit_code(), 1);
    const double idle = time_to_end(false);
    const double busy = time_to_end(true);
    std::printf("ending idle %.3f s, during a check %.3f s\n", idle, busy);
    ASSERT_GE(idle, 0);
    ASSERT_GE(busy, 0);
    EXPECT_LT(busy, idle + 0.5);
    remove_run_folder(folder);
}

} // namespace

// A run of the command line in a folder tree: a file moved to another folder of it shows where it
// lies, in the window's words, its place shows as missing, and a double-click shows it where it is.
TEST(CheckPage, AFileOfATreeInTheWrongFolderShowsWhereItLies) {
    const std::wstring record = explorer_record();
    const std::wstring folder = fresh_folder(L"check-tree");
    // 12 files, 3 a folder: "0\0", "0\1", "0\2" and "1\0".
    ASSERT_EQ(
        run_process(from_unix(PELMORA_CLI), L"-q -n 12 -s 4 --per-folder 3 --seed 3 -o \"" + folder + L"\""),
        0);
    const std::wstring moved_from = folder + L"\\0\\1";
    std::vector<std::wstring> files = files_in(moved_from);
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 3u);
    ASSERT_EQ(files[1].rfind(L"non_compressible_t3__005_", 0), 0u) << as_utf8(files[1]);
    const std::string tail = as_utf8(files[1].substr(files[1].find(L"__") + 5)); // "_<tag>.file"
    ASSERT_TRUE(
        MoveFileW((moved_from + L"\\" + files[1]).c_str(), (folder + L"\\1\\0\\" + files[1]).c_str()));

    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = nullptr;
    HWND page = start_on_check_page(program, dialog);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(check_to_the_end(dialog, page));
    EXPECT_EQ(list_rows(page),
              (std::vector<std::string>{
                  "non_compressible_t3__###" + tail + " | 11 | 4.00 KB | Not Compressible File | not intact",
                  "    non_compressible_t3__005" + tail + " | 1 | 4.00 KB |  | in the wrong folder: 1\\0\\",
                  "    non_compressible_t3__005" + tail + " | 1 |  |  | missing"}));

    double_click_row(page, 1);
    ASSERT_TRUE(wait_until([&] { return !read_record(record).empty(); }));
    EXPECT_NE(read_record(record).find(L" /select,\"" + folder + L"\\1\\0\\" + files[1] + L"\",/e"),
              std::wstring::npos)
        << as_utf8(read_record(record));

    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(folder), ignored);
}
