// The generation page's texts and type list.
#include "page.h"

#include "../res/resource.h"
#include "../ui/main_dialog.h"
#include "../ui/win_text.h"
#include "catalogue.h"
#include "run.h"
#include "text.h"

namespace {

std::u16string text(int number) { return text_of(get_text(number)); }

} // namespace

void apply_generation_page_texts(HWND page) {
    set_control_text(GetDlgItem(page, IDC_FOLDER_LABEL), text(10) + u" :");
    set_control_text(GetDlgItem(page, IDC_COUNT_LABEL), text(12) + u" :");
    set_control_text(GetDlgItem(page, IDC_FILE_SIZE_LABEL), text(13) + u" :");
    set_control_text(GetDlgItem(page, IDC_TYPE_LABEL), text(14) + u" :");
    // While a run is busy the button cancels it, and says so in the new language too.
    set_control_text(GetDlgItem(page, IDC_START), text(run_busy ? 21 : 11));
    HWND list = GetDlgItem(page, IDC_TYPE);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const int number : {15, 16}) {
        const std::u16string entry = text(number);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry)));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(generation_settings.files_type), 0);
}
