// Starting, watching and ending a program for the tests, with posix_spawn.
#include "tests/core/cli_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int index_of(Output output) { return static_cast<int>(output); }

// One of the texts the program printed, as `finished` holds them.
template <typename Texts> auto& text_of(Texts& finished, Output output) {
    return output == Output::out ? finished.out : output == Output::err ? finished.err : finished.terminal;
}

// A pseudo-terminal: its master for the test, its slave for the program. Neither becomes the
// controlling terminal of anyone.
bool open_terminal(int& master, int& slave) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0)
        return false;
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    return slave >= 0;
}

void close_if_open(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

int milliseconds_until(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

CliProcess::CliProcess(const std::vector<std::string>& argv, const ProcessSetup& setup) {
    int master = -1, slave = -1;
    const bool terminal = setup.input_terminal || setup.output_terminal || setup.errors_terminal;
    int out[2] = {-1, -1}; // reading end, writing end
    int err[2] = {-1, -1};
    const bool out_pipe = setup.output_fd < 0 && !setup.output_terminal;
    const bool err_pipe = !setup.errors_into_output && !setup.errors_terminal;
    const bool ready = (!terminal || open_terminal(master, slave)) &&
                       (!out_pipe || pipe2(out, O_CLOEXEC) == 0) && (!err_pipe || pipe2(err, O_CLOEXEC) == 0);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (setup.input_terminal)
        posix_spawn_file_actions_adddup2(&actions, slave, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions,
                                     setup.output_fd >= 0    ? setup.output_fd
                                     : setup.output_terminal ? slave
                                                             : out[1],
                                     STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions,
                                     setup.errors_into_output ? STDOUT_FILENO
                                     : setup.errors_terminal  ? slave
                                                              : err[1],
                                     STDERR_FILENO);
    if (!setup.folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setup.folder.c_str());
    // A test run in the background inherits ignored SIGINT and SIGQUIT: the program gets its
    // signals as from an interactive shell.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> words;
    for (const std::string& word : argv)
        words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    if (!ready || argv.empty() ||
        posix_spawnp(&pid_, words[0], &actions, &attributes, words.data(), environ) != 0)
        pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);

    // Only the program holds the writing ends now: they close when it ends.
    close_if_open(out[1]);
    close_if_open(err[1]);
    close_if_open(slave);
    fds_[index_of(Output::out)] = out[0];
    fds_[index_of(Output::err)] = err[0];
    fds_[index_of(Output::terminal)] = master;
    terminal_ = master;
    if (pid_ < 0) {
        close_if_open(fds_[index_of(Output::out)]);
        close_if_open(fds_[index_of(Output::err)]);
        fds_[index_of(Output::terminal)] = -1;
        finished_.code = 127;
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close_if_open(fds_[index_of(Output::out)]);
    close_if_open(fds_[index_of(Output::err)]);
    close_if_open(terminal_);
}

bool CliProcess::send(std::string_view text) {
    if (terminal_ < 0)
        return false;
    while (!text.empty()) {
        const ssize_t n = write(terminal_, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Once reaped, the number may be another process's.
bool CliProcess::signal(int signal) { return pid_ > 0 && !reaped_ && kill(pid_, signal) == 0; }

bool CliProcess::ended() {
    if (pid_ > 0 && !reaped_)
        reaped_ = waitpid(pid_, &status_, WNOHANG) == pid_;
    return pid_ <= 0 || reaped_;
}

const std::string& CliProcess::text(Output output) const { return text_of(finished_, output); }

bool CliProcess::reading() const {
    for (const int fd : fds_)
        if (fd >= 0)
            return true;
    return false;
}

void CliProcess::read_some(int milliseconds) {
    pollfd polled[3];
    int count = 0;
    for (const int fd : fds_)
        if (fd >= 0)
            polled[count++] = {fd, POLLIN, 0};
    if (count == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    if (poll(polled, static_cast<nfds_t>(count), milliseconds) <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        if (polled[i].revents == 0)
            continue;
        int which = 0;
        while (fds_[which] != polled[i].fd)
            ++which;
        const auto output = static_cast<Output>(which);
        char buffer[4096];
        const ssize_t n = read(polled[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            text_of(finished_, output).append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            // The end of a pipe; a terminal says EIO once the program has closed its side (its
            // master stays open for send()).
            if (output != Output::terminal)
                close(fds_[which]);
            fds_[which] = -1;
        }
    }
}

bool CliProcess::wait_for(std::string_view text_wanted, Output output, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (text(output).find(text_wanted) != std::string::npos)
            return true;
        if (fds_[index_of(output)] < 0 || Clock::now() >= deadline)
            return false;
        read_some(milliseconds_until(deadline));
    }
}

bool CliProcess::wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (ended())
            return condition();
        if (Clock::now() >= deadline)
            return false;
        read_some(std::min(5, milliseconds_until(deadline)));
    }
}

bool CliProcess::wait_until_asleep(std::chrono::milliseconds limit) {
    const std::string where = "/proc/" + std::to_string(pid_) + "/wchan";
    return wait_until(
        [&] {
            // "0" while it runs.
            std::string function;
            std::ifstream(where) >> function;
            return !function.empty() && function != "0";
        },
        limit);
}

Finished CliProcess::finish(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (reading() && Clock::now() < deadline)
        read_some(milliseconds_until(deadline));
    while (!ended() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!ended()) {
        kill(pid_, SIGKILL); // stuck: the test fails on how it ended
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
    if (pid_ > 0) {
        finished_.code = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
        finished_.signal = WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
    }
    return finished_;
}

Finished run_process(const std::vector<std::string>& argv, const ProcessSetup& setup,
                     const std::function<void(CliProcess&)>& while_running) {
    CliProcess process(argv, setup);
    if (while_running)
        while_running(process);
    return process.finish();
}
