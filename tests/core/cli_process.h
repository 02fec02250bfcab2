// A program started as a process for the tests of pelmora-cli: its standard streams on pipes, on
// one pseudo-terminal or on a descriptor the test chooses; what it prints read as it comes, so
// that a test can wait for a text before it types an answer or sends a signal; and how it ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Where the program's standard streams go, set in a chain: ProcessSetup().errors_with_output().
// The pseudo-terminal is one for all the streams put on it, as a user's terminal is; it is not the
// program's controlling terminal, so signals come from signal() alone.
struct ProcessSetup {
    // Standard input from the terminal, where the program asks and send() types; else /dev/null.
    ProcessSetup& input_on_terminal(bool on = true) { return set(input_terminal, on); }
    // Standard output and standard error on the terminal; else each on a pipe of its own.
    ProcessSetup& output_on_terminal(bool on = true) { return set(output_terminal, on); }
    ProcessSetup& errors_on_terminal(bool on = true) { return set(errors_terminal, on); }
    // Standard error into standard output's pipe (2>&1): one text in the order it was written.
    ProcessSetup& errors_with_output(bool on = true) { return set(errors_into_output, on); }
    // Standard output into this descriptor instead (a pipe nobody reads, /dev/full).
    ProcessSetup& output_to(int fd) {
        output_fd = fd;
        return *this;
    }
    // The working folder; the test's own unless set.
    ProcessSetup& in_folder(const std::filesystem::path& path) {
        folder = path;
        return *this;
    }

    bool input_terminal = false, output_terminal = false, errors_terminal = false, errors_into_output = false;
    int output_fd = -1;
    std::filesystem::path folder;

private:
    ProcessSetup& set(bool& flag, bool on) {
        flag = on;
        return *this;
    }
};

// How the program ended and everything it printed.
struct Finished {
    int code = -1;  // the exit code; -1 when a signal ended the program
    int signal = 0; // the signal that ended it; 0 when it exited
    std::string out, err, terminal;
};

enum class Output { out, err, terminal };

class CliProcess {
public:
    // Starts argv[0] (looked up on PATH when it has no slash) with the other words as arguments,
    // with its signals as a shell leaves them (none ignored or blocked). A program that cannot be
    // started ends at once with 127, as a shell's command does.
    explicit CliProcess(const std::vector<std::string>& argv, const ProcessSetup& setup = ProcessSetup());
    // A program still running is killed.
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Types `text` on the terminal, as someone at it would.
    bool send(std::string_view text);
    bool signal(int signal);
    // Reads what the program prints until `text` has come on `output`, at most `limit`; false
    // when it did not come in time or the program closed that output first.
    bool wait_for(std::string_view text, Output output,
                  std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Reads what the program prints (so that it never waits for a full pipe) until `condition`
    // holds, looked at every few milliseconds, at most `limit` or until the program has ended.
    bool wait_until(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Reads what the program prints until it sleeps in the system, as it does waiting for an
    // answer (Linux tells where a process sleeps), at most `limit`.
    bool wait_until_asleep(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Reads until the program has closed its outputs and waits for its end; a program still
    // running after `limit` is killed (and the test fails on how it ended).
    Finished finish(std::chrono::milliseconds limit = std::chrono::seconds(90));

    // What the program printed so far.
    const std::string& text(Output output) const;

private:
    // Waits at most `milliseconds` for output, then reads what came.
    void read_some(int milliseconds);
    bool reading() const;
    // Whether the program has ended (reaped then, its status kept).
    bool ended();

    pid_t pid_ = -1;
    int fds_[3] = {-1, -1, -1}; // the reading ends, by Output; the terminal's is also where send() writes
    int terminal_ = -1;         // the terminal's master, kept for send() after its output closed
    bool reaped_ = false;
    int status_ = 0;
    Finished finished_;
};

// Runs the program to its end. `while_running` gets the process to act on while it runs.
Finished run_process(const std::vector<std::string>& argv, const ProcessSetup& setup = ProcessSetup(),
                     const std::function<void(CliProcess&)>& while_running = {});
