// The run options dialog and the settings that keep its values.
#include "win/options_dialog.h"

#include <optional>
#include <vector>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_type.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/settings.h"

namespace {

std::u16string setting_text(const char16_t* key, const std::u16string& fallback) {
    char16_t buffer[64] = {};
    fallback.copy(buffer, 63);
    read_setting_text(key, buffer, 64);
    return buffer;
}

std::u16string field_text(HWND dialog, int id) {
    wchar_t buffer[64] = {};
    GetDlgItemTextW(dialog, id, buffer, 64);
    return from_wide(buffer);
}

// The units offered, smallest first, then whole files; each item holds its unit. A stored unit
// that is none of them selects nothing, and OK then names the field.
void fill_units(HWND dialog, const std::u16string& stored) {
    HWND list = GetDlgItem(dialog, IDC_DEDUPE_UNIT);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    const std::optional<int32_t> chosen = parse_dedupe_unit(to_utf8(stored));
    std::vector<int32_t> units;
    for (int32_t unit = kDedupeUnitSmallest; unit <= kDedupeUnitLargest; ++unit)
        units.push_back(unit);
    units.push_back(kDedupeUnitFile);
    for (const int32_t unit : units) {
        const LRESULT item =
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(dedupe_unit_label(unit))));
        SendMessageW(list, CB_SETITEMDATA, item, unit);
        if (chosen == unit)
            SendMessageW(list, CB_SETCURSEL, item, 0);
    }
}

// The selected unit as the settings keep it; the stored text when nothing is selected.
std::u16string chosen_unit(HWND dialog, const std::u16string& stored) {
    HWND list = GetDlgItem(dialog, IDC_DEDUPE_UNIT);
    const LRESULT item = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR)
        return stored;
    return from_utf8(dedupe_unit_text(static_cast<int32_t>(SendMessageW(list, CB_GETITEMDATA, item, 0))));
}

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

TextId label_of(RunChoiceField field) {
    switch (field) {
    case RunChoiceField::seed:
        return kTextSeed;
    case RunChoiceField::compress:
        return kTextCompressibleTo;
    case RunChoiceField::dedupe:
        return kTextDuplicateBlocks;
    case RunChoiceField::dedupe_unit:
        return kTextDuplicateUnit;
    default:
        return kTextJobs;
    }
}

int control_of(RunChoiceField field) {
    switch (field) {
    case RunChoiceField::seed:
        return IDC_SEED;
    case RunChoiceField::compress:
        return IDC_COMPRESS;
    case RunChoiceField::dedupe:
        return IDC_DEDUPE;
    case RunChoiceField::dedupe_unit:
        return IDC_DEDUPE_UNIT;
    default:
        return IDC_JOBS;
    }
}

struct DialogState {
    StoredRunOptions* options;
    int32_t files_type;
};

void set_texts(HWND dialog, const StoredRunOptions& options, int32_t files_type) {
    SetWindowTextW(dialog, wide(text(kTextRunOptions)));
    set_control_text(GetDlgItem(dialog, IDC_SEED_LABEL), text(kTextSeed) + u" :");
    std::u16string note = text(kTextSeedBlank);
    if (!options.last_seed.empty())
        note += u"  " + fill_placeholders(text(kTextLastSeed), {options.last_seed});
    set_control_text(GetDlgItem(dialog, IDC_SEED_NOTE), note);
    set_control_text(GetDlgItem(dialog, IDC_COMPRESS_LABEL), text(kTextCompressibleTo) + u" :");
    set_control_text(GetDlgItem(dialog, IDC_DEDUPE_LABEL), text(kTextDuplicateBlocks) + u" :");
    set_control_text(GetDlgItem(dialog, IDC_DEDUPE_UNIT_LABEL), text(kTextDuplicateUnit) + u" :");
    fill_units(dialog, options.texts.dedupe_unit);
    set_control_text(GetDlgItem(dialog, IDC_JOBS_LABEL), text(kTextJobs) + u" :");
    set_control_text(GetDlgItem(dialog, IDC_DIRECT), text(kTextWritePastCache));
    set_control_text(GetDlgItem(dialog, IDC_FILL), text(kTextUntilDiskFull));
    set_control_text(GetDlgItem(dialog, IDC_SYNC), text(kTextFlushEachFile));
    set_control_text(GetDlgItem(dialog, IDOK), text(kTextOk));
    set_control_text(GetDlgItem(dialog, IDCANCEL), text(kTextCancel));
    for (const auto& [id, value] :
         {std::pair{IDC_SEED, &options.texts.seed}, std::pair{IDC_COMPRESS, &options.texts.compress},
          std::pair{IDC_DEDUPE, &options.texts.dedupe}, std::pair{IDC_JOBS, &options.texts.jobs}})
        set_control_text(GetDlgItem(dialog, id), *value);
    CheckDlgButton(dialog, IDC_DIRECT, options.direct ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_FILL, options.fill ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SYNC, options.sync ? BST_CHECKED : BST_UNCHECKED);
    // The shape is random data's alone.
    for (const int id : {IDC_COMPRESS_LABEL, IDC_COMPRESS, IDC_DEDUPE_LABEL, IDC_DEDUPE,
                         IDC_DEDUPE_UNIT_LABEL, IDC_DEDUPE_UNIT})
        EnableWindow(GetDlgItem(dialog, id), files_type == kRandomData);
}

