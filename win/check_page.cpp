// The Check page and the worker thread that checks a folder.
#include "win/check_page.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/base/size_text.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_reader.h"
#include "core/run/progress.h"
#include "core/run/reveal.h"
#include "core/run/run.h"
#include "core/run/run_limits.h"
#include "core/run/run_view.h"
#include "core/run/verify.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "win/check_report.h"
#include "win/controls.h"
#include "win/generation_page.h"

namespace {

// Posted by the worker when its check has ended.
constexpr UINT kCheckDone = WM_APP + 2;
// The timer that redraws the progress: four times a second.
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressMilliseconds = 250;

// One check: what the worker reads and writes. Shared between the page and the worker, so that a
// program ending before the worker does leaves it nothing freed.
struct CheckJob {
    std::u16string folder;
    VerifyOptions options;
    VerifyProgress progress;
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    int32_t started = 0; // clock_ms when the check began
    FolderCheck result;  // the worker's until `done`
};

std::shared_ptr<CheckJob> busy_job;
// The file behind each row of the list (empty for rows that show no file), and the folder checked.
std::vector<std::u16string> row_files;
std::u16string checked_folder;

// The progress report writes to the page through the run's view, the one report both share.
class CheckView final : public RunView {
public:
    explicit CheckView(HWND page) : page_(page) {}
    bool ask_overwrite(const std::u16string&, const std::u16string&) override { return false; }
    bool ask_cancel(const std::u16string&) override { return false; }
    void show_error(const std::u16string&, const std::u16string&) override {}
    void set_bar(int position) override {
        SendDlgItemMessageW(page_, IDC_CHECK_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void set_upper_line(const std::u16string& line) override {
        SetDlgItemTextW(page_, IDC_CHECK_UPPER, wide(line));
    }
    void set_lower_line(const std::u16string& line) override {
        SetDlgItemTextW(page_, IDC_CHECK_LOWER, wide(line));
    }
    void set_controls_enabled(bool, const std::u16string&) override {}
    void reveal(const std::u16string&) override {}

private:
    HWND page_;
};

std::u16string field_text(HWND page, int id) {
    wchar_t buffer[512] = {};
    GetDlgItemTextW(page, id, buffer, 512);
    return from_wide(buffer);
}

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    return text;
}

void show_progress(HWND page, const CheckJob& job, bool finished) {
    CheckView view(page);
    const double total = static_cast<double>(job.progress.bytes_total.load());
    const double done = static_cast<double>(job.progress.bytes_checked.load());
    report_progress(done, total, &view, finished ? 1 : 0, job.started);
}

// The controls a check must not have in use, the main dialog's page buttons and Exit (a run does
// the same), and the button's caption.
void set_idle(HWND page, bool idle) {
    for (const int id :
         {IDC_CHECK_FOLDER, IDC_CHECK_BROWSE, IDC_CHECK_COUNT, IDC_CHECK_SIZE, IDC_CHECK_DIRECT})
        EnableWindow(GetDlgItem(page, id), idle);
    HWND dialog = GetParent(page);
    for (const int id : {IDC_PAGE_PROGRAM, IDC_PAGE_INFO, IDC_PAGE_CHECK, IDC_PAGE_MORE, IDCANCEL})
        EnableWindow(GetDlgItem(dialog, id), idle);
    set_control_text(GetDlgItem(page, IDC_CHECK_START), text(idle ? kTextCheckButton : kTextCancel));
}

void add_row(HWND list, const CheckRow& row, int index) {
    const std::u16string columns[] = {row.name, row.files, row.size, row.type, row.result};
    // A file's row is set in under its run's.
    std::u16string first = row.run ? u"" : u"    ";
    first += columns[0];
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(wide(first));
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int column = 1; column < 5; ++column) {
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(wide(columns[column]));
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

// The columns after the name as wide as their widest cell or caption, the name the rest of the
// list's width (never narrower than it starts): long captions and type names stay readable in
// every language, and the file names get what is left.
void fit_columns(HWND page) {
    HWND list = GetDlgItem(page, IDC_CHECK_LIST);
    constexpr int kColumns = 5;
    // The gap a column leaves on both sides of its text.
    RECT margin = {0, 0, 8, 0};
    MapDialogRect(page, &margin);
    int others = 0;
    for (int column = 1; column < kColumns; ++column) {
        wchar_t caption[256] = {};
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT;
        info.pszText = caption;
        info.cchTextMax = 255;
        SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
        const int caption_width =
            static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(caption))) +
            margin.right;
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), LVSCW_AUTOSIZE);
        const int cells =
            static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
        const int width = std::max(caption_width, cells);
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), width);
        others += width;
    }
    RECT client = {};
    GetClientRect(list, &client);
    RECT least = {0, 0, 100, 0};
    MapDialogRect(page, &least);
    const int rest = client.right - others - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, std::max(static_cast<int>(least.right), rest));
}

