// The log-on start entry in the current user's Run key: kept pointing at this executable when
// it exists, never created or deleted.
#pragma once

#include <string_view>

#include "core/base/ended.h"

// Rewrites the entry `value_name` with the command for `exe_path` (empty: the running
// executable) when its text differs. Done when the entry exists (and now holds that command),
// declined when it is missing or unreadable (nothing to refresh), failed when it differs and the
// registry refused the new text.
Ended refresh_autostart(const char16_t* value_name, std::u16string_view exe_path = {});
