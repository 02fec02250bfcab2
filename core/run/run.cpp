// The generation run's entry: the run's seeds and tag, its settings checked, its folder opened, its
// plan, which the writer carries out.
#include "core/run/run.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_system.h"
#include "core/run/names.h"
#include "core/run/progress.h"
#include "core/run/random.h"
#include "core/run/run_view.h"
#include "core/run/writer.h"

namespace {

// Calendar seconds plus the clock, as 32-bit sum. Two command-line runs started within the same
// second read the same clock, so a value the system draws for each run goes in as well: runs
// must not repeat each other's tag and data.
uint32_t time_seed() {
    static std::random_device entropy;
    return static_cast<uint32_t>(std::time(nullptr)) + static_cast<uint32_t>(clock_ms()) +
           static_cast<uint32_t>(entropy());
}

} // namespace

RunSeeds run_seeds(uint64_t number, int32_t files_type) {
    if (files_type == kRandomData)
        return {0, number % kRandomSeedLimit};
    uint64_t state = number;
    const uint64_t drawn = splitmix64_next(state);
    return {static_cast<uint32_t>(drawn >> 32), static_cast<uint32_t>(drawn)};
}

std::u16string run_tag(int32_t files_type, const RunSeeds& seeds) {
    // Generator data records its start in the tag, so that the data of another run under this
    // tag does not pass the check; zeros have nothing to record.
    if (files_type == kRandomData)
        return random_tag(seeds.data % kRandomSeedLimit);
    if (files_type == kGeneratorData)
        return generator_tag(static_cast<uint32_t>(seeds.data));
    return make_tag(seeds.tag);
}

// 50 bits from two draws.
uint64_t draw_seed_number() {
    uint64_t state = static_cast<uint64_t>(time_seed()) << 32 | time_seed();
    return splitmix64_next(state) % kRandomSeedLimit;
}
std::u16string settings_problem(const GenerationSettings& settings, const FileSystem& fs,
                                const RunOptions& options) {
    if (settings.files_size < 0)
        return text(kTextNegativeSize) + u"\r\n" + format_ascii("%d KB", settings.files_size);
    // The longest name of the run (every tag has 16 digits), counted as the platform counts, with
    // the ending a file a cancel cuts short gets: that name must fit as well.
    const RunMarks marks =
        run_marks(settings.files_type, settings.shape, settings.files_c, options.per_folder, options.fill);
    std::u16string longest = settings.Folder + fs.separator();
    append_tree_path(longest, settings.files_c, marks.per_folder,
                     tree_depth(settings.files_c, marks.per_folder), fs.separator());
    longest +=
        file_name(settings.files_type, settings.files_c, settings.files_c, std::u16string(16, u'0'), marks);
    if (fs.path_length(longest + std::u16string(kPartialSuffix)) > fs.max_path_length()) {
        const auto limit = static_cast<int>(fs.max_path_length() - kPartialSuffix.size());
        return replace_all(text(kTextPathTooLong), u"%d", format_ascii("%d", limit)) + u"\r\n" +
               settings.Folder;
    }
    // A level of the folder that no file system takes would be found only after the levels above
    // it had been made.
    const char16_t separator = fs.separator();
    size_t begin = 0;
    while (begin <= settings.Folder.size()) {
        size_t end = begin;
        while (end < settings.Folder.size() && settings.Folder[end] != separator &&
               !(separator == u'\\' && settings.Folder[end] == u'/'))
            ++end;
        if (fs.path_length(settings.Folder.substr(begin, end - begin)) > fs.max_name_length()) {
            const auto limit = static_cast<int>(fs.max_name_length());
            return replace_all(text(kTextFolderNameTooLong), u"%d", format_ascii("%d", limit)) + u"\r\n" +
                   settings.Folder;
        }
        begin = end + 1;
    }
    return {};
}
Ended generation_run(const GenerationSettings& settings, FileSystem& fs, const std::optional<RunSeeds>& seeds,
                     const RunOptions& options, RunOutcome* outcome) {
    RunOutcome unused;
    RunOutcome& done = outcome != nullptr ? *outcome : unused;
    done = RunOutcome{};
    RunView* const view = settings.owner;
    const bool random = settings.files_type == kRandomData;
    // Front ends refuse shapes out of range; the run keeps to the ranges all the same.
    const DataShape shape = random ? shape_in_range(settings.shape) : DataShape{};
    const RunSeeds drawn = seeds ? *seeds : RunSeeds{time_seed(), random ? draw_seed_number() : time_seed()};
    const uint64_t random_seed = random ? drawn.data % kRandomSeedLimit : 0;
    const uint32_t generator_seed = random ? 0 : static_cast<uint32_t>(drawn.data);
    const std::u16string tag = run_tag(settings.files_type, drawn);
    const int64_t count = settings.files_c;

    // Refused before anything is created.
    if (const std::u16string problem = settings_problem(settings, fs, options); !problem.empty()) {
        if (view != nullptr)
            view->show_error(text(kTextAttention), problem);
        return Ended::failed;
    }

    FileSystem::Handle folder = FileSystem::kNoHandle;
    if (!fs.open_folder(settings.Folder, folder).ok()) {
        show_target_error(view, settings.Folder);
        return Ended::failed;
    }
    RunPlan plan;
    plan.files_c = count;
    plan.content.files_type = settings.files_type;
    plan.content.shape = shape;
    plan.content.file_bytes = static_cast<uint64_t>(settings.files_size) * 1024;
    plan.content.random_seed = random_seed;
    plan.content.generator_seed = generator_seed;
    plan.folder = settings.Folder;
    plan.tag = tag;
    plan.options = options;
    plan.options.first = std::max<int64_t>(options.first, 1);
    plan.options.last = options.last == 0 ? count : std::min(options.last, count);
    plan.start_clock = clock_ms();
    done.tag = tag;
    // The outcome's time is measured finer than the progress clock's milliseconds: a run of a few
    // small files takes less than one, and its rate needs a time that is not zero.
    const auto started = std::chrono::steady_clock::now();
    const auto stop_clock = [&done, started] {
        done.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    const Ended result = write_run(plan, fs, folder, view, done);
    stop_clock();
    fs.close_folder(folder);
    return result;
}
