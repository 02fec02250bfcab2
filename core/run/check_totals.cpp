// Adding up a check's runs.
#include "core/run/check_totals.h"

CheckTotals check_totals(const FolderCheck& check) {
    CheckTotals totals;
    for (const RunCheck& run : check.runs) {
        uint64_t damaged_whole = 0; // of the files counted in `numbers`
        for (const FileProblem& problem : run.problems) {
            ++totals.damaged_files;
            totals.damaged_bytes += problem.size;
            damaged_whole += problem.partial ? 0 : 1;
        }
        // Without a seed nothing of the run could be compared: none of it counts as intact.
        const uint64_t others = run.numbers.size() - damaged_whole;
        if (run.seed_known) {
            totals.intact_bytes += others * run.file_bytes;
        } else {
            totals.damaged_files += others;
            totals.damaged_bytes += others * run.file_bytes;
        }
        for (const auto& [first, last] : run.missing)
            totals.missing_files += static_cast<uint64_t>(last - first + 1);
        if (run.count_from_width > 0 && !run.numbers.empty() && run.numbers.back() < run.count_from_width)
            totals.missing_files += static_cast<uint64_t>(run.count_from_width - run.numbers.back());
    }
    return totals;
}
