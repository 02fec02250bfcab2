// The language menu, translation files, the program menu, the More page and the recommendation
// mail: Pelmora.exe under Wine, driven from outside. Web addresses and opened text files reach a
// recording script through winebrowser; mail reaches a recording MAPI32.DLL beside the program.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "res/resource.h"
#include "tests/win/program_driver.h"

#include <commctrl.h>

namespace {

void write_bytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

void set_registry_text(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(RegSetKeyValueW(root, key, name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// What winebrowser was asked to open, one address per line.
const std::wstring url_record = from_unix(PELMORA_URL_RECORD);

class LanguageAndLinks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Addresses and files go to the recorder instead of a browser; text files open through
        // winebrowser as on a desktop that has an editor for them.
        set_registry_text(
            HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers",
            std::wstring(PELMORA_URL_RECORDER, PELMORA_URL_RECORDER + sizeof PELMORA_URL_RECORDER - 1));
        set_registry_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.txt", nullptr, L"txtfile");
        // Wine prefers its own MAPI32.DLL; the program takes one beside it first, as Windows does.
        set_registry_text(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Pelmora.exe\\DllOverrides",
                          L"mapi32", L"native,builtin");
        set_registry_text(HKEY_LOCAL_MACHINE, L"Software\\Classes\\txtfile\\shell\\open\\command", nullptr,
                          L"\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"");
    }
    void SetUp() override { DeleteFileW(url_record.c_str()); }

    // Whether winebrowser has been asked to open `address`.
    static bool asked_to_open(const std::wstring& address) {
        const std::string bytes = read_bytes(url_record);
        return std::wstring(bytes.begin(), bytes.end()).find(address + L"\n") != std::wstring::npos;
    }
    static bool recorded(const std::wstring& address) {
        return wait_until([&] { return asked_to_open(address); }, 10);
    }
};

// The address as the shell hands it on: an empty path becomes "/" ("https://host?x" arrives as
// "https://host/?x"), as in any browser.
std::wstring canonical(const std::wstring& address) {
    const size_t host = address.find(L"://") + 3;
    const size_t end = address.find_first_of(L"/?", host);
    if (end == std::wstring::npos)
        return address + L"/";
    return address[end] == L'?' ? address.substr(0, end) + L"/" + address.substr(end) : address;
}

// A toolbar button's text, read through a buffer in the program's own memory.
std::wstring toolbar_text(HWND dialog, int command) {
    HWND toolbar = FindWindowExW(dialog, nullptr, TOOLBARCLASSNAMEW, nullptr);
    DWORD process_id = 0;
    GetWindowThreadProcessId(toolbar, &process_id);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (process == nullptr)
        return L"(no access)";
    void* remote = VirtualAllocEx(process, nullptr, 1024, MEM_COMMIT, PAGE_READWRITE);
    wchar_t text[512] = {};
    if (SendMessageW(toolbar, TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(remote)) >= 0)
        ReadProcessMemory(process, remote, text, sizeof text - sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return text;
}

std::wstring text_of(HWND dialog, int id) { return window_text(GetDlgItem(dialog, id)); }

// Answers the program's "Translate" box and returns its text.
std::wstring translate_box_text() {
    HWND box = nullptr;
    if (!wait_until([&] { return visible(box = FindWindowW(L"#32770", L"Translate")); }))
        return L"(no box)";
    const std::wstring text = window_text(GetDlgItem(box, 0xFFFF));
    SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    wait_until([&] { return !IsWindow(box); }, 5);
    return text;
}

bool open_dialog_shown() { return visible(FindWindowW(L"#32770", L"Open")); }

// Picks `path` in the program's open-file dialog.
bool open_file(const std::wstring& path) {
    HWND open = nullptr;
    if (!wait_until([&] { return visible(open = FindWindowW(L"#32770", L"Open")); }))
        return false;
    SendDlgItemMessageW(open, 0x47C, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(open, WM_COMMAND, IDOK, 0);
    return true;
}

TEST_F(LanguageAndLinks, ChoosingALanguageSwitchesEveryTextAtOnceAndDismissingStoresNothing) {
    Program program(L"[Program]\r\nlng=1\r\n", true);
    HWND dialog = program.start_shown();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text_of(dialog, IDC_PAGE_PROGRAM), L"Program");
    const auto german = [&] { return text_of(dialog, IDC_PAGE_PROGRAM) == L"Programm"; };

    // Nothing is highlighted at first; the first down reaches German.
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_DOWN, 1, german));
    HWND more = Program::page_with(dialog, IDC_RECOMMEND);
    EXPECT_EQ(text_of(more, IDC_RECOMMEND), L"Programm empfehlen");
    EXPECT_EQ(toolbar_text(dialog, IDM_PROGRAM_MENU),
              L"Freeware \u00A9 2026 Pelmora team # https://www.pelmora.example/de");
    EXPECT_NE(program.ini_text().find(L"lng=0\r\n"), std::wstring::npos);
    // The toolbar is rebuilt with every change of language, never added to.
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_DOWN, 3, [&] { // Russian
        return program.ini_text().find(L"lng=2\r\n") != std::wstring::npos;
    }));
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_DOWN, 1, german));
    EXPECT_EQ(SendMessageW(FindWindowExW(dialog, nullptr, TOOLBARCLASSNAMEW, nullptr), TB_BUTTONCOUNT, 0, 0),
              4);

    const std::string before = program.ini_bytes();
    ASSERT_TRUE(use_menu(dialog, IDM_LANGUAGE_MENU, VK_ESCAPE, 1));
    Sleep(300);
    EXPECT_EQ(program.ini_bytes(), before) << "a dismissed menu writes nothing";
    EXPECT_EQ(text_of(dialog, IDC_PAGE_PROGRAM), L"Programm");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
}

