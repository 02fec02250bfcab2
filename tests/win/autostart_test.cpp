// Tests of the autostart entry under Wine, on a value of their own in the Run key, so the
// program's real entry is never touched.
#include "win/autostart.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "platform/wide_text.h"

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Entry {
    DWORD type;
    std::vector<uint8_t> data;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << "type " << entry.type << ", " << entry.data.size() << " bytes:";
    for (size_t at = 0; at < entry.data.size() && at < 64; ++at)
        *out << ' ' << int{entry.data[at]};
    if (entry.data.size() > 64)
        *out << " ...";
}

std::vector<uint8_t> bytes_of(std::u16string_view text, bool terminated = true) {
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                               reinterpret_cast<const uint8_t*>(text.data() + text.size()));
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

class Autostart : public testing::Test {
protected:
    void SetUp() override {
        // A fresh test prefix may not have the key yet; the program itself never creates it.
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run_,
                                  nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueW(run_, name());
    }
    void TearDown() override {
        RegDeleteValueW(run_, name());
        RegCloseKey(run_);
    }

    const wchar_t* name() const { return wide(name_); }

    void store(const Entry& entry) {
        ASSERT_EQ(RegSetValueExW(run_, name(), 0, entry.type, entry.data.data(),
                                 static_cast<DWORD>(entry.data.size())),
                  ERROR_SUCCESS);
    }

    std::optional<Entry> stored() const {
        Entry entry{0, std::vector<uint8_t>(8192)};
        DWORD size = static_cast<DWORD>(entry.data.size());
        if (RegQueryValueExW(run_, name(), nullptr, &entry.type, entry.data.data(), &size) != ERROR_SUCCESS)
            return std::nullopt;
        entry.data.resize(size);
        return entry;
    }

    const std::u16string name_ = u"PelmoraTest" + format_ascii("%lu", GetCurrentProcessId());
    HKEY run_ = nullptr;
};

TEST_F(Autostart, RefreshesOnlyAnEntryThatDiffers) {
    const std::u16string exe = u"C:\\Tools\\Pelmora.exe";
    const std::u16string command = u"\"C:\\Tools\\Pelmora.exe\" -bg";
    const Entry rewritten{REG_SZ, bytes_of(command)};
    const struct {
        const char* name;
        std::optional<Entry> before; // none: no entry
        Ended result;
        bool rewrites;
    } cases[] = {
        {"no entry", std::nullopt, Ended::declined, false},
        {"equal", Entry{REG_SZ, bytes_of(command)}, Ended::done, false},
        {"equal, expandable", Entry{REG_EXPAND_SZ, bytes_of(command)}, Ended::done, false},
        {"equal up to the terminator", Entry{REG_SZ, bytes_of(command + u'\0' + u"rest")}, Ended::done,
         false},
        // The registry adds a missing terminator to strings, not to other types.
        {"equal, binary without terminator", Entry{REG_BINARY, bytes_of(command, false)}, Ended::done, false},
        {"other path", Entry{REG_SZ, bytes_of(u"\"D:\\Old\\Pelmora.exe\" -bg")}, Ended::done, true},
        {"switch missing", Entry{REG_SZ, bytes_of(u"\"C:\\Tools\\Pelmora.exe\"")}, Ended::done, true},
        {"other letter case", Entry{REG_SZ, bytes_of(u"\"c:\\tools\\pelmora.exe\" -bg")}, Ended::done, true},
        {"switch in capitals", Entry{REG_SZ, bytes_of(u"\"C:\\Tools\\Pelmora.exe\" -BG")}, Ended::done, true},
        {"longer", Entry{REG_SZ, bytes_of(command + u" -x")}, Ended::done, true},
        {"empty", Entry{REG_SZ, bytes_of(u"")}, Ended::done, true},
        {"expandable, other text", Entry{REG_EXPAND_SZ, bytes_of(u"%ProgramFiles%\\Pelmora.exe -bg")},
         Ended::done, true},
        {"1,024 bytes", Entry{REG_SZ, bytes_of(std::u16string(511, u'x'))}, Ended::done, true},
        {"1,026 bytes", Entry{REG_SZ, bytes_of(std::u16string(512, u'x'))}, Ended::declined, false},
        {"4,002 bytes", Entry{REG_SZ, bytes_of(std::u16string(2000, u'x'))}, Ended::declined, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteValueW(run_, name());
        if (c.before)
            store(*c.before);
        EXPECT_EQ(refresh_autostart(name_.c_str(), exe), c.result);
        EXPECT_EQ(stored(), c.rewrites ? std::optional<Entry>(rewritten) : c.before);
    }
}

TEST_F(Autostart, CommandNamesTheRunningExecutableByDefault) {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::u16string own = from_wide(module, length);
    const struct {
        const char* name;
        std::u16string exe; // empty: the running executable
        std::u16string command;
    } cases[] = {
        {"running executable", u"", u"\"" + own + u"\" -bg"},
        {"folder in other scripts", u"C:\\Φάκελος\\文件夹\\Pelmora.exe",
         u"\"C:\\Φάκελος\\文件夹\\Pelmora.exe\" -bg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store(Entry{REG_SZ, bytes_of(u"\"D:\\Old\\Pelmora.exe\" -bg")});
        EXPECT_EQ(refresh_autostart(name_.c_str(), c.exe), Ended::done);
        EXPECT_EQ(stored(), (Entry{REG_SZ, bytes_of(c.command)}));
        // Once right, the entry stays as it is.
        EXPECT_EQ(refresh_autostart(name_.c_str(), c.exe), Ended::done);
        EXPECT_EQ(stored(), (Entry{REG_SZ, bytes_of(c.command)}));
    }
}

} // namespace
