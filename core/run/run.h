// The generation run: N files of S KB of generator data, random data or zeros, from its settings and
// seeds to its plan, which the writer (writer.h) carries out; run_thread.h runs it on a worker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/ended.h"
#include "core/run/file_system.h"
#include "core/run/file_type.h"
#include "core/run/run_limits.h"
#include "core/run/shaped.h"
#include "core/run/writer.h"

class RunView;

struct GenerationSettings {
    int64_t files_c = 1;
    int32_t files_size = 1024;           // kilobytes of 1,024 bytes
    int32_t files_type = kGeneratorData; // a FileType; any other value writes zeros
    DataShape shape;                     // random data: its compressed size and share of copies
    std::u16string Folder;
    RunView* owner = nullptr; // who is asked and shown things; also the progress target
};

// Where a run's randomness comes from: fixed seeds make it repeatable; without them the run seeds
// itself from the calendar time, the clock and the system's entropy.
struct RunSeeds {
    uint32_t tag = 0;  // makes the tag of zeros
    uint64_t data = 0; // the generator's first state (low 32 bits), which its tag records, or
                       // random data's seed (below kRandomSeedLimit), which is its tag
};

// The seeds of a run that one number fixes (pelmora-cli --seed): random data takes the number as
// its seed, so its tag shows it; the other types draw both seeds from it through splitmix64 (the
// same number gives generator data the same bytes as before its tag recorded the start).
RunSeeds run_seeds(uint64_t number, int32_t files_type);
// The tag of a run of `files_type` with `seeds`: random data's seed, generator data's start (with
// its check), or digits drawn with the tag seed (zeros).
std::u16string run_tag(int32_t files_type, const RunSeeds& seeds);
// A number for run_seeds, below kRandomSeedLimit, drawn from the time, the clock and the system's
// entropy: a front end that draws the number itself can tell it, and the number makes the run again.
uint64_t draw_seed_number();

// Done when the run reached its end (all files, or cancelled, or with fill a full disk), declined
// when it stopped on a declined overwrite, failed on an error (whose message has been shown).
Ended generation_run(const GenerationSettings& settings, FileSystem& fs,
                     const std::optional<RunSeeds>& seeds = std::nullopt, const RunOptions& options = {},
                     RunOutcome* outcome = nullptr);

// Why a run of `settings` cannot start (a negative size, a path longer than the platform takes,
// also with the ending of a cut file, a folder name longer than a file system takes), as the text
// of an error: the message, CR LF, the detail. Empty when it can start.
std::u16string settings_problem(const GenerationSettings& settings, const FileSystem& fs,
                                const RunOptions& options = {});
