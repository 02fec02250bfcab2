// The JSON that --json prints: one object for every way the program ends, whose "status" says
// what the exit code says. Keys, numbers and status words never follow the language; only the
// error texts do.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "cli/json_writer.h"
#include "cli/options.h"
#include "core/run/verify.h"
#include "core/run/writer.h"

// How a run ended: done (exit code 0), error (1), declined (3: an existing file not overwritten),
// cancelled (130, 143 or 129: a signal or Ctrl-C).
enum class RunStatus { done, cancelled, error, declined };

// A run of `options` with `seed` (the number --seed takes to make it again) that ended in `status`;
// `signal` names what cancelled it ("SIGINT"), empty when nothing did.
std::string run_json(const CliOptions& options, uint64_t seed, const RunOutcome& outcome, RunStatus status,
                     const std::u16string& error, std::string_view signal = {});

// Arguments that were refused (exit code 2): the status "bad_arguments" and why.
std::string bad_arguments_json(const std::u16string& error);

// A check of options.folder, written as it goes: the folder's keys once the files are read, then
// each run, then the end. Status "intact" (exit code 0), "not_intact" (1), "bad_arguments" (2: the
// folder cannot be read) or "cancelled".
class VerifyJson final : public VerifySink {
public:
    VerifyJson(const CliOptions& options, std::function<void(const std::string&)> out)
        : options_(options), out_(std::move(out)) {}
    void folder(const FolderFacts& facts) override;
    void run(const RunCheck& run) override;
    // Closes the object, or writes all of it when no run was handed over (an unreadable folder,
    // a cancel); `signal` as for run_json.
    void finish(const FolderFacts& facts, std::string_view signal = {});

private:
    void head(const FolderFacts& facts, std::string_view signal);

    const CliOptions& options_;
    const std::function<void(const std::string&)> out_;
    JsonWriter json_;
    bool started_ = false;
};

// A whole check at once.
std::string verify_json(const CliOptions& options, const FolderCheck& check);