// OK: the fields are taken only when every number can be; otherwise the message names the first
// that cannot, and the dialog stays.
bool take_fields(HWND dialog, StoredRunOptions& options) {
    StoredRunOptions edited = options;
    edited.texts = {field_text(dialog, IDC_SEED), field_text(dialog, IDC_COMPRESS),
                    field_text(dialog, IDC_DEDUPE), field_text(dialog, IDC_JOBS),
                    chosen_unit(dialog, options.texts.dedupe_unit)};
    edited.direct = checked(dialog, IDC_DIRECT);
    edited.fill = checked(dialog, IDC_FILL);
    edited.sync = checked(dialog, IDC_SYNC);
    RunChoice choice;
    if (const RunChoiceField bad = run_choice_of(edited, choice); bad != RunChoiceField::none) {
        MessageBoxW(dialog, wide(bad_option_message(edited.texts, bad)), wide(text(kTextAttention)),
                    MB_ICONERROR | MB_OK);
        HWND field = GetDlgItem(dialog, control_of(bad));
        SetFocus(field);
        if (bad != RunChoiceField::dedupe_unit)
            SendMessageW(field, EM_SETSEL, 0, -1);
        return false;
    }
    options = edited;
    write_run_options(options);
    return true;
}

INT_PTR CALLBACK options_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* state = reinterpret_cast<const DialogState*>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        set_texts(dialog, *state->options, state->files_type);
        return TRUE;
    }
    case WM_COMMAND: {
        auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (LOWORD(wparam) == IDOK && state != nullptr && take_fields(dialog, *state->options))
            EndDialog(dialog, IDOK);
        else if (LOWORD(wparam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace

StoredRunOptions read_run_options() {
    StoredRunOptions options;
    options.texts.seed = setting_text(u"seed", options.texts.seed);
    options.texts.compress = setting_text(u"compress", options.texts.compress);
    options.texts.dedupe = setting_text(u"dedupe", options.texts.dedupe);
    options.texts.dedupe_unit = setting_text(u"dedupe_unit", options.texts.dedupe_unit);
    options.texts.jobs = setting_text(u"jobs", options.texts.jobs);
    options.direct = read_setting_int(u"direct", 0) != 0;
    options.fill = read_setting_int(u"fill", 0) != 0;
    options.sync = read_setting_int(u"sync", 0) != 0;
    options.last_seed = setting_text(u"last_seed", u"");
    return options;
}

void write_run_options(const StoredRunOptions& options) {
    write_setting_text(u"seed", options.texts.seed.c_str());
    write_setting_text(u"compress", options.texts.compress.c_str());
    write_setting_text(u"dedupe", options.texts.dedupe.c_str());
    write_setting_text(u"dedupe_unit", options.texts.dedupe_unit.c_str());
    write_setting_text(u"jobs", options.texts.jobs.c_str());
    write_setting_int(u"direct", options.direct ? 1 : 0);
    write_setting_int(u"fill", options.fill ? 1 : 0);
    write_setting_int(u"sync", options.sync ? 1 : 0);
}

void write_last_seed(uint64_t seed) {
    write_setting_text(u"last_seed", format_ascii("%llu", static_cast<unsigned long long>(seed)).c_str());
}

RunChoiceField run_choice_of(const StoredRunOptions& options, RunChoice& choice) {
    const RunChoiceField bad = read_run_choice(options.texts, choice);
    choice.direct = options.direct;
    choice.fill = options.fill;
    choice.sync = options.sync;
    return bad;
}

std::u16string bad_option_message(const RunChoiceTexts& texts, RunChoiceField field) {
    const std::u16string& value = field == RunChoiceField::seed          ? texts.seed
                                  : field == RunChoiceField::compress    ? texts.compress
                                  : field == RunChoiceField::dedupe      ? texts.dedupe
                                  : field == RunChoiceField::dedupe_unit ? texts.dedupe_unit
                                                                         : texts.jobs;
    if (field == RunChoiceField::dedupe_unit)
        return fill_placeholders(text(kTextBadUnit), {value, text(label_of(field))});
    const NumberRange range = range_of(field);
    return fill_placeholders(text(kTextBadNumber),
                             {value, text(label_of(field)),
                              format_ascii("%lld", static_cast<long long>(range.low)),
                              format_ascii("%lld", static_cast<long long>(range.high))});
}

bool edit_run_options(HWND owner, StoredRunOptions& options, int32_t files_type) {
    DialogState state{&options, files_type};
    return DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_OPTIONS), owner, options_procedure,
                           reinterpret_cast<LPARAM>(&state)) == IDOK;
}
