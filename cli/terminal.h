// The terminal's platform pieces for the command-line generator: arguments, console text, Ctrl-C,
// the user's language.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

std::vector<std::u16string> command_arguments(int argc, char** argv);
bool stdout_is_terminal();
bool stderr_is_terminal();
bool stdin_is_terminal();
// Lets the console take the cursor movements of the redrawn status lines (on standard error).
void enable_terminal_sequences();
void write_out(std::u16string_view text);
void write_err(std::u16string_view text);
// The first Ctrl-C asks the run to cancel; a second one ends the program at once with 130.
void install_interrupt_handler();
// The catalogue language of the user's locale.
int32_t default_language();
