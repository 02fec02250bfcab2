// Tests of adding up a check's runs into bytes intact and lost, files damaged and missing.
#include "core/run/check_totals.h"

#include <gtest/gtest.h>

namespace {

// The numbers found, as a check keeps them: ranges and their count.
void set_found(RunCheck& run, const std::vector<int64_t>& numbers) {
    run.found.clear();
    for (const int64_t number : numbers)
        if (!run.found.empty() && run.found.back().second + 1 == number)
            run.found.back().second = number;
        else
            run.found.emplace_back(number, number);
    run.files_found = numbers.size();
}

RunCheck run_of(const std::vector<int64_t>& numbers, uint64_t file_bytes) {
    RunCheck run;
    set_found(run, numbers);
    run.file_bytes = file_bytes;
    run.width = 3;
    return run;
}

FileProblem problem(int32_t number, uint64_t size, bool partial = false) {
    FileProblem p;
    p.number = number;
    p.size = size;
    p.first_difference = partial ? kNoDifference : 10;
    p.partial = partial;
    return p;
}

TEST(CheckTotals, IntactDamagedAndMissingOverEveryRun) {
    RunCheck whole = run_of({1, 2, 3}, 1024);

    RunCheck damaged = run_of({1, 2, 4, 5}, 4096);
    damaged.problems = {problem(2, 4096), problem(3, 100, true), problem(5, 1000)};
    damaged.missing = {{3, 3}};

    RunCheck cut_short = run_of({1, 2}, 2048);
    cut_short.count_from_width = 1000; // 4-digit numbers: a run of 1,000 files at least
    cut_short.width = 4;

    RunCheck no_seed = run_of({1, 2}, 512);
    no_seed.seed_known = false;

    // A disk filled with files 1-3 of 4 KB, and a last one of 1 KB that took the room left.
    RunCheck filled = run_of({1, 2, 3, 4}, 4096);
    filled.fill = true;
    filled.width = 5;
    filled.last_file_bytes = 1024;
    RunCheck filled_damaged = filled;
    filled_damaged.problems = {problem(2, 4096)};
    filled_damaged.missing = {{3, 3}};
    set_found(filled_damaged, {1, 2, 4});
    RunCheck filled_last_damaged = filled;
    filled_last_damaged.problems = {problem(4, 1024)};

    const struct {
        const char* name;
        std::vector<RunCheck> runs;
        CheckTotals expected;
    } cases[] = {
        {"nothing", {}, {0, 0, 0, 0, 0}},
        {"whole", {whole}, {3072, 0, 0, 0, 0}},
        // Files 1 and 4 intact; 2 and 5 damaged (their sizes as found), 3 cut short and missing.
        {"damaged", {damaged}, {2 * 4096, 4096 + 100 + 1000, 3, 1, 5196 + 4096}},
        {"cut short at the end", {cut_short}, {4096, 0, 0, 998, 998 * 2048}},
        {"no seed", {no_seed}, {0, 1024, 2, 0, 1024}},
        {"all",
         {whole, damaged, cut_short, no_seed},
         {3072 + 8192 + 4096, 5196 + 1024, 5, 999, 9292 + 998 * 2048 + 1024}},
        {"filled", {filled}, {3 * 4096 + 1024, 0, 0, 0, 0}},
        {"filled, damaged inside", {filled_damaged}, {4096 + 1024, 4096, 1, 1, 2 * 4096}},
        {"filled, its last file damaged", {filled_last_damaged}, {3 * 4096, 1024, 1, 0, 1024}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderCheck check;
        check.runs = c.runs;
        const CheckTotals totals = check_totals(check);
        EXPECT_EQ(totals.intact_bytes, c.expected.intact_bytes);
        EXPECT_EQ(totals.damaged_bytes, c.expected.damaged_bytes);
        EXPECT_EQ(totals.damaged_files, c.expected.damaged_files);
        EXPECT_EQ(totals.missing_files, c.expected.missing_files);
        EXPECT_EQ(totals.lost_bytes, c.expected.lost_bytes);
    }
}

} // namespace
