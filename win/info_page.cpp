// The Info page's texts.
#include "win/info_page.h"

#include <windows.h>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/os_version.h"

namespace {

std::u16string text(int number) { return text_of(get_text(number)); }

// The first two "%s" of a catalogue text filled in order.
std::u16string fill_two(std::u16string format, const std::u16string& first, const std::u16string& second) {
    size_t at = format.find(u"%s");
    if (at == std::u16string::npos)
        return format;
    format.replace(at, 2, first);
    at = format.find(u"%s", at + first.size());
    if (at != std::u16string::npos)
        format.replace(at, 2, second);
    return format;
}

} // namespace

void apply_info_texts(HWND page, bool with_system_line) {
    set_control_text(GetDlgItem(page, IDC_HOMEPAGE), site_address);
    set_control_text(GetDlgItem(page, IDC_VERSION_LINE),
                     fill_two(text_of(get_common_text(26)), text(73), text(74)));
    set_control_text(GetDlgItem(page, IDC_PROGRAMMED_BY), text(70) + u": ");
    set_control_text(GetDlgItem(page, IDC_HOMEPAGE_LABEL), text(71) + u": ");
    set_control_text(GetDlgItem(page, IDC_NOTICE), text_of(get_common_text(27)));
    if (!with_system_line)
        return;
    const OSVERSIONINFOW version = get_os_version();
    const std::u16string line =
        text_of(get_common_text(19)) + format_ascii(" - OS:%lu.%lu %lu", version.dwMajorVersion,
                                                    version.dwMinorVersion, version.dwBuildNumber);
    set_control_text(GetDlgItem(page, IDC_SYSTEM_LINE), line.substr(0, 255));
}
