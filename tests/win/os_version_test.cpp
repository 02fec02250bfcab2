// Tests of the system version query under Wine.
#include "win/os_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace {

OSVERSIONINFOEXW from_ntdll() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const auto rtl_get_version = reinterpret_cast<rtl_get_version_function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtl_get_version != nullptr)
        rtl_get_version(&version);
    return version;
}

template <typename Record> Record from_get_version_ex() {
    Record version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
    return version;
}

TEST(OsVersion, ComesFromNtdllAndIsCached) {
    const OSVERSIONINFOW first = get_os_version();
    const OSVERSIONINFOW second = get_os_version();
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);

    EXPECT_EQ(first.dwOSVersionInfoSize, sizeof(OSVERSIONINFOW));
    EXPECT_GE(first.dwMajorVersion, 6u);
    const OSVERSIONINFOEXW exact = from_ntdll();
    EXPECT_EQ(first.dwMajorVersion, exact.dwMajorVersion);
    EXPECT_EQ(first.dwMinorVersion, exact.dwMinorVersion);
    EXPECT_EQ(first.dwBuildNumber, exact.dwBuildNumber);
    const OSVERSIONINFOW ordinary = from_get_version_ex<OSVERSIONINFOW>();
    EXPECT_EQ(first.dwPlatformId, ordinary.dwPlatformId);
    EXPECT_STREQ(first.szCSDVersion, ordinary.szCSDVersion);
}

// Stand-ins for ntdll's RtlGetVersion.
LONG WINAPI reports_other_version(OSVERSIONINFOEXW* version) {
    version->dwMajorVersion = 7;
    version->dwMinorVersion = 8;
    version->dwBuildNumber = 9;
    version->dwPlatformId = 99;
    std::wcscpy(version->szCSDVersion, L"stand-in");
    return 0;
}
LONG WINAPI reports_major_zero(OSVERSIONINFOEXW* version) {
    version->dwMinorVersion = 8;
    version->dwBuildNumber = 9;
    return 0;
}
LONG WINAPI reports_nothing(OSVERSIONINFOEXW*) { return static_cast<LONG>(0xC0000001); }

TEST(OsVersion, FallsBackToTheExtendedRecord) {
    const OSVERSIONINFOW ordinary = from_get_version_ex<OSVERSIONINFOW>();
    const OSVERSIONINFOEXW extended = from_get_version_ex<OSVERSIONINFOEXW>();
    const struct {
        const char* name;
        rtl_get_version_function (*find)();
        DWORD major, minor, build;
    } cases[] = {
        {"function found", [] { return &reports_other_version; }, 7, 8, 9},
        {"function gives major 0", [] { return &reports_major_zero; }, extended.dwMajorVersion,
         extended.dwMinorVersion, extended.dwBuildNumber},
        {"function fails", [] { return &reports_nothing; }, extended.dwMajorVersion, extended.dwMinorVersion,
         extended.dwBuildNumber},
        {"function missing", []() -> rtl_get_version_function { return nullptr; }, extended.dwMajorVersion,
         extended.dwMinorVersion, extended.dwBuildNumber},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const OSVERSIONINFOW version = query_os_version(c.find);
        EXPECT_EQ(version.dwOSVersionInfoSize, sizeof(OSVERSIONINFOW));
        EXPECT_EQ(version.dwMajorVersion, c.major);
        EXPECT_EQ(version.dwMinorVersion, c.minor);
        EXPECT_EQ(version.dwBuildNumber, c.build);
        // Platform and service pack always come from the ordinary query.
        EXPECT_EQ(version.dwPlatformId, ordinary.dwPlatformId);
        EXPECT_STREQ(version.szCSDVersion, ordinary.szCSDVersion);
    }
}

} // namespace
