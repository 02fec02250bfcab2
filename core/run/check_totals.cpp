// Adding up a check's runs.
#include "core/run/check_totals.h"

#include <algorithm>

namespace {

// True when the run's file `number` (a whole one, not a ".partial") is among its damaged files.
bool damaged(const RunCheck& run, int64_t number) {
    if (std::any_of(run.problems.begin(), run.problems.end(),
                    [&](const FileProblem& p) { return p.number == number && !p.partial; }))
        return true;
    return std::any_of(run.unlisted.numbers.begin(), run.unlisted.numbers.end(),
                       [&](const auto& range) { return range.first <= number && number <= range.second; });
}

} // namespace

CheckTotals run_totals(const RunCheck& run) {
    CheckTotals totals;
    uint64_t damaged_whole = 0; // of the files counted in `numbers`
    for (const FileProblem& problem : run.problems) {
        ++totals.damaged_files;
        totals.damaged_bytes += problem.size;
        damaged_whole += problem.partial ? 0 : 1;
    }
    // Without a seed nothing of the run could be compared: none of it counts as intact.
    const uint64_t others = run.files_found - damaged_whole;
    if (run.seed_known) {
        totals.intact_bytes += others * run.file_bytes;
        // A fill run's last file holds what room was left.
        if (run.fill && run.files_found != 0 && !damaged(run, run.last_found()))
            totals.intact_bytes = totals.intact_bytes - run.file_bytes + run.last_file_bytes;
    } else {
        totals.damaged_files += others;
        totals.damaged_bytes += others * run.file_bytes;
    }
    for (const auto& [first, last] : run.missing)
        totals.missing_files += static_cast<uint64_t>(last - first + 1);
    if (run.count_from_width > 0 && run.files_found != 0 && run.last_found() < run.count_from_width)
        totals.missing_files += static_cast<uint64_t>(run.count_from_width - run.last_found());
    totals.lost_bytes = totals.damaged_bytes + totals.missing_files * run.file_bytes;
    return totals;
}

CheckTotals check_totals(const FolderCheck& check) {
    CheckTotals totals;
    for (const RunCheck& run : check.runs) {
        const CheckTotals of_run = run_totals(run);
        totals.intact_bytes += of_run.intact_bytes;
        totals.damaged_bytes += of_run.damaged_bytes;
        totals.damaged_files += of_run.damaged_files;
        totals.missing_files += of_run.missing_files;
        totals.lost_bytes += of_run.lost_bytes;
    }
    return totals;
}
