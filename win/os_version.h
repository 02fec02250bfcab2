// The version of Windows the program runs on, as the Info page shows it.
#pragma once

#include <windows.h>

// The system's version record; the first call fills a process-wide cache, later ones copy it.
OSVERSIONINFOW get_os_version();

using rtl_get_version_function = LONG(WINAPI*)(OSVERSIONINFOEXW*);

// The filling step on its own: `find_rtl_get_version` names ntdll's version function (or null)
// and is asked only on systems new enough to have it.
OSVERSIONINFOW query_os_version(rtl_get_version_function (*find_rtl_get_version)());