// The summary reads in the direction of the interface's language: an Arabic or Persian line
// starting with a figure in Latin letters ("4.50 MB") would otherwise be read left to right.
void set_summary(HWND page, const std::u16string& summary) {
    HWND control = GetDlgItem(page, IDC_CHECK_SUMMARY);
    const bool right_to_left = reads_right_to_left(text(kTextFolder));
    const LONG_PTR extended = GetWindowLongPtrW(control, GWL_EXSTYLE) & ~(WS_EX_RTLREADING | WS_EX_RIGHT);
    SetWindowLongPtrW(control, GWL_EXSTYLE, extended | (right_to_left ? WS_EX_RTLREADING | WS_EX_RIGHT : 0));
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE) & ~static_cast<LONG_PTR>(SS_TYPEMASK);
    SetWindowLongPtrW(control, GWL_STYLE, style | (right_to_left ? SS_RIGHT : SS_LEFT));
    set_control_text(control, summary);
}

void show_result(HWND page, const CheckJob& job) {
    HWND list = GetDlgItem(page, IDC_CHECK_LIST);
    const FolderCheck& check = job.result;
    std::u16string summary;
    if (!check.error.empty())
        summary = fill_placeholders(text(kTextFolderUnreadable), {from_utf8(check.error)});
    else if (check.runs.empty())
        summary = text(kTextNoRuns);
    else
        summary = check_summary(check);
    if (check.direct_refused)
        summary += u"  " + text(kTextCacheWasRead);
    set_summary(page, summary);
    const std::vector<CheckRow> rows = check_rows(check);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        add_row(list, rows[i], static_cast<int>(i));
        row_files.push_back(rows[i].file);
    }
    fit_columns(page);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
}

// The intended count and size, when given; false (with the message shown) when one cannot be taken.
bool read_intent(HWND page, RunIntent& intent) {
    const std::u16string count = field_text(page, IDC_CHECK_COUNT);
    if (!trimmed(count).empty()) {
        const std::optional<int64_t> number = whole_number(trimmed(count));
        if (!number || !kCountRange.holds(*number)) {
            const std::u16string message = fill_placeholders(
                text(kTextBadNumber), {count, text(kTextIntendedCount),
                                       format_ascii("%lld", static_cast<long long>(kCountRange.low)),
                                       format_ascii("%lld", static_cast<long long>(kCountRange.high))});
            MessageBoxW(GetParent(page), wide(message), wide(text(kTextAttention)), MB_ICONERROR | MB_OK);
            return false;
        }
        intent.count = static_cast<int32_t>(*number);
    }
    const std::u16string size = field_text(page, IDC_CHECK_SIZE);
    if (!trimmed(size).empty()) {
        const SizeText parsed = parse_size_text(size, kLargestSize);
        if (parsed.status != SizeText::Status::ok) {
            MessageBoxW(GetParent(page), wide(size_problem(size, parsed.status)), wide(text(kTextAttention)),
                        MB_ICONERROR | MB_OK);
            return false;
        }
        intent.file_bytes = static_cast<uint64_t>(parsed.kilobytes) * 1024;
    }
    return true;
}

void start_check(HWND page) {
    auto job = std::make_shared<CheckJob>();
    if (!read_intent(page, job->options.intent))
        return;
    job->folder = field_text(page, IDC_CHECK_FOLDER);
    job->options.scope.direct = IsDlgButtonChecked(page, IDC_CHECK_DIRECT) == BST_CHECKED;
    job->options.progress = &job->progress;
    job->options.cancel = &job->cancel;
    SendDlgItemMessageW(page, IDC_CHECK_LIST, LVM_DELETEALLITEMS, 0, 0);
    row_files.clear();
    checked_folder = job->folder;
    set_control_text(GetDlgItem(page, IDC_CHECK_SUMMARY), u"");
    SetDlgItemTextW(page, IDC_CHECK_UPPER, L"");
    SetDlgItemTextW(page, IDC_CHECK_LOWER, L"");
    SendDlgItemMessageW(page, IDC_CHECK_PROGRESS, PBM_SETPOS, 0, 0);
    set_idle(page, false);
    job->started = clock_ms();
    busy_job = job;
    try {
        std::thread([job, page] {
            const std::unique_ptr<FileReader> reader = make_file_reader();
            job->result = verify_folder(job->folder, *reader, job->options);
            job->done = true;
            PostMessageW(page, kCheckDone, 0, 0);
        }).detach();
    } catch (const std::system_error&) {
        busy_job.reset();
        set_idle(page, true);
        return;
    }
    SetTimer(page, kProgressTimer, kProgressMilliseconds, nullptr);
}

