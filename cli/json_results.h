// The JSON that --json prints: one object for a run, one for a check. Keys, numbers and status
// words never follow the language; only the error texts do.
#pragma once

#include <cstdint>
#include <string>

#include "cli/options.h"
#include "core/run/verify.h"
#include "core/run/writer.h"

enum class RunStatus { done, cancelled, error };

// A run of `options` with `seed` (the number --seed takes to make it again) that ended in `status`.
std::string run_json(const CliOptions& options, uint64_t seed, const RunOutcome& outcome, RunStatus status,
                     const std::u16string& error);

// A check of options.folder; `check.error` set when the folder could not be read.
std::string verify_json(const CliOptions& options, const FolderCheck& check);
