// The system version: GetVersionExW answers 6.2 to programs that do not declare Windows 10 in
// their manifest, so major, minor and build come from ntdll's RtlGetVersion where it exists.
#include "win/os_version.h"

namespace {

rtl_get_version_function find_rtl_get_version() {
    // Loaded, never released: ntdll stays in every process anyway.
    HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
    if (ntdll == nullptr)
        return nullptr;
    // Through the generic function pointer type, which GCC lets any function pointer become.
    return reinterpret_cast<rtl_get_version_function>(
        reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "RtlGetVersion")));
}

} // namespace

OSVERSIONINFOW query_os_version(rtl_get_version_function (*find_rtl_get_version)()) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    if (version.dwMajorVersion < 5)
        return version;

    OSVERSIONINFOEXW exact{};
    exact.dwOSVersionInfoSize = sizeof exact;
    const rtl_get_version_function rtl_get_version = find_rtl_get_version();
    if (rtl_get_version != nullptr)
        rtl_get_version(&exact);
    if (rtl_get_version == nullptr || exact.dwMajorVersion == 0) {
        exact = {};
        exact.dwOSVersionInfoSize = sizeof exact;
        GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&exact));
    }
    // Platform and service pack stay those of the first query.
    version.dwMajorVersion = exact.dwMajorVersion;
    version.dwMinorVersion = exact.dwMinorVersion;
    version.dwBuildNumber = exact.dwBuildNumber;
    return version;
}

OSVERSIONINFOW get_os_version() {
    static const OSVERSIONINFOW cache = query_os_version(&find_rtl_get_version);
    return cache;
}
