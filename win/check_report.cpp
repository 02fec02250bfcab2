// The Check page's rows and summary line.
#include "win/check_report.h"

#include <algorithm>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/check_totals.h"
#include "core/run/file_type.h"
#include "core/run/names.h"
#include "core/run/progress.h"

namespace {

std::u16string number_text(uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); }

std::u16string type_text(const RunCheck& run) {
    std::u16string type = text(run.files_type == kGeneratorData ? kTextGeneratorDataType
                               : run.files_type == kZeros       ? kTextZerosType
                                                                : kTextRandomDataType);
    if (run.files_type == kRandomData && run.shape.compress != 100)
        type += u", " + fill_placeholders(text(kTextCompressibleShare), {number_text(run.shape.compress)});
    if (run.files_type == kRandomData && run.shape.dedupe != 0)
        type += u", " + fill_placeholders(text(kTextDuplicateShare), {number_text(run.shape.dedupe)});
    return type;
}

// Folders as Explorer writes them, with backslashes.
std::u16string windows_folders(std::u16string folders) {
    std::replace(folders.begin(), folders.end(), u'/', u'\\');
    return folders;
}

std::u16string problem_text(const FileProblem& problem) {
    if (problem.misplaced)
        return fill_placeholders(text(kTextWrongFolder),
                                 {problem.misplaced->empty() ? u"." : windows_folders(*problem.misplaced)});
    if (problem.partial)
        return text(kTextPartialFile);
    if (!problem.unreadable.empty())
        return text(kTextUnreadable);
    if (!problem.changed.empty())
        return text(kTextChangedWhileRead);
    std::vector<std::u16string> parts;
    if (problem.wrong_size)
        parts.push_back(fill_placeholders(text(kTextWrongSize), {number_text(problem.size)}));
    if (problem.first_difference != kNoDifference)
        parts.push_back(fill_placeholders(text(kTextDiffersAt), {number_text(problem.first_difference)}));
    return join_texts(parts, u"; ");
}

// A file row with its first number, to put the rows of a run in number order.
struct NumberedRow {
    int64_t number;
    CheckRow row;
};

// The name of numbers first to last of a run: the file's name, or the range in the number's place.
std::u16string range_name(const RunCheck& run, int64_t first, int64_t last) {
    std::u16string name = file_name_head(run.files_type, marks_of(run));
    append_number(name, first, run.width);
    if (last != first) {
        name += u'-';
        append_number(name, last, run.width);
    }
    return name + file_name_tail(run.tag);
}

void add_range(std::vector<NumberedRow>& rows, const RunCheck& run, int64_t first, int64_t last,
               TextId what) {
    CheckRow row;
    row.name = range_name(run, first, last);
    row.files = number_text(static_cast<uint64_t>(last - first + 1));
    row.result = text(what);
    rows.push_back({first, std::move(row)});
}

} // namespace

std::vector<CheckRow> check_rows(const FolderCheck& check) {
    std::vector<CheckRow> rows;
    for (const RunCheck& run : check.runs) {
        CheckRow head;
        head.run = true;
        head.name = run_pattern(run);
        head.files = number_text(run.files_found);
        head.size = format_size(static_cast<double>(run.file_bytes));
        head.type = type_text(run);
        head.result = text(run.intact() ? kTextIntact : kTextNotIntact);
        rows.push_back(std::move(head));

        // What concerns the whole run first.
        const std::pair<bool, TextId> run_faults[] = {{!run.seed_known, kTextNoSeed},
                                                      {!run.whole_kilobytes, kTextNotWholeKilobytes},
                                                      {!run.width_fits_count, kTextWidthNotCount}};
        for (const auto& [fault, what] : run_faults)
            if (fault) {
                CheckRow row;
                row.name = run_pattern(run);
                row.result = text(what);
                rows.push_back(std::move(row));
            }
        if (run.past_intended_count > 0) {
            CheckRow row;
            row.name = run_pattern(run);
            row.files = number_text(static_cast<uint64_t>(run.past_intended_count));
            row.result = fill_placeholders(text(kTextPastIntendedCount), {row.files});
            rows.push_back(std::move(row));
        }

        std::vector<NumberedRow> files;
        for (const FileProblem& problem : run.problems) {
            CheckRow row;
            row.name = problem.name;
            // A file of a tree lies in its folders, or where it was found.
            if (problem.misplaced)
                row.file = windows_folders(*problem.misplaced);
            else
                append_tree_path(row.file, problem.number, run.per_folder, run.depth, u'\\');
            row.file += problem.name;
            row.files = number_text(1);
            row.size = format_size(static_cast<double>(problem.size));
            row.result = problem_text(problem);
            files.push_back({problem.number, std::move(row)});
        }
        for (const auto& [first, last] : run.missing)
            add_range(files, run, first, last, kTextMissing);
        if (run.count_from_width > 0 && run.files_found != 0 && run.last_found() < run.count_from_width)
            add_range(files, run, run.last_found() + 1, run.count_from_width, kTextMissing);
        std::stable_sort(files.begin(), files.end(),
                         [](const NumberedRow& a, const NumberedRow& b) { return a.number < b.number; });
        for (NumberedRow& file : files)
            rows.push_back(std::move(file.row));
    }
    return rows;
}

std::u16string check_summary(const FolderCheck& check) {
    const CheckTotals totals = check_totals(check);
    const std::u16string intact = format_size(static_cast<double>(totals.intact_bytes));
    if (totals.damaged_files == 0 && totals.missing_files == 0)
        return fill_placeholders(text(kTextAllIntact), {intact});
    std::u16string summary = fill_placeholders(text(kTextSomeIntact), {intact});
    const std::u16string damaged = format_size(static_cast<double>(totals.damaged_bytes));
    if (totals.damaged_files == 1)
        summary += u", " + fill_placeholders(text(kTextDamagedInOne), {damaged});
    else if (totals.damaged_files > 1)
        summary +=
            u", " + fill_placeholders(text(kTextDamagedInMany), {damaged, number_text(totals.damaged_files)});
    if (totals.missing_files == 1)
        summary += u", " + text(kTextOneMissing);
    else if (totals.missing_files > 1)
        summary += u", " + fill_placeholders(text(kTextManyMissing), {number_text(totals.missing_files)});
    return summary;
}