void check_ended(HWND page) {
    KillTimer(page, kProgressTimer);
    const std::shared_ptr<CheckJob> job = std::move(busy_job);
    busy_job.reset();
    if (job == nullptr)
        return;
    if (job->result.cancelled) {
        SetDlgItemTextW(page, IDC_CHECK_UPPER, wide(text(kTextCancelled)));
        SetDlgItemTextW(page, IDC_CHECK_LOWER, L"");
    } else {
        show_progress(page, *job, true);
        show_result(page, *job);
    }
    set_idle(page, true);
}

void command(HWND page, int id) {
    switch (id) {
    case IDC_CHECK_START:
        // Checking reads and changes nothing: Cancel stops at once, without a question.
        if (busy_job != nullptr)
            busy_job->cancel = true;
        else
            start_check(page);
        break;
    case IDC_CHECK_BROWSE:
        if (const std::u16string folder = browse_folder(page); !folder.empty())
            SetDlgItemTextW(page, IDC_CHECK_FOLDER, wide(folder));
        break;
    default:
        break;
    }
}

// A double-click on a file's row shows the file in Explorer.
void row_activated(int index) {
    if (index < 0 || static_cast<size_t>(index) >= row_files.size() || row_files[index].empty())
        return;
    std::u16string path = checked_folder;
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/')
        path += u'\\';
    reveal_in_file_manager(path + row_files[index]);
}

INT_PTR CALLBACK check_page_procedure(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        command(page, LOWORD(wparam));
        return 0;
    case WM_TIMER:
        if (wparam == kProgressTimer && busy_job != nullptr)
            show_progress(page, *busy_job, false);
        return 0;
    case kCheckDone:
        check_ended(page);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (header->idFrom == IDC_CHECK_LIST && header->code == NM_DBLCLK)
            row_activated(reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem);
        return 0;
    }
    default:
        return 0;
    }
}

} // namespace

HWND create_check_page(HWND dialog, const std::u16string& folder) {
    HWND page =
        CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_CHECK), dialog, check_page_procedure, 0);
    SetDlgItemTextW(page, IDC_CHECK_FOLDER, wide(folder));
    HWND list = GetDlgItem(page, IDC_CHECK_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    // Widths in dialog units of the list's 364: name, files, size, type, result.
    const int widths[] = {128, 28, 40, 74, 90};
    for (int i = 0; i < 5; ++i) {
        RECT units = {0, 0, widths[i], 0};
        MapDialogRect(page, &units);
        column.cx = units.right;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    return page;
}

void apply_check_page_texts(HWND page) {
    set_control_text(GetDlgItem(page, IDC_CHECK_FOLDER_LABEL), text(kTextFolder) + u" :");
    set_control_text(GetDlgItem(page, IDC_CHECK_COUNT_LABEL), text(kTextIntendedCount) + u" :");
    set_control_text(GetDlgItem(page, IDC_CHECK_SIZE_LABEL), text(kTextIntendedSize) + u" :");
    set_control_text(GetDlgItem(page, IDC_CHECK_DIRECT), text(kTextReadPastCache));
    set_control_text(GetDlgItem(page, IDC_CHECK_START),
                     text(busy_job != nullptr ? kTextCancel : kTextCheckButton));
    for (const int id : {IDC_CHECK_FOLDER, IDC_CHECK_COUNT, IDC_CHECK_SIZE, IDC_CHECK_UPPER, IDC_CHECK_LOWER,
                         IDC_CHECK_SUMMARY, IDC_CHECK_LIST})
        SendDlgItemMessageW(page, id, WM_SETFONT, reinterpret_cast<WPARAM>(text_font), TRUE);
    HWND list = GetDlgItem(page, IDC_CHECK_LIST);
    const TextId columns[] = {kTextColumnName, kTextColumnFiles, kTextColumnSize, kTextColumnType,
                              kTextColumnResult};
    for (int i = 0; i < 5; ++i) {
        const std::u16string caption = text(columns[i]);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = const_cast<wchar_t*>(wide(caption));
        SendMessageW(list, LVM_SETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    fit_columns(page);
}

bool check_busy() { return busy_job != nullptr; }

bool finish_busy_check(int32_t milliseconds) {
    const std::shared_ptr<CheckJob> job = busy_job;
    if (job == nullptr)
        return true;
    job->cancel = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!job->done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return job->done;
}
