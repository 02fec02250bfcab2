// The two JSON objects of --json.
#include "cli/json_results.h"

#include <algorithm>
#include <cmath>

#include "cli/json_writer.h"
#include "core/base/text.h"
#include "core/run/check_totals.h"
#include "core/run/file_type.h"
#include "core/run/names.h"

namespace {

// The words --type takes.
const char* type_word(int32_t files_type) {
    return files_type == kGeneratorData ? "noncompressible"
           : files_type == kRandomData  ? "random"
                                        : "compressible";
}

const char* status_word(RunStatus status) {
    switch (status) {
    case RunStatus::done:
        return "done";
    case RunStatus::cancelled:
        return "cancelled";
    case RunStatus::declined:
        return "declined";
    case RunStatus::error:
        break;
    }
    return "error";
}

void text_or_null(JsonWriter& json, const std::u16string& text) {
    if (text.empty())
        json.null();
    else
        json.value(text);
}

// What a run is, as verify's and clean's rows both start: its name's prefix, type and shape.
void run_identity(JsonWriter& json, int32_t files_type, const RunMarks& marks) {
    const DataShape& shape = marks.shape;
    std::u16string prefix = file_name_head(files_type, marks);
    prefix.pop_back(); // the head's last "_" separates the prefix from the number
    json.key("prefix").value(prefix);
    json.key("type").ascii(type_word(files_type));
    json.key("compress").value(shape.compress);
    json.key("dedupe").value(shape.dedupe);
    json.key("dedupe_unit").ascii(dedupe_unit_text(shape.unit));
}

} // namespace

void json_rate(JsonWriter& json, const char* key, double count, double seconds) {
    seconds = std::round(seconds * 1e6) / 1e6;
    json.key(key);
    if (seconds > 0)
        json.value(count / seconds, 0);
    else
        json.null();
}

std::string run_json(const CliOptions& options, uint64_t seed, const RunOutcome& outcome, RunStatus status,
                     const std::u16string& error, std::string_view signal) {
    // The rate divides by the time as it is printed, to the microsecond; a time that prints as
    // zero has no rate.
    const double seconds = std::round(outcome.seconds * 1e6) / 1e6;
    JsonWriter json;
    json.begin_object();
    json.key("status").ascii(status_word(status));
    json.key("signal");
    if (signal.empty())
        json.null();
    else
        json.ascii(signal);
    json.key("folder").value(options.folder);
    json.key("type").ascii(type_word(options.type));
    // Random data's shape: the compressed size in percent, the share of duplicate units and the unit.
    json.key("compress").value(options.type == kRandomData ? options.shape.compress : 100);
    json.key("dedupe").value(options.type == kRandomData ? options.shape.dedupe : 0);
    json.key("dedupe_unit")
        .ascii(dedupe_unit_text(options.type == kRandomData ? options.shape.unit : kDedupeUnitSmallest));
    json.key("count").value(options.count);
    json.key("size").value(static_cast<uint64_t>(options.size_kb) * 1024);
    json.key("files_written").value(outcome.files_written);
    json.key("bytes_written").value(outcome.bytes_written);
    json.key("seconds").value(seconds, 6);
    json_rate(json, "bytes_per_second", static_cast<double>(outcome.bytes_written), seconds);
    json_rate(json, "files_per_second", static_cast<double>(outcome.files_written), seconds);
    json.key("tag");
    text_or_null(json, outcome.tag);
    json.key("seed").value(seed);
    json.key("first_file");
    const RunMarks marks =
        run_marks(options.type, options.shape, options.count, options.per_folder, options.fill);
    const int depth = tree_depth(options.count, marks.per_folder);
    // A file of a tree is named with the folders it lies in, from the run's folder down.
    const auto file_path = [&](int64_t number) {
        std::u16string path;
        append_tree_path(path, number, marks.per_folder, depth, u'/');
        return path + file_name(options.type, options.count, number, outcome.tag, marks);
    };
    text_or_null(json, outcome.first > 0 ? file_path(outcome.first) : u"");
    json.key("last_file");
    text_or_null(json, outcome.last > 0 ? file_path(outcome.last) : u"");
    json.key("disk_full").value(outcome.disk_full);
    json.key("last_file_size");
    if (outcome.last > 0)
        json.value(outcome.last_bytes != 0 ? outcome.last_bytes
                                           : static_cast<uint64_t>(options.size_kb) * 1024);
    else
        json.null();
    json.key("direct_refused").value(outcome.direct_refused);
    json.key("error");
    text_or_null(json, error);
    json.end_object();
    return json.text();
}

