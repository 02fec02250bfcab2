// The generation page's texts and type list.
#include "win/generation_page.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <limits>

#include "core/base/size_text.h"
#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/rules/settings_rules.h"
#include "core/run/file_system.h"
#include "core/run/names.h"
#include "core/run/reveal.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "core/run/run_view.h"
#include "platform/wide_text.h"
#include "platform/win32_handles.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/options_dialog.h"
#include "win/settings.h"

GenerationSettings generation_settings;

namespace {

std::u16string field_text(HWND page, int id) {
    wchar_t buffer[512] = {};
    GetDlgItemTextW(page, id, buffer, 512);
    return from_wide(buffer);
}

// What a run shows on the page: the worker calls these, and the window system carries the calls
// to the UI thread, which never waits for the worker.
class PageView final : public RunView {
public:
    // The page the run shows on, and the dialog that holds it; set before each run starts.
    HWND page = nullptr;
    HWND dialog = nullptr;

    bool ask_overwrite(const std::u16string& caption, const std::u16string& message) override {
        return MessageBoxW(page, wide(message), wide(caption), MB_ICONQUESTION | MB_YESNOCANCEL) == IDYES;
    }
    bool ask_cancel(const std::u16string& message) override {
        return MessageBoxW(dialog, wide(message), L"", MB_ICONQUESTION | MB_YESNOCANCEL) == IDYES;
    }
    void show_error(const std::u16string& caption, const std::u16string& message) override {
        MessageBoxW(dialog, wide(message), wide(caption), MB_ICONERROR | MB_OK);
    }
    void set_bar(int position) override {
        SendDlgItemMessageW(page, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void set_upper_line(const std::u16string& line) override {
        SetDlgItemTextW(page, IDC_STATUS_UPPER, wide(line));
    }
    void set_lower_line(const std::u16string& line) override {
        SetDlgItemTextW(page, IDC_STATUS_LOWER, wide(line));
    }
    void set_controls_enabled(bool enable, const std::u16string& button_text) override {
        EnableWindow(GetDlgItem(page, IDC_BROWSE), enable);
        for (const int id : {IDC_PAGE_PROGRAM, IDC_PAGE_INFO, IDC_PAGE_CHECK, IDC_PAGE_MORE, IDCANCEL})
            EnableWindow(GetDlgItem(dialog, id), enable);
        SetDlgItemTextW(page, IDC_START, wide(button_text));
    }
    void reveal(const std::u16string& path) override { reveal_in_file_manager(path); }
};

PageView page_view;
const std::unique_ptr<FileSystem> file_system = make_file_system();
// For runs that flush each file before closing it.
const std::unique_ptr<FileSystem> syncing_file_system = make_file_system(true);
// The run options, read from the settings when the page starts and changed by their dialog.
StoredRunOptions run_options;

struct SizePreset {
    const wchar_t* caption;
    UINT kilobytes;
};
constexpr SizePreset kSizePresets[] = {
    {L"10 KB", 10},      {L"100 KB", 100},    {L"1 MB", 1024},     {L"10 MB", 10240},
    {L"25 MB", 25600},   {L"50 MB", 51200},   {L"100 MB", 102400}, {L"200 MB", 204800},
    {L"300 MB", 307200}, {L"400 MB", 409600}, {L"500 MB", 512000}, {L"750 MB", 768000},
    {L"1 GB", 1048576},  {L"2 GB", 2097152},  {L"5 GB", 5242880},  {L"10 GB", 10485760},
};

} // namespace

std::u16string size_problem(const std::u16string& typed, SizeText::Status status) {
    switch (status) {
    case SizeText::Status::negative:
        return text(kTextNegativeSize) + u"\r\n" + typed;
    case SizeText::Status::too_large:
        return fill_placeholders(replace_all(text(kTextSizeTooLarge), u"%d",
                                             format_ascii("%lld", static_cast<long long>(kLargestSize))),
                                 {typed});
    default:
        return fill_placeholders(text(kTextUnreadableSize), {typed});
    }
}

namespace {

int32_t chosen_type(HWND page) {
    return static_cast<int32_t>(SendDlgItemMessageW(page, IDC_TYPE, CB_GETCURSEL, 0, 0));
}

// The line under the type: the options that are not the defaults, for the type chosen now.
void show_options_line(HWND page) {
    RunChoice choice;
    run_choice_of(run_options, choice);
    set_control_text(GetDlgItem(page, IDC_OPTIONS_LINE), run_choice_summary(choice, chosen_type(page)));
}

void start_pressed(HWND page) {
    // The count takes any text; strtol's reading turns it into a number (no digits: 0). The size
    // is kilobytes, or a number with a unit ("10G", "1.5M", "512K").
    const int32_t count = settings_int_from_text(field_text(page, IDC_COUNT), 0);
    const std::u16string typed_size = field_text(page, IDC_FILE_SIZE);
    const SizeText size = parse_size_text(typed_size, kLargestSize);
    const bool size_taken = size.status == SizeText::Status::ok;
    RunChoice choice;
    const RunChoiceField bad_option = run_choice_of(run_options, choice);
    if (bad_option != RunChoiceField::none && !run_busy) {
        // Only from a settings file edited by hand: the dialog takes no such value.
        MessageBoxW(GetParent(page), wide(bad_option_message(run_options.texts, bad_option)),
                    wide(text(kTextAttention)), MB_ICONERROR | MB_OK);
        return;
    }
    if (!size_taken && !run_busy) {
        // Nothing starts, nothing is stored, and the field keeps what was typed. (While a run is
        // busy the press asks about cancelling it, which the size has no part in.)
        MessageBoxW(GetParent(page), wide(size_problem(typed_size, size.status)), wide(text(kTextAttention)),
                    MB_ICONERROR | MB_OK);
        return;
    }
    if (size_taken)
        generation_settings.files_size = static_cast<int32_t>(size.kilobytes);
    generation_settings.files_c = std::clamp<int64_t>(count, kWindowCountRange.low, kWindowCountRange.high);
    generation_settings.files_type = chosen_type(page);
    generation_settings.shape = choice.shape;
    if (!run_busy) {
        page_view.page = page;
        page_view.dialog = GetParent(page);
    }
    generation_settings.owner = &page_view;
    generation_settings.Folder = field_text(page, IDC_FOLDER);
    SetDlgItemInt(page, IDC_COUNT, static_cast<UINT>(generation_settings.files_c), TRUE);
    if (size_taken)
        SetDlgItemInt(page, IDC_FILE_SIZE, static_cast<UINT>(generation_settings.files_size), TRUE);
    write_setting_int(u"files_c", static_cast<int32_t>(generation_settings.files_c));
    if (size_taken)
        write_setting_int(u"files_size", generation_settings.files_size);
    write_setting_int(u"files_type", generation_settings.files_type);
    if (run_busy) {
        start_or_cancel(generation_settings, *file_system);
        return;
    }
    // As on the command line: a run without a seed draws one, and the number makes the run again.
    const uint64_t seed = choice.seed.value_or(draw_seed_number());
    run_options.last_seed = format_ascii("%llu", static_cast<unsigned long long>(seed));
    write_last_seed(seed);
    RunOptions options;
    options.direct = choice.direct;
    options.fill = choice.fill;
    options.jobs = choice.jobs;
    start_or_cancel(generation_settings, choice.sync ? *syncing_file_system : *file_system,
                    run_seeds(seed, generation_settings.files_type), options);
}

} // namespace

void page_command(HWND page, int id) {
    switch (id) {
    case IDC_START:
        start_pressed(page);
        break;
    case IDC_BROWSE: {
        const std::u16string folder = browse_folder(page);
        if (!folder.empty()) {
            generation_settings.Folder = folder;
            SetDlgItemTextW(page, IDC_FOLDER, wide(folder));
            write_setting_text(u"Folder", folder.c_str());
        }
        break;
    }
    case IDC_PRESETS:
        show_size_menu(page);
        break;
    case IDC_OPTIONS:
        edit_run_options(GetParent(page), run_options, chosen_type(page));
        show_options_line(page);
        break;
    case IDC_TYPE:
        show_options_line(page);
        break;
    default:
        break;
    }
}

std::u16string browse_folder(HWND owner) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || allocator == nullptr)
        return {};
    wchar_t display_name[MAX_PATH] = {};
    BROWSEINFOW browse = {};
    browse.hwndOwner = owner;
    browse.pszDisplayName = display_name;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    std::u16string result;
    if (chosen != nullptr) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(chosen, path)) {
            if (path[0] == 0)
                MessageBoxW(nullptr, L"Failed to get directory", nullptr, MB_ICONERROR);
            else
                result = from_wide(path);
        }
        allocator->Free(chosen);
    }
    allocator->Release();
    return result;
}

