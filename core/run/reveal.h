// Showing a file in the platform's file manager (one version in each platform file).
#pragma once

#include <string>

// Opens the file manager on the folder of path, with the file selected where the system can; the
// outcome is not examined.
void reveal_in_file_manager(const std::u16string& path);

// What starts Explorer with the file selected: the program in the Windows folder, and the
// parameters " /select,"path",/e" with every doubled backslash of the path made single.
std::u16string explorer_program(const std::u16string& windows_folder);
std::u16string explorer_parameters(const std::u16string& path);
