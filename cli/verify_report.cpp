// verify's report: the numbers of a check in English lines, whatever --lang says, written run by
// run as the check hands the runs over.
#include "cli/verify_report.h"

#include <algorithm>

#include "core/base/text.h"
#include "core/run/check_totals.h"
#include "core/run/names.h"

namespace {

std::u16string count_text(uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); }

// Appends "first-last" (or "first" alone) to a list that ends in ": " or in earlier ranges.
void append_range(std::u16string& list, int64_t first, int64_t last, int32_t width) {
    if (list.back() != u' ')
        list += u", ";
    append_number(list, first, width);
    if (last != first) {
        list += u'-';
        append_number(list, last, width);
    }
}

// One line per damaged file: what is wrong with it.
std::u16string problem_line(const RunCheck& run, const FileProblem& problem) {
    std::vector<std::u16string> parts;
    if (problem.misplaced) {
        std::u16string where = u"in the wrong folder: found in ";
        where += problem.misplaced->empty() ? u"the checked folder" : *problem.misplaced;
        parts.push_back(where);
    }
    if (problem.partial)
        parts.push_back(u"left by a cancelled run: " + count_text(problem.size) + u" bytes written");
    if (!problem.unreadable.empty())
        parts.push_back(u"cannot be read: " + from_utf8(problem.unreadable));
    if (!problem.changed.empty())
        parts.push_back(from_utf8(problem.changed));
    if (problem.wrong_size)
        parts.push_back((problem.size < run.file_bytes ? u"truncated: "
                         : run.size_given              ? u"longer than intended: "
                                                       : u"longer than the others: ") +
                        count_text(problem.size) + u" of " + count_text(run.file_bytes) + u" bytes");
    if (problem.first_difference != kNoDifference)
        parts.push_back(u"first difference at byte " + count_text(problem.first_difference));
    std::u16string line = u"        " + problem.name + u": ";
    for (size_t i = 0; i < parts.size(); ++i)
        line += (i == 0 ? u"" : u"; ") + parts[i];
    return line;
}

} // namespace

std::vector<std::u16string> run_report(const RunCheck& run) {
    std::vector<std::u16string> lines;
    constexpr std::u16string_view kIndent = u"        ";
    std::u16string line = run.intact() ? u"OK      " : u"FAILED  ";
    line += run_pattern(run) + u": ";
    if (run.files_found == 0) {
        line += u"no whole file";
    } else {
        line += count_text(run.files_found) + (run.files_found == 1 ? u" file" : u" files");
        line += !run.size_known ? u" of unknown size (no regular file's size could be had)"
                : run.whole_kilobytes
                    ? u" of " + count_text(run.file_bytes / 1024) + u" KB"
                    : u" of " + count_text(run.file_bytes) + u" bytes, not a whole number of kilobytes";
        line += u", numbers ";
        append_number(line, run.first_found(), run.width);
        line += u'-';
        append_number(line, run.last_found(), run.width);
        if (run.depth > 0)
            line += u", in a tree of " + format_ascii("%d", run.depth) +
                    (run.depth == 1 ? u" level" : u" levels") + u", " +
                    count_text(static_cast<uint64_t>(run.per_folder)) + u" a folder";
    }
    if (!run.seed_known)
        line += u"; the tag carries no seed, so the data cannot be checked";
    lines.push_back(line);
    // A capacity test is read by these figures; what a fill run lost past its last file leaves no
    // name behind.
    if (run.fill && run.files_found != 0) {
        const CheckTotals totals = run_totals(run);
        lines.push_back(std::u16string(kIndent) + u"filled a disk: " + count_text(totals.intact_bytes) +
                        u" bytes intact, " + count_text(totals.lost_bytes) + u" lost; the last file has " +
                        count_text(run.last_file_bytes / 1024) + u" KB (files lost past it cannot be told)");
    }

    if (!run.missing.empty() || run.count_from_width != 0) {
        std::u16string missing = std::u16string(kIndent) + u"missing: ";
        for (const auto& [first, last] : run.missing)
            append_range(missing, first, last, run.width);
        if (run.count_from_width != 0) {
            append_range(missing, run.last_found() + 1, run.count_from_width, run.width);
            missing += u" and maybe more (" + format_ascii("%d", run.width) + u"-digit numbers: " +
                       count_text(static_cast<uint64_t>(run.count_from_width)) + u" files or more)";
        }
        lines.push_back(missing);
    }
    if (run.past_intended_count != 0)
        lines.push_back(std::u16string(kIndent) + count_text(static_cast<uint64_t>(run.past_intended_count)) +
                        (run.past_intended_count == 1 ? u" file numbered" : u" files numbered") +
                        u" past the intended count of " +
                        count_text(static_cast<uint64_t>(run.expected_count)));
    if (!run.width_fits_count)
        lines.push_back(std::u16string(kIndent) + u"the numbers have " + format_ascii("%d", run.width) +
                        u" digits, but a run of " + count_text(static_cast<uint64_t>(run.expected_count)) +
                        u" files has " + format_ascii("%d", number_width(run.expected_count)));
    for (const FileProblem& problem : run.problems)
        lines.push_back(problem_line(run, problem));
    const UnlistedProblems& rest = run.unlisted;
    if (rest.files != 0) {
        std::u16string more = std::u16string(kIndent) + count_text(rest.files) + u" more damaged " +
                              (rest.files == 1 ? u"file" : u"files") + u" (";
        const std::pair<uint64_t, const char16_t*> kinds[] = {
            {rest.wrong_size, u"of the wrong size"}, {rest.differing, u"with a difference"},
            {rest.unreadable, u"unreadable"},        {rest.changed, u"changed or no regular file"},
            {rest.partial, u"left by a cancel"},     {rest.misplaced, u"in the wrong folder"}};
        bool first = true;
        for (const auto& [count, what] : kinds)
            if (count != 0) {
                more += (first ? u"" : u", ") + count_text(count) + u" " + what;
                first = false;
            }
        more += u"): ";
        for (const auto& [first_number, last_number] : rest.numbers)
            append_range(more, first_number, last_number, run.width);
        lines.push_back(more);
    }
    return lines;
}

std::vector<std::u16string> report_end(const FolderFacts& facts) {
    std::vector<std::u16string> lines;
    if (facts.direct_refused)
        lines.push_back(u"Note: the file system refused direct reads; files were read through the cache.");
    if (!facts.cache_kept.empty())
        lines.push_back(u"Note: the cache could not be dropped (" + from_utf8(facts.cache_kept) +
                        u"); files may have been read from it.");
    if (facts.runs == 0)
        lines.push_back(u"No runs found: no file here has a name that a run gives its files.");
    else
        lines.push_back(count_text(facts.runs) + (facts.runs == 1 ? u" run: " : u" runs: ") +
                        count_text(facts.intact_runs) + u" intact, " +
                        count_text(facts.runs - facts.intact_runs) + u" not intact.");
    return lines;
}

std::vector<std::u16string> verify_report(const FolderCheck& check) {
    std::vector<std::u16string> lines;
    for (const RunCheck& run : check.runs) {
        for (std::u16string& line : run_report(run))
            lines.push_back(std::move(line));
    }
    for (std::u16string& line : report_end(facts_of(check)))
        lines.push_back(std::move(line));
    return lines;
}
