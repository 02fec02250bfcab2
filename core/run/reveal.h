// Showing a file in the platform's file manager (one version in each platform file).
#pragma once

#include <string>

// Opens the file manager on the folder of path, with the file selected where the system can; the
// outcome is not examined.
void reveal_in_file_manager(const std::u16string& path);
