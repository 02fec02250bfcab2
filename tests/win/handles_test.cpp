// The Win32 handle owners and write_all, under Wine.
#include "platform/win32_handles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::wstring temp_folder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::string read_bytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Win32Handles : public ::testing::Test {
protected:
    void TearDown() override { DeleteFileW(path_.c_str()); }

    HANDLE open(DWORD access, DWORD share, DWORD disposition) const {
        return CreateFileW(path_.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }

    const std::wstring path_ = temp_folder() + L"pelmora-handles-" + std::to_wstring(GetCurrentProcessId());
};

TEST_F(Win32Handles, WriteAllWritesEverythingOrSaysItFailed) {
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    {
        const FileHandle file(open(GENERIC_WRITE, 0, CREATE_ALWAYS));
        ASSERT_TRUE(file);
        EXPECT_TRUE(write_all(file.get(), data.data(), data.size()));
        EXPECT_TRUE(write_all(file.get(), data.data(), 0)) << "nothing to write is no failure";
    }
    EXPECT_EQ(read_bytes(path_), data);

    const FileHandle read_only(open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(read_only);
    EXPECT_FALSE(write_all(read_only.get(), "x", 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Win32Handles, AnOwnerClosesItsHandleWhenItGoesAndNotWhenReleased) {
    {
        const FileHandle file(open(GENERIC_WRITE, 0, CREATE_ALWAYS));
        ASSERT_TRUE(file);
        // Opened without sharing: a second open fails while the owner holds the file.
        const FileHandle second(open(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
        EXPECT_FALSE(second);
    }
    FileHandle again(open(GENERIC_WRITE, 0, OPEN_EXISTING));
    EXPECT_TRUE(again) << "the first owner closed the file";

    FileHandle moved = std::move(again);
    EXPECT_FALSE(again);
    ASSERT_TRUE(moved);
    const HANDLE kept = moved.release();
    EXPECT_FALSE(moved);
    EXPECT_FALSE(FileHandle(open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING))) << "released, still open";
    EXPECT_TRUE(CloseHandle(kept));

    RegistryKey key;
    ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, L"Software", key.out()), ERROR_SUCCESS);
    EXPECT_TRUE(key);
    PopupMenu menu(CreatePopupMenu());
    const HMENU handle = menu.get();
    EXPECT_TRUE(IsMenu(handle));
    menu.reset();
    EXPECT_FALSE(IsMenu(handle)) << "destroyed";
}

} // namespace
