// The generation run's entry: the run's seeds, its settings checked, its folder made, its plan.
#include "core/run/run.h"

#include <algorithm>
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

// 50 bits from two draws.
uint64_t draw_seed_number() {
    uint64_t state = static_cast<uint64_t>(time_seed()) << 32 | time_seed();
    return splitmix64_next(state) % kRandomSeedLimit;
}

std::u16string settings_problem(const GenerationSettings& settings, const FileSystem& fs) {
    if (settings.files_size < 0)
        return text(kTextNegativeSize) + u"\r\n" + format_ascii("%d KB", settings.files_size);
    // The longest name of the run (every tag has 16 digits), counted as the platform counts.
    const std::u16string longest =
        settings.Folder + fs.separator() +
        file_name(settings.files_type, settings.files_c, settings.files_c, std::u16string(16, u'0'),
                  settings.files_type == kRandomData ? settings.shape : DataShape{});
    if (fs.path_length(longest) > fs.max_path_length()) {
        const auto limit = static_cast<int>(fs.max_path_length());
        return replace_all(text(kTextPathTooLong), u"%d", format_ascii("%d", limit)) + u"\r\n" +
               settings.Folder;
    }
    return {};
}

bool make_folder(const std::u16string& path, FileSystem& fs) {
    return fs.probe(path) != FileSystem::Kind::missing || fs.create_folder(path).ok();
}

bool make_folder_path(const std::u16string& folder, FileSystem& fs) {
    // An empty folder puts the files at the root ("\\" or "/" and the name): nothing to make.
    if (folder.empty())
        return true;
    const FileSystem::Kind kind = fs.probe(folder);
    if (kind != FileSystem::Kind::missing)
        return kind == FileSystem::Kind::folder;
    const char16_t separator = fs.separator();
    std::u16string copy = folder;
    if (separator == u'\\')
        std::replace(copy.begin(), copy.end(), u'/', u'\\');
    // The levels above may fail to be made and still be there: the empty text before a leading
    // separator, a drive, a server's share.
    std::u16string prefix;
    for (const char16_t c : copy) {
        if (c == separator)
            make_folder(prefix, fs);
        prefix += c;
    }
    // Made here, or by someone else meanwhile.
    return make_folder(copy, fs) || fs.probe(copy) == FileSystem::Kind::folder;
}

Ended generation_run(const GenerationSettings& settings, FileSystem& fs, const std::optional<RunSeeds>& seeds,
                     const RunOptions& options, RunOutcome* outcome) {
    RunOutcome unused;
    RunOutcome& done = outcome != nullptr ? *outcome : unused;
    done = RunOutcome{};
    RunView* const view = settings.owner;
    const bool random = settings.files_type == kRandomData;
    // Front ends refuse shapes out of range; the run keeps to the ranges all the same.
    const DataShape shape =
        random ? DataShape{std::clamp(settings.shape.compress, kLeastCompress, kMostCompress),
                           std::clamp(settings.shape.dedupe, 0, kMostDedupe)}
               : DataShape{};
    const uint64_t random_seed = !random ? 0 : seeds ? seeds->data % kRandomSeedLimit : draw_seed_number();
    const std::u16string tag = random ? random_tag(random_seed) : make_tag(seeds ? seeds->tag : time_seed());
    const int32_t count = settings.files_c;

    // Refused before anything is created.
    if (const std::u16string problem = settings_problem(settings, fs); !problem.empty()) {
        if (view != nullptr)
            view->show_error(text(kTextAttention), problem);
        return Ended::failed;
    }

    if (!make_folder_path(settings.Folder, fs)) {
        show_target_error(view, settings.Folder);
        return Ended::failed;
    }
    RunPlan plan;
    plan.files_c = count;
    plan.content.files_type = settings.files_type;
    plan.content.shape = shape;
    plan.content.file_bytes = static_cast<uint64_t>(settings.files_size) * 1024;
    plan.content.random_seed = random_seed;
    plan.content.generator_seed = random ? 0 : seeds ? static_cast<uint32_t>(seeds->data) : time_seed();
    plan.folder = settings.Folder;
    plan.tag = tag;
    plan.options = options;
    plan.options.first = std::max(options.first, 1);
    plan.options.last = options.last == 0 ? count : std::min(options.last, count);
    plan.start_clock = clock_ms();
    done.tag = tag;
    // Every way out of the loop below stops the clock first.
    const auto stop_clock = [&] { done.seconds = elapsed_seconds(plan.start_clock); };

    const Ended result = write_run(plan, fs, view, done);
    stop_clock();
    return result;
}
