// Win32 reads for the check of a folder.
#include "core/run/file_reader.h"

#include <atomic>
#include <memory>
#include <windows.h>

#include "core/base/text.h"
#include "core/run/file_system.h"
#include "platform/wide_text.h"

namespace {

class Win32FileReader : public FileReader {
public:
    Handle open(const std::u16string& path, std::string& error) override;
    int64_t read_at(Handle file, uint64_t offset, uint8_t* data, size_t size, std::string& error) override;
    void close(Handle file) override;
    void set_direct(bool direct) override { direct_ = direct; }
    bool direct_refused() const override { return refused_; }
    bool drop_cache(const std::u16string& path, std::string& error) override;

private:
    bool direct_ = false;
    std::atomic<bool> refused_{false};
};

} // namespace

namespace {

// The system's message for an error code, in the user's language, as UTF-8 without its line end.
std::string system_message(DWORD code) {
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

} // namespace

FileReader::Handle Win32FileReader::open(const std::u16string& path, std::string& error) {
    const wchar_t* const name = wide(path);
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (direct_ && !refused_) {
        HANDLE file =
            CreateFileW(name, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return reinterpret_cast<Handle>(file);
        if (GetLastError() != ERROR_INVALID_PARAMETER && GetLastError() != ERROR_NOT_SUPPORTED) {
            error = system_message(GetLastError());
            return kNoHandle;
        }
        refused_ = true;
    }
    HANDLE file =
        CreateFileW(name, GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = system_message(GetLastError());
        return kNoHandle;
    }
    return reinterpret_cast<Handle>(file);
}

int64_t Win32FileReader::read_at(Handle file, uint64_t offset, uint8_t* data, size_t size,
                                 std::string& error) {
    size_t done = 0;
    while (done < size) {
        // A read at a given place: the offset travels in the OVERLAPPED of a synchronous handle.
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const DWORD ask = size - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size - done);
        DWORD got = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(file), data + done, ask, &got, &at)) {
            const DWORD code = GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            error = system_message(code);
            return -1;
        }
        if (got == 0)
            break;
        done += got;
        // An unbuffered read stops short at the end of the file; the rest, from a place that is
        // not aligned, would only fail.
        if (direct_ && done < size && (offset + done) % kDirectAlignment != 0)
            break;
    }
    return static_cast<int64_t>(done);
}

void Win32FileReader::close(Handle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

bool Win32FileReader::drop_cache(const std::u16string&, std::string& error) {
    error = "Windows has no call that drops one file from its cache (--direct reads past it)";
    return false;
}

std::unique_ptr<FileReader> make_file_reader() { return std::make_unique<Win32FileReader>(); }
