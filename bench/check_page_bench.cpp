// Times one check of a folder on the Check page of Pelmora.exe, driven from outside as the window
// tests drive it: from the press of Check to the summary showing. Prints on standard output the
// seconds, the time of one message to the page and back, and the seconds until the page had taken
// the press (-1 when the check ended before a poll saw it), and the summary on standard error;
// bench/check_page.sh runs it beside pelmora-cli.exe.
//   check_page_bench.exe FOLDER
// Exits with 1 when the check did not end within the time allowed, or did not find the folder
// intact (a figure for a check that found damage would not be the same work as the other's).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "res/resource.h"
#include "tests/win/program_driver.h"

namespace {

// How long one check may take: a 1 GiB run read from the disk on a loaded machine fits easily.
constexpr double kLongestCheckSeconds = 600;

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: check_page_bench.exe FOLDER\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    // The page starts with the generation page's folder; reading past the cache stays off, as it
    // is for a plain `verify`.
    Program program(L"[Program]\r\nc_wnd=2\r\nFolder=" + folder + L"\r\n", true);
    HWND dialog = program.start_shown();
    HWND page = dialog != nullptr ? Program::page_with(dialog, IDC_CHECK_START) : nullptr;
    if (page == nullptr || !wait_until([&] { return visible(page); })) {
        std::fprintf(stderr, "check_page_bench: the Check page did not show\n");
        return 1;
    }
    HWND summary = GetDlgItem(page, IDC_CHECK_SUMMARY);
    if (SendDlgItemMessageW(page, IDC_CHECK_DIRECT, BM_GETCHECK, 0, 0) == BST_CHECKED)
        SendDlgItemMessageW(page, IDC_CHECK_DIRECT, BM_SETCHECK, BST_UNCHECKED, 0);
    SetWindowTextW(summary, L"");

    // What driving the page from another process costs: the median of a few reads of the summary,
    // each a message to the page's thread and back. The press and the poll that sees the summary
    // each take about one, which the timing below includes.
    std::vector<double> trips;
    for (int i = 0; i < 9; ++i) {
        const auto sent = std::chrono::steady_clock::now();
        window_text(summary);
        trips.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count());
    }
    std::sort(trips.begin(), trips.end());

    // The summary is set once a check ends (and cleared when one starts, which it already is). It
    // is polled every 10 ms: each poll is a message the page's thread answers, through the Wine
    // server, and a finer poll would take time from the check it measures.
    HWND button = GetDlgItem(page, IDC_CHECK_START);
    const std::wstring idle_caption = window_text(button);
    const auto pressed = std::chrono::steady_clock::now();
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_CHECK_START, BN_CLICKED), 0);
    // Until the button turns into Cancel it is polled as well: when the page took the press.
    double taken = -1;
    std::wstring shown;
    const auto deadline = pressed + std::chrono::duration<double>(kLongestCheckSeconds);
    while ((shown = window_text(summary)).empty()) {
        const auto now = std::chrono::steady_clock::now();
        if (now > deadline) {
            std::fprintf(stderr, "check_page_bench: no summary after %.0f s\n", kLongestCheckSeconds);
            return 1;
        }
        if (taken < 0 && window_text(button) != idle_caption)
            taken = std::chrono::duration<double>(now - pressed).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count();
    std::fprintf(stderr, "%s\n", as_utf8(shown).c_str());
    if (shown.find(L" intact, 0 bytes lost") == std::wstring::npos) {
        std::fprintf(stderr, "check_page_bench: the folder is not intact\n");
        return 1;
    }
    std::printf("%.3f %.4f %.3f\n", seconds, trips[trips.size() / 2], taken);
    return 0;
}