TEST_F(LanguageAndLinks, TemplateIsWrittenOpenedAndLoadsBackComplete) {
    const std::wstring path = temp_folder() + L"translate_Pelmora_2.85.txt";
    write_bytes(path, std::string(200000, 'x')); // an older, longer file is replaced whole
    Program program(L"[Program]\r\nlng=4\r\n", true);
    HWND dialog = program.start_shown();
    ASSERT_NE(dialog, nullptr);

    // From the bottom: "Load from File (Unicode)", then "Translate".
    ASSERT_TRUE(choose_in_menu(
        dialog, IDM_LANGUAGE_MENU, VK_UP, 2,
        [&] { return read_bytes(url_record).find("/translate_Pelmora_2.85.txt\n") != std::string::npos; }))
        << "opened through the shell: " << read_bytes(url_record);
    EXPECT_EQ(read_bytes(url_record).rfind("file:///", 0), 0u);
    const std::string file = read_bytes(path);
    ASSERT_GT(file.size(), 4u);
    EXPECT_EQ(file.substr(0, 6), std::string("\xFF\xFE\r\0\n\0", 6));
    EXPECT_LT(file.size(), 200000u);
    const std::wstring text(reinterpret_cast<const wchar_t*>(file.data() + 2), (file.size() - 2) / 2);
    EXPECT_NE(text.find(L"\r\n\r\n##=English\tEnglisch\r\n\r\n\n10=Destination Folder\r\n"),
              std::wstring::npos);
    EXPECT_EQ(text.substr(text.size() - 4), L"\r\n\r\n");
    EXPECT_NE(program.ini_text().find(L"lng=4\r\n"), std::wstring::npos) << "stored, unchanged";

    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_UP, 1, open_dialog_shown));
    ASSERT_TRUE(open_file(path));
    EXPECT_EQ(translate_box_text(), L"English\tEnglisch / 100 %") << "named as the template names it";
    EXPECT_TRUE(wait_until([&] { return text_of(dialog, IDC_PAGE_PROGRAM) == L"Program"; }, 5))
        << "the template's texts are the English ones";

    // A translation that lacks 75 (and most else): the FAQ button shows the number instead.
    const std::wstring partial = temp_folder() + L"pelmora-partial.txt";
    write_bytes(partial, "; comment\r\n26=Programa\r\n72=Sair\r\n");
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_UP, 1, open_dialog_shown));
    ASSERT_TRUE(open_file(partial));
    const std::wstring report = translate_box_text();
    EXPECT_EQ(report.substr(0, 33), L"1 %\n\nmiss:\n10=Destination Folder\n") << "2 of 110";
    EXPECT_TRUE(wait_until([&] { return text_of(dialog, IDC_PAGE_PROGRAM) == L"Programa"; }, 5));
    EXPECT_EQ(text_of(dialog, IDCANCEL), L"Sair");
    EXPECT_EQ(toolbar_text(dialog, IDM_FAQ), L"# Str:75?");
    EXPECT_EQ(text_of(dialog, IDC_PAGE_INFO), L"Str:27?");

    // Any language from the menu leaves the loaded texts: German is the first item.
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_DOWN, 1,
                               [&] { return text_of(dialog, IDC_PAGE_PROGRAM) == L"Programm"; }));
    EXPECT_EQ(toolbar_text(dialog, IDM_FAQ), L"# FAQ");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    DeleteFileW(path.c_str());
    DeleteFileW(partial.c_str());
}

