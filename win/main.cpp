// Pelmora.exe's entry point: start-up, the hidden main window and the one message loop.
#include <windows.h>

#include <commctrl.h>

#include <cwchar>

#include "core/lang/catalogue.h"
#include "core/run/run.h"
#include "core/run/run_thread.h"
#include "res/resource.h"
#include "win/check_page.h"
#include "win/controls.h"
#include "win/main_dialog.h"
#include "win/settings.h"
#include "win/tray.h"

namespace {

// The process-wide objects, in the order they are made (and unmade in reverse): the main
// dialog, the tray, then the message by which another process asks us to show ourselves.
CHauptDialog main_dialog;
CToTray tray;
const UINT show_message = RegisterWindowMessageW(L"Pelmora");

// How long an ending program waits for a busy run to close its file, and for a check's readers,
// which stop at their next block.
constexpr int32_t kRunFinishMilliseconds = 3000;
constexpr int32_t kCheckFinishMilliseconds = 400;

// The ending program's UI thread, waiting for the run, still answers the worker's calls to its
// windows (a report caught half-way, a status line): they would otherwise hold the worker, and
// the file open, until the wait gives up. Input stays queued: the program is ending.
void answer_worker(int32_t milliseconds) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_SENDMESSAGE);
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

INT_PTR CALLBACK main_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return main_dialog.dialog_handler(dialog, message, wparam, lparam);
}

HWND create_main_dialog(CHauptDialog& dialog) {
    HWND window = CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, main_dialog_proc, 0);
    dialog.window = window;
    if (window != nullptr && dialog.start_tray == 0 && !dialog.start_in_background)
        ShowWindow(window, SW_SHOW);
    return window;
}

void deferred_start(HWND window) {
    tray.bind_window(window);
    tray.create(IDI_PROGRAM, L"Pelmora", true);
    main_dialog.tray = &tray;
    create_main_dialog(main_dialog);
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    // Any process may send or broadcast this to bring a hidden instance to the front.
    if (show_message != 0 && message == show_message && main_dialog.window != nullptr) {
        ShowWindow(main_dialog.window, SW_SHOW);
        SetForegroundWindow(main_dialog.window);
    }
    switch (message) {
    case WM_CREATE:
        PostMessageW(window, WM_COMMAND, IDM_DEFERRED_START, 0);
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_ENDSESSION:
        // The session ends: a busy run closes its file before the process goes.
        if (wparam) {
            finish_busy_run(kRunFinishMilliseconds, answer_worker);
            finish_busy_check(kCheckFinishMilliseconds);
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDM_DEFERRED_START)
            deferred_start(window);
        return 0;
    case kTrayCallback:
        toggle_dialog(main_dialog.window, static_cast<UINT>(lparam));
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

void register_main_window_class(HINSTANCE instance, const wchar_t* class_name) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    window_class.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);
}

bool create_main_window(HINSTANCE instance, const wchar_t* class_name, const wchar_t* title) {
    HWND window = CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                  -100, -100, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return false;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return true;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
    app_instance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    InitCommonControls();
    // A plain substring test: "-bg" inside a folder name counts too, "-BG" does not.
    if (command_line != nullptr && *command_line != 0 && std::wcsstr(command_line, L"-bg") != nullptr)
        main_dialog.start_in_background = true;

    wchar_t title[255] = {};
    wchar_t class_name[255] = {};
    LoadStringW(instance, IDS_CLASS_NAME, title, 255);
    LoadStringW(instance, IDS_CLASS_NAME, class_name, 255);
    register_main_window_class(instance, class_name);
    init_settings();
    if (!unpack_catalogue())
        return 0;
    if (!create_main_window(instance, class_name, title))
        return 0;

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (main_dialog.window != nullptr && IsDialogMessageW(main_dialog.window, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // Ended while a run is busy (the hidden window closed, say): the run closes its file first.
    finish_busy_run(kRunFinishMilliseconds, answer_worker);
    finish_busy_check(kCheckFinishMilliseconds);
    return static_cast<int>(message.wParam);
}