void show_size_menu(HWND page) {
    const PopupMenu menu(CreatePopupMenu());
    for (const SizePreset& preset : kSizePresets)
        AppendMenuW(menu.get(), MF_STRING, preset.kilobytes, preset.caption);
    RECT button = {};
    GetWindowRect(GetDlgItem(page, IDC_PRESETS), &button);
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                         button.left, button.bottom, 0, page, nullptr));
    if (chosen != 0)
        SetDlgItemInt(page, IDC_FILE_SIZE, chosen, TRUE);
}

void apply_generation_page_texts(HWND page) {
    set_control_text(GetDlgItem(page, IDC_FOLDER_LABEL), text(kTextDestinationFolder) + u" :");
    set_control_text(GetDlgItem(page, IDC_COUNT_LABEL), text(kTextFileCount) + u" :");
    set_control_text(GetDlgItem(page, IDC_FILE_SIZE_LABEL), text(kTextFileSize) + u" :");
    set_control_text(GetDlgItem(page, IDC_TYPE_LABEL), text(kTextFileType) + u" :");
    // While a run is busy the button cancels it, and says so in the new language too.
    set_control_text(GetDlgItem(page, IDC_START), text(run_busy ? kTextCancel : kTextStart));
    HWND list = GetDlgItem(page, IDC_TYPE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    // The list's position is the type.
    static_assert(kGeneratorData == 0 && kZeros == 1 && kRandomData == 2);
    for (const TextId type : {kTextGeneratorDataType, kTextZerosType, kTextRandomDataType}) {
        const std::u16string entry = text(type);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry)));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(generation_settings.files_type), 0);
    set_control_text(GetDlgItem(page, IDC_OPTIONS), text(kTextOptionsButton));
    show_options_line(page);
}

void read_generation_options(HWND page) {
    run_options = read_run_options();
    show_options_line(page);
}