TEST_F(LanguageAndLinks, ATranslationNamedInARightToLeftScriptKeepsItsNameApartFromTheFigure) {
    // Persian, as the catalogue names it, with one text: the report reads "name / 0 %" in that
    // order, the name isolated from the figure that follows it.
    const std::wstring path = temp_folder() + L"pelmora-persian.txt";
    const std::wstring text =
        L"##=Persian\t\u0641\u0627\u0631\u0633\u06CC\r\n26=\u0628\u0631\u0646\u0627\u0645\u0647\r\n";
    write_bytes(path, "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    Program program(L"[Program]\r\nlng=1\r\n", true);
    HWND dialog = program.start_shown();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(choose_in_menu(dialog, IDM_LANGUAGE_MENU, VK_UP, 1, open_dialog_shown));
    ASSERT_TRUE(open_file(path));
    const std::wstring report = translate_box_text();
    EXPECT_EQ(report.substr(0, report.find(L'\n')),
              L"Persian\t\u2068\u0641\u0627\u0631\u0633\u06CC\u2069 / 0 %");
    EXPECT_TRUE(wait_until(
        [&] { return text_of(dialog, IDC_PAGE_PROGRAM) == L"\u0628\u0631\u0646\u0627\u0645\u0647"; }, 5));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    DeleteFileW(path.c_str());
}

struct LinkCase {
    int language;
    const wchar_t* site;
    const wchar_t* thanks;
};

TEST_F(LanguageAndLinks, ProgramMenuAndMorePageOpenTheLanguagesAddresses) {
    const LinkCase cases[] = {
        {1, L"https://www.pelmora.example", L"https://www.pelmora.example/?Microsoft/Pelmora/Thanks"},
        {0, L"https://www.pelmora.example/de", L"https://www.pelmora.example/de/?Microsoft/Pelmora/Danke"},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(c.language);
        DeleteFileW(url_record.c_str());
        Program program(L"[Program]\r\nc_wnd=3\r\nlng=" + std::to_wstring(c.language) + L"\r\n", true);
        HWND dialog = program.start_shown();
        ASSERT_NE(dialog, nullptr);
        const std::wstring site = c.site;
        const std::wstring expected[] = {c.thanks, site + L"?seite=faq-Pelmora&faq=0",
                                         site + L"?Microsoft/Pelmora", site + L"?Microsoft/Pelmora/History",
                                         site + L"?News"};
        for (int entry = 1; entry <= 5; ++entry) {
            EXPECT_TRUE(choose_in_menu(dialog, IDM_PROGRAM_MENU, VK_DOWN, entry,
                                       [&] { return asked_to_open(canonical(expected[entry - 1])); }))
                << "entry " << entry << ": " << read_bytes(url_record);
        }
        HWND more = Program::page_with(dialog, IDC_MORE_FREEWARE);
        PostMessageW(more, WM_COMMAND, MAKEWPARAM(IDC_MORE_FREEWARE, BN_CLICKED), 0);
        EXPECT_TRUE(recorded(canonical(site))) << "I want more freeware";
        ASSERT_TRUE(use_menu(dialog, IDM_PROGRAM_MENU, VK_ESCAPE, 1));
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(program.exit_code(), 1);
    }
}

// The fields of each call the recording MAPI32.DLL saw.
std::vector<std::map<std::string, std::string>> mail_calls(const std::wstring& record) {
    std::vector<std::map<std::string, std::string>> calls(1);
    const std::string bytes = read_bytes(record);
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = bytes.find('\0', at);
        const std::string field = bytes.substr(at, end - at);
        at = end == std::string::npos ? bytes.size() : end + 1;
        if (field == "end") {
            calls.emplace_back();
            continue;
        }
        const size_t equals = field.find('=');
        calls.back()[field.substr(0, equals)] = field.substr(equals + 1);
    }
    calls.pop_back();
    return calls;
}