std::string bad_arguments_json(const std::u16string& error) {
    JsonWriter json;
    json.begin_object();
    json.key("status").ascii("bad_arguments");
    json.key("error").value(error);
    json.end_object();
    return json.text();
}

void VerifyJson::head(const FolderFacts& facts, std::string_view signal) {
    const char* status = facts.cancelled        ? "cancelled"
                         : !facts.error.empty() ? "bad_arguments"
                         : facts.intact()       ? "intact"
                                                : "not_intact";
    json_.begin_object();
    json_.key("status").ascii(status);
    json_.key("signal");
    if (signal.empty())
        json_.null();
    else
        json_.ascii(signal);
    json_.key("folder").value(options_.folder);
    json_.key("intact").value(facts.intact());
    json_.key("error");
    text_or_null(json_, from_utf8(facts.error));
    json_.key("count");
    if (options_.expected_count)
        json_.value(*options_.expected_count);
    else
        json_.null();
    json_.key("size");
    if (options_.expected_size_kb)
        json_.value(static_cast<uint64_t>(*options_.expected_size_kb) * 1024);
    else
        json_.null();
    json_.key("direct_refused").value(facts.direct_refused);
    json_.key("cache_kept");
    text_or_null(json_, from_utf8(facts.cache_kept));
    json_.key("runs").begin_array();
    started_ = true;
}

void VerifyJson::folder(const FolderFacts& facts) {
    head(facts, {});
    out_(json_.take());
}

void VerifyJson::run(const RunCheck& run) {
    JsonWriter& json = json_;
    json.begin_object();
    run_identity(json, run.files_type, marks_of(run));
    json.key("tag").value(run.tag);
    json.key("start_in_tag").value(run.start_in_tag);
    json.key("width").value(run.width);
    json.key("per_folder").value(run.per_folder);
    json.key("depth").value(run.depth);
    json.key("files").value(run.files_found);
    json.key("first").value(run.first_found());
    json.key("last").value(run.last_found());
    json.key("size");
    if (run.size_known)
        json.value(run.file_bytes);
    else
        json.null();
    json.key("intact").value(run.intact());
    // A fill run ends where the disk did; its last file may be shorter.
    json.key("fill").value(run.fill);
    json.key("last_size").value(run.fill ? run.last_file_bytes : run.size_known ? run.file_bytes : 0);
    const CheckTotals totals = run_totals(run);
    json.key("bytes_intact").value(totals.intact_bytes);
    json.key("bytes_lost").value(totals.lost_bytes);
    json.key("whole_kilobytes").value(run.whole_kilobytes);
    json.key("seed_known").value(run.seed_known);
    json.key("missing").begin_array();
    for (const auto& [first, last] : run.missing)
        json.begin_array().value(first).value(last).end_array();
    json.end_array();
    json.key("at_least");
    if (run.count_from_width != 0)
        json.value(run.count_from_width);
    else
        json.null();
    json.key("beyond_count").value(run.past_intended_count);
    json.key("width_fits_count").value(run.width_fits_count);
    json.key("damaged").begin_array();
    for (const FileProblem& problem : run.problems) {
        json.begin_object();
        json.key("number").value(problem.number);
        json.key("name").value(problem.name);
        json.key("size").value(problem.size);
        json.key("wrong_size").value(problem.wrong_size);
        json.key("first_difference");
        if (problem.first_difference != kNoDifference)
            json.value(problem.first_difference);
        else
            json.null();
        json.key("unreadable");
        text_or_null(json, from_utf8(problem.unreadable));
        json.key("changed");
        text_or_null(json, from_utf8(problem.changed));
        json.key("partial").value(problem.partial);
        // The folders it lies in ("" for the checked folder), when they are not its run's.
        json.key("misplaced");
        if (problem.misplaced)
            json.value(*problem.misplaced);
        else
            json.null();
        json.end_object();
    }
    json.end_array();
    // Past the damaged files listed: how many more, of each kind, and their numbers.
    const UnlistedProblems& rest = run.unlisted;
    json.key("more_damaged").begin_object();
    json.key("files").value(rest.files);
    json.key("wrong_size").value(rest.wrong_size);
    json.key("first_difference").value(rest.differing);
    json.key("unreadable").value(rest.unreadable);
    json.key("changed").value(rest.changed);
    json.key("partial").value(rest.partial);
    json.key("misplaced").value(rest.misplaced);
    json.key("numbers").begin_array();
    for (const auto& [first, last] : rest.numbers)
        json.begin_array().value(first).value(last).end_array();
    json.end_array();
    json.end_object();
    json.end_object();
    out_(json.take());
}

