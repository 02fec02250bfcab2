// Tests of the settings file under Wine: its creation at start-up, the accessors, and texts in
// any script surviving the trip through the file.
#include "win/settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/language_default.h"
#include "platform/wide_text.h"

namespace {

// A new folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(std::u16string_view name) {
        static int made = 0;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = from_wide(temp);
        path_ += format_ascii("pelmora-settings-%lu-%d-", GetCurrentProcessId(), ++made);
        path_ += name;
        EXPECT_TRUE(CreateDirectoryW(wide(path_), nullptr)) << to_utf8(path_);
    }
    ~ScratchFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(wide(path_ + u"\\*"), &found);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
            const std::u16string file = path_ + u"\\" + from_wide(found.cFileName);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                SetFileAttributesW(wide(file), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(wide(file));
            }
        }
        if (search != INVALID_HANDLE_VALUE)
            FindClose(search);
        RemoveDirectoryW(wide(path_));
    }
    const std::u16string& path() const { return path_; }
    std::u16string exe() const { return path_ + u"\\Pelmora.exe"; }
    std::u16string ini() const { return path_ + u"\\Pelmora.ini"; }

private:
    std::u16string path_;
};

std::vector<uint8_t> file_bytes(const std::u16string& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    uint8_t block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), block, block + got);
    CloseHandle(file);
    return bytes;
}