TEST_F(LanguageAndLinks, MailButtonsHandTheRecommendationToTheMailProgram) {
    const std::wstring record = temp_folder() + L"pelmora-mail-calls.txt";
    DeleteFileW(record.c_str());
    Program program(L"[Program]\r\nc_wnd=3\r\nlng=1\r\n", true);
    const std::wstring folder = program.exe().substr(0, program.exe().rfind(L'\\'));
    const std::wstring library = folder + L"\\MAPI32.DLL";
    ASSERT_TRUE(CopyFileW(from_unix(PELMORA_MAPI_RECORDER).c_str(), library.c_str(), FALSE));
    HWND dialog = program.start_shown();
    ASSERT_NE(dialog, nullptr);
    HWND more = Program::page_with(dialog, IDC_RECOMMEND);
    PostMessageW(more, WM_COMMAND, MAKEWPARAM(IDC_RECOMMEND, BN_CLICKED), 0);
    ASSERT_TRUE(wait_until([&] { return mail_calls(record).size() == 1; }, 10));
    PostMessageW(more, WM_COMMAND, MAKEWPARAM(IDC_SEND_PROGRAM, BN_CLICKED), 0);
    ASSERT_TRUE(wait_until([&] { return mail_calls(record).size() == 2; }, 10));

    const auto calls = mail_calls(record);
    const std::string page = "https://www.pelmora.example?site=Freeware/Pelmora";
    for (const auto& call : calls) {
        EXPECT_EQ(call.at("session"), "0");
        EXPECT_EQ(call.at("parent"), std::to_string(reinterpret_cast<ULONG_PTR>(more)));
        EXPECT_EQ(call.at("flags"), "9");
        EXPECT_EQ(call.at("subject"), "Juhuuuu I found #AP#! :Pelmora");
        EXPECT_EQ(call.at("note").substr(0, 27), "Hello,\r\n \r\n I found Pelmora");
        EXPECT_NE(
            call.at("note").find(" website: " + page + "\r\n download: " + page + "?Download=Pelmora\r\n"),
            std::string::npos);
        EXPECT_EQ(call.at("recipients"), "0");
        EXPECT_EQ(call.at("files"), "set");
    }
    EXPECT_EQ(calls[0].at("count"), "0") << "the recommendation has no attachment";
    EXPECT_EQ(calls[1].at("count"), "1");
    const std::wstring exe = program.exe();
    EXPECT_EQ(calls[1].at("path"), std::string(exe.begin(), exe.end()));
    EXPECT_EQ(calls[1].at("name"), "Pelmora.exe");
    EXPECT_EQ(calls[1].at("position"), "4294967295");
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
    DeleteFileW(library.c_str());
    DeleteFileW(record.c_str());
}

// The program's own top-level windows that can be seen.
int visible_windows_of(DWORD process) {
    struct Count {
        DWORD process;
        int seen;
    } count = {process, 0};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Count*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            c->seen += owner == c->process && IsWindowVisible(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.seen;
}

TEST_F(LanguageAndLinks, WithoutAMailProgramTheMailButtonsShowNothing) {
    Program program(L"[Program]\r\nc_wnd=3\r\n", true);
    HWND dialog = program.start_shown();
    ASSERT_NE(dialog, nullptr);
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    const int before = visible_windows_of(process);
    HWND more = Program::page_with(dialog, IDC_RECOMMEND);
    for (const int id : {IDC_RECOMMEND, IDC_SEND_PROGRAM}) {
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(more, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_ABORTIFHUNG,
                                      10000, &answer),
                  0)
            << "the command returns";
    }
    Sleep(1000);
    EXPECT_EQ(visible_windows_of(process), before) << "no box, no window";
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.exit_code(), 1);
}

} // namespace
