// The Info page's texts.
#include "win/info_page.h"

#include <windows.h>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/os_version.h"

void apply_info_texts(HWND page, bool with_system_line) {
    set_control_text(GetDlgItem(page, IDC_HOMEPAGE), site_address);
    set_control_text(
        GetDlgItem(page, IDC_VERSION_LINE),
        fill_placeholders(common_text(kCommonVersionLine), {text(kTextVersion), text(kTextBuild)}));
    set_control_text(GetDlgItem(page, IDC_PROGRAMMED_BY), text(kTextProgrammedBy) + u": ");
    set_control_text(GetDlgItem(page, IDC_HOMEPAGE_LABEL), text(kTextHomepage) + u": ");
    set_control_text(GetDlgItem(page, IDC_NOTICE), common_text(kCommonNotice));
    if (!with_system_line)
        return;
    const OSVERSIONINFOW version = get_os_version();
    const std::u16string line =
        common_text(kCommonNameAndVersion) + format_ascii(" - OS:%lu.%lu %lu", version.dwMajorVersion,
                                                          version.dwMinorVersion, version.dwBuildNumber);
    set_control_text(GetDlgItem(page, IDC_SYSTEM_LINE), line.substr(0, 255));
}