void put_file(const std::u16string& path, const std::vector<uint8_t>& bytes) {
    HANDLE file =
        CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << to_utf8(path);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

// A text as the bytes of a UTF-16LE file with its byte-order mark.
std::vector<uint8_t> utf16_file(std::u16string_view text) {
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

// The text of a UTF-16LE file after its byte-order mark.
std::u16string text_of_utf16_file(const std::vector<uint8_t>& bytes) {
    std::u16string text;
    for (size_t at = 2; at + 1 < bytes.size(); at += 2)
        text.push_back(static_cast<char16_t>(bytes[at] | bytes[at + 1] << 8));
    return text;
}

std::vector<uint8_t> ansi_file(std::string_view text) { return {text.begin(), text.end()}; }

// The attribute bits a settings file can carry here; Wine adds "archive" to every file.
DWORD marks_of(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    return attributes == INVALID_FILE_ATTRIBUTES
               ? attributes
               : attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

// read_setting_text into a buffer of `capacity` units that holds `default_text`.
std::u16string read_text(const char16_t* key, std::u16string_view default_text, uint32_t capacity) {
    std::u16string buffer(default_text);
    buffer.resize(capacity);
    read_setting_text(key, buffer.data(), capacity);
    return buffer.c_str();
}

int32_t user_language() { return language_for_identifier(GetUserDefaultLangID()); }

TEST(Settings, FirstStartCreatesAHiddenFileHoldingOnlyTheByteOrderMark) {
    for (const char16_t* name : {u"plain", u"Φάκελος", u"文件夹"}) {
        SCOPED_TRACE(to_utf8(name));
        const ScratchFolder folder(name);
        language_index = 42;
        init_settings(folder.exe());
        EXPECT_EQ(settings_path, folder.ini());
        EXPECT_EQ(file_bytes(folder.ini()), (std::vector<uint8_t>{0xFF, 0xFE}));
        EXPECT_EQ(marks_of(folder.ini()), DWORD{FILE_ATTRIBUTE_HIDDEN});
        // No "lng" yet: the user's language, not what the index held before.
        EXPECT_EQ(language_index, user_language());
    }
}

TEST(Settings, AnExistingFileIsLeftAlone) {
    const struct {
        const char* name;
        std::vector<uint8_t> contents;
        DWORD attributes;
        int32_t language;
    } cases[] = {
        {"read-only ANSI", ansi_file("[Program]\r\nlng=3\r\n"), FILE_ATTRIBUTE_READONLY, 3},
        {"empty, plain", {}, FILE_ATTRIBUTE_NORMAL, -1},
        {"hidden and system UTF-16", utf16_file(u"[Program]\r\nlng=6\r\n"),
         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 6},
        {"read-only and hidden", utf16_file(u"[program]\r\nLNG=0\r\n"),
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder folder(u"existing");
        put_file(folder.ini(), c.contents);
        ASSERT_TRUE(SetFileAttributesW(wide(folder.ini()), c.attributes));
        const DWORD attributes_before = GetFileAttributesW(wide(folder.ini()));

        init_settings(folder.exe());
        EXPECT_EQ(file_bytes(folder.ini()), c.contents);
        EXPECT_EQ(GetFileAttributesW(wide(folder.ini())), attributes_before);
        EXPECT_EQ(language_index, c.language >= 0 ? c.language : user_language());
    }
}

TEST(Settings, AFolderThatCannotHoldTheFileLeavesEveryDefault) {
    const ScratchFolder folder(u"parent");
    const std::u16string missing = folder.path() + u"\\missing";
    init_settings(missing + u"\\Pelmora.exe");
    EXPECT_EQ(settings_path, missing + u"\\Pelmora.ini");
    EXPECT_EQ(GetFileAttributesW(wide(missing)), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(language_index, user_language());

    write_setting_int(u"files_c", 9);
    write_setting_text(u"Folder", u"D:\\Out");
    EXPECT_EQ(read_setting_int(u"files_c", 5), 5);
    EXPECT_EQ(read_text(u"Folder", u"C:\\Desktop", 256), u"C:\\Desktop");
}

TEST(Settings, LanguageComesFromTheFileUnchecked) {
    const struct {
        const char16_t* line;
        std::optional<int32_t> language; // none: the user's language
    } cases[] = {
        {u"lng=99", 99},
        {u"lng=2", 2},
        {u"lng=-4", -4},
        {u"lng=", std::nullopt},
        {u"lng=abc", 0},
        {u"lng=8x", 8},
        {u"other=3", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.line));
        const ScratchFolder folder(u"language");
        put_file(folder.ini(), utf16_file(u"[Program]\r\n" + std::u16string(c.line) + u"\r\n"));
        language_index = 42;
        init_settings(folder.exe());
        EXPECT_EQ(language_index, c.language.value_or(user_language()));
    }
}

TEST(Settings, IntegersReadLikeTheCLibrary) {
    const struct {
        const char16_t* file;
        int32_t default_value;
        int32_t expected;
    } cases[] = {
        {u"[Program]\r\n", 1, 1}, // missing key
        {u"[Program]\r\nfiles_c=12abc\r\n", 1, 12},
        {u"[Program]\r\nfiles_c=\r\n", 1024, 1024}, // empty value: the default
        {u"[Program]\r\nfiles_c=abc\r\n", 1, 0},
        {u"[Program]\r\nfiles_c=-17\r\n", 1, -17},
        {u"[Program]\r\nfiles_c=99999999999\r\n", 1, INT32_MAX},
        {u"[Program]\r\nfiles_c=-99999999999\r\n", 1, INT32_MIN},
        {u"[Program]\r\nFILES_C=3\r\n", 1, 3}, // names match without regard to case
        {u"[Other]\r\nfiles_c=5\r\n", 1, 1},   // only the section "Program" counts
        {u"", -8, -8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.file));
        const ScratchFolder folder(u"integers");
        put_file(folder.ini(), utf16_file(c.file));
        init_settings(folder.exe());
        EXPECT_EQ(read_setting_int(u"files_c", c.default_value), c.expected);
    }
}

TEST(Settings, TextsAreCutToTheBuffer) {
    const struct {
        const char16_t* file;
        const char16_t* default_text;
        uint32_t capacity;
        const char16_t* expected;
    } cases[] = {
        {u"[Program]\r\n", u"C:\\Desktop", 256, u"C:\\Desktop"}, // missing: the default stays
        {u"[Program]\r\nFolder=D:\\Out\r\n", u"C:\\Desktop", 256, u"D:\\Out"},
        {u"[Program]\r\nFolder=\r\n", u"C:\\Desktop", 256, u""}, // present but empty
        {u"[Program]\r\nFolder=ABCDEFGHIJ\r\n", u"C:", 5, u"ABCD"},
        {u"[Program]\r\nFolder=ABCD\r\n", u"C:", 5, u"ABCD"},
        {u"[Program]\r\nFolder=Φάκελος\r\n", u"C:", 256, u"Φάκελος"},
        {u"[Program]\r\nFolder=文件夹\r\n", u"C:", 3, u"文件"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.file));
        const ScratchFolder folder(u"texts");
        put_file(folder.ini(), utf16_file(c.file));
        init_settings(folder.exe());

        // One unit past the buffer shows a write beyond its end.
        std::u16string buffer(c.default_text);
        buffer.resize(c.capacity + 1, u'#');
        buffer[std::char_traits<char16_t>::length(c.default_text)] = u'\0';
        read_setting_text(u"Folder", buffer.data(), c.capacity);
        EXPECT_EQ(std::u16string(buffer.c_str()), c.expected);
        EXPECT_EQ(buffer[c.capacity], u'#');
    }
}

TEST(Settings, WrittenValuesComeBackInAnyScript) {
    const struct {
        const char16_t* folder_name;
        const char16_t* text;
        int32_t number;
    } cases[] = {
        {u"Φάκελος", u"C:\\Φάκελος", -1},
        {u"文件夹", u"C:\\文件夹\\Φάκελος", INT32_MIN},
        {u"plain", u"D:\\Out", INT32_MAX},
        {u"empty", u"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.folder_name));
        const ScratchFolder folder(c.folder_name);
        init_settings(folder.exe());
        write_setting_text(u"Folder", c.text);
        write_setting_int(u"files_c", c.number);
        write_setting_int(u"files_size", 4096);

        EXPECT_EQ(read_text(u"Folder", u"none", 256), c.text);
        EXPECT_EQ(read_setting_int(u"files_c", 7), c.number);
        EXPECT_EQ(read_setting_int(u"files_size", 7), 4096);
        // The file stays UTF-16 and hidden, integers stored as plain decimal text.
        const std::vector<uint8_t> bytes = file_bytes(folder.ini());
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xFE);
        const std::u16string stored = text_of_utf16_file(bytes);
        EXPECT_NE(stored.find(u"Folder=" + std::u16string(c.text) + u"\r\n"), std::u16string::npos);
        EXPECT_NE(stored.find(u"files_c=" + format_ascii("%d", c.number) + u"\r\n"), std::u16string::npos);
        EXPECT_EQ(marks_of(folder.ini()), DWORD{FILE_ATTRIBUTE_HIDDEN});
    }
}

} // namespace
