// Owners of Win32 handles, each closing its handle when it goes, so that no early return leaks
// one, and a write that tells whether all of its data went out. Windows only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <utility>

#include "core/base/text.h"
#include "platform/wide_text.h"

// Owns one handle of the kind `Kind` describes: its type, the value that holds nothing, and how
// it is closed. Moves, never copies.
template <typename Kind> class Owned {
public:
    using Type = typename Kind::Type;

    Owned() = default;
    explicit Owned(Type value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Kind::none(); }
    // Where a function that hands out a new handle through a pointer puts it; the handle held
    // so far is closed first.
    Type* out() {
        reset();
        return &value_;
    }
    // Gives the handle up without closing it.
    Type release() { return std::exchange(value_, Kind::none()); }
    void reset(Type value = Kind::none()) {
        if (value_ != Kind::none())
            Kind::close(value_);
        value_ = value;
    }

private:
    Type value_ = Kind::none();
};

// CreateFileW's handles, which hold nothing as INVALID_HANDLE_VALUE.
struct FileHandleKind {
    using Type = HANDLE;
    static Type none() { return INVALID_HANDLE_VALUE; }
    static void close(Type handle) { CloseHandle(handle); }
};
// Threads and events, which hold nothing as null.
struct ObjectHandleKind {
    using Type = HANDLE;
    static Type none() { return nullptr; }
    static void close(Type handle) { CloseHandle(handle); }
};
struct RegistryKeyKind {
    using Type = HKEY;
    static Type none() { return nullptr; }
    static void close(Type key) { RegCloseKey(key); }
};
struct MenuKind {
    using Type = HMENU;
    static Type none() { return nullptr; }
    static void close(Type menu) { DestroyMenu(menu); }
};

using FileHandle = Owned<FileHandleKind>;
using ObjectHandle = Owned<ObjectHandleKind>;
using RegistryKey = Owned<RegistryKeyKind>;
using PopupMenu = Owned<MenuKind>;

// Writes all `size` bytes of `data`, in as many calls as it takes. False when the system took
// less; GetLastError then tells why (ERROR_WRITE_FAULT where a call wrote nothing without one).
inline bool write_all(HANDLE file, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(file, bytes, ask, &done, nullptr))
            return false;
        if (done == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes += done;
        size -= done;
    }
    return true;
}

// The system's message for an error code, in the user's language, as UTF-8 without its line end.
inline std::string system_message(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length != 0 ? to_utf8(std::u16string_view(utf16(text), length)) : "";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(code) : message;
}
