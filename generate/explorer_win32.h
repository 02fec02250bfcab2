// Starting Explorer on a run's last file (Windows only).
#pragma once

#include <string>

// Explorer from the Windows folder, with the file selected; the outcome is not examined.
void start_explorer_on(const std::u16string& path);
