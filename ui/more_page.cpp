// The More page's texts.
#include "more_page.h"

#include "../res/resource.h"
#include "catalogue.h"
#include "main_dialog.h"
#include "text.h"

void apply_more_page_texts(HWND page) {
    set_control_text(GetDlgItem(page, IDC_RECOMMEND), text_of(get_text(52)));
    set_control_text(GetDlgItem(page, IDC_SEND_PROGRAM), text_of(get_text(53)));
    set_control_text(GetDlgItem(page, IDC_MORE_FREEWARE), text_of(get_text(54)));
}
