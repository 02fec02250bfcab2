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
// The first argument that is no text the program can pass on unchanged (bytes that are not UTF-8,
// on POSIX), shown with such bytes as \xNN; none when every argument is.
std::optional<std::string> undecodable_argument(int argc, char** argv);
// A closed pipe on the output is an error of the write (reported once, exit code 1), not a signal
// that ends the program.
void ignore_closed_pipes();
// One line from standard input, without its line end (LF or CR LF); none at the end of the input,
// or once run_cancel is set while it waits (a cancel that comes just before the wait, too).
std::optional<std::string> read_input_line();
bool stdout_is_terminal();
bool stderr_is_terminal();
bool stdin_is_terminal();
// Lets the console take the cursor movements of the redrawn status lines (on standard error).
void enable_terminal_sequences();
void write_out(std::u16string_view text);
void write_err(std::u16string_view text);
// Why a write to standard output or standard error failed, the first time one did; none before.
std::optional<std::string> output_error();
// Ctrl-C, and on POSIX SIGTERM and SIGHUP, ask the run to cancel; a second one ends the program at
// once, after giving the files the run has open their ".partial" names (open_run_files). The
// console's close, log-off and shutdown events on Windows cancel and wait a moment for the run to
// close its file.
void install_interrupt_handler();
// The exit code of a cancel: 128 + the signal that asked for it (130 for Ctrl-C).
int cancel_exit_code();
// The signal that asked for the cancel, as --json names it: "SIGINT" (also Ctrl-C on Windows),
// "SIGTERM" or "SIGHUP".
std::string cancel_signal_name();
// The catalogue language of the user's locale.
int32_t default_language();