void VerifyJson::finish(const FolderFacts& facts, std::string_view signal, uint64_t files, double seconds) {
    if (!started_)
        head(facts, signal);
    json_.end_array();
    json_.key("files_checked").value(files);
    json_.key("seconds").value(std::round(seconds * 1e6) / 1e6, 6);
    json_rate(json_, "files_per_second", static_cast<double>(files), seconds);
    json_.end_object();
    out_(json_.take() + "\n");
}

std::string verify_json(const CliOptions& options, const FolderCheck& check) {
    std::string text;
    VerifyJson json(options, [&text](const std::string& part) { text += part; });
    const FolderFacts facts = facts_of(check);
    if (facts.error.empty() && !facts.cancelled) {
        json.folder(facts);
        for (const RunCheck& run : check.runs)
            json.run(run);
    }
    json.finish(facts);
    text.pop_back(); // the line end
    return text;
}

std::string clean_json(const CliOptions& options, const CleanFacts& facts, double seconds,
                       std::string_view signal) {
    const char* status = facts.cancelled      ? "cancelled"
                         : facts.unreadable() ? "bad_arguments"
                         : facts.complete()   ? "done"
                                              : "error";
    JsonWriter json;
    json.begin_object();
    json.key("status").ascii(status);
    json.key("signal");
    if (signal.empty())
        json.null();
    else
        json.ascii(signal);
    json.key("folder").value(options.folder);
    json.key("dry_run").value(options.dry_run);
    json.key("error");
    text_or_null(json, from_utf8(facts.error));
    json.key("files").value(facts.files);
    json.key("partial").value(facts.partial);
    json.key("bytes").value(facts.bytes);
    json.key("failed").value(facts.failed);
    json.key("folders").value(facts.folders);
    json.key("left_alone").begin_object();
    json.key("files").value(facts.left.files);
    json.key("links").value(facts.left.links);
    json.key("folders").value(facts.left.folders);
    json.key("other").value(facts.left.other);
    json.key("run_names").value(facts.left.run_names);
    json.end_object();
    json.key("seconds").value(std::round(seconds * 1e6) / 1e6, 6);
    json_rate(json, "files_per_second", static_cast<double>(facts.files), seconds);
    json.key("runs").begin_array();
    for (const CleanedRun& run : facts.runs) {
        json.begin_object();
        run_identity(json, run.files_type, run.marks);
        json.key("fill").value(run.marks.fill);
        json.key("tag").value(run.tag);
        json.key("width").value(run.width);
        json.key("files").value(run.files);
        json.key("partial").value(run.partial);
        json.key("bytes").value(run.bytes);
        json.key("first");
        if (run.files != 0)
            json.value(run.first);
        else
            json.null();
        json.key("last");
        if (run.files != 0)
            json.value(run.last);
        else
            json.null();
        json.key("failed").value(run.failed);
        json.end_object();
    }
    json.end_array();
    json.end_object();
    return json.text();
}
