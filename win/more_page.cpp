// The More page, the program menu and the recommendation mail through Simple MAPI.
#include "win/more_page.h"

#include <mapi.h>
#include <shellapi.h>

#include <string>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/rules/recommendation.h"
#include "platform/wide_text.h"
#include "res/resource.h"
#include "win/controls.h"
#include "win/menu_items.h"
#include "win/settings.h"

namespace {

// The mail program wants ANSI text; false when the text cannot be converted.
bool to_thread_ansi(const std::u16string& text, std::string& out) {
    out.clear();
    if (text.empty())
        return true;
    const wchar_t* units = wide(text);
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_THREAD_ACP, 0, units, size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    out.assign(static_cast<size_t>(bytes), '\0');
    return WideCharToMultiByte(CP_THREAD_ACP, 0, units, size, out.data(), bytes, nullptr, nullptr) == bytes;
}

void open_address(const std::u16string& address) {
    ShellExecuteW(nullptr, L"open", wide(address), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

void apply_more_page_texts(HWND page) {
    set_control_text(GetDlgItem(page, IDC_RECOMMEND), text(kTextRecommend));
    set_control_text(GetDlgItem(page, IDC_SEND_PROGRAM), text(kTextSendProgram));
    set_control_text(GetDlgItem(page, IDC_MORE_FREEWARE), text(kTextMoreFreeware));
}

void more_page_command(HWND page, int id) {
    switch (id) {
    case IDC_RECOMMEND:
        recommend_program(page);
        break;
    case IDC_SEND_PROGRAM:
        send_program_by_mail(page);
        break;
    case IDC_MORE_FREEWARE:
        open_address(site_address);
        break;
    default:
        break;
    }
}

void show_program_menu(HWND owner, HWND toolbar) {
    const PopupMenu menu = make_program_menu(site_address);
    if (!menu)
        return;
    switch (track_toolbar_menu(menu, toolbar, IDM_PROGRAM_MENU, owner)) {
    case kThanksEntry:
        open_address(thanks_address());
        break;
    case kFaqEntry:
        open_site_page(kFaqPage);
        break;
    case kHomepageEntry:
        open_site_page(u"?Microsoft/Pelmora");
        break;
    case kHistoryEntry:
        open_site_page(u"?Microsoft/Pelmora/History");
        break;
    case kNewsEntry:
        open_site_page(u"?News");
        break;
    default:
        break;
    }
}

void recommend_program(HWND owner) {
    send_program_mail(owner, u"", recommendation_subject(text(kTextMailSubject)));
}

void send_program_by_mail(HWND owner) {
    // A cut path would attach the wrong file, and without its own path the program cannot attach
    // itself: it sends nothing rather than a mail without the promised attachment.
    const std::u16string executable = executable_path();
    if (!executable.empty())
        send_program_mail(owner, executable, recommendation_subject(text(kTextMailSubject)));
}

bool send_program_mail(HWND owner, const std::u16string& attachment, const std::u16string& subject) {
    if (owner == nullptr || !IsWindow(owner))
        return false;
    HMODULE library = LoadLibraryW(L"MAPI32.DLL"); // kept loaded: the mail program may hold on to it
    if (library == nullptr)
        return false;
    const auto send =
        reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(GetProcAddress(library, "MAPISendMail")));
    if (send == nullptr)
        return false;

    const std::u16string body = recommendation_body(text(kTextMailBody), site_address);
    std::string path, subject_text, note;
    const bool path_ok = to_thread_ansi(attachment, path);
    const bool subject_ok = to_thread_ansi(subject, subject_text);
    const bool note_ok = to_thread_ansi(body, note);
    char shown_name[] = "Pelmora.exe";

    MapiFileDesc file = {};
    file.nPosition = 0xFFFFFFFF; // not placed inside the text
    file.lpszPathName = path_ok ? path.data() : nullptr;
    file.lpszFileName = shown_name;

    MapiMessage message = {};
    message.lpszSubject = subject_ok ? subject_text.data() : nullptr;
    message.lpszNoteText = note_ok ? note.data() : nullptr;
    message.nFileCount = attachment.empty() ? 0 : 1;
    message.lpFiles = &file;

    const ULONG result =
        send(0, reinterpret_cast<ULONG_PTR>(owner), &message, MAPI_LOGON_UI | MAPI_DIALOG, 0);
    return result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT || result == MAPI_E_LOGIN_FAILURE;
}
