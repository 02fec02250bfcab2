// The log-on start entry in the current user's Run key: kept pointing at this executable when
// it exists, never created or deleted.
#pragma once

#include <cstdint>
#include <string_view>

// Rewrites the entry `value_name` with the command for `exe_path` (empty: the running
// executable) when its text differs. 1 when the entry exists (and now holds that command), 0 when
// it is missing or unreadable, -1 when it differs and the registry refused the new text.
int32_t refresh_autostart(const char16_t* value_name, std::u16string_view exe_path = {});
