// Checking the runs in a folder: names to runs, blocks to workers, then each run's verdict.
#include "core/run/verify.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "core/base/text.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"

namespace {

// One read: large enough that the system's work per call drops out, small enough to stay in the
// processor's cache while it is checked; a whole number of random data's segments, so a block's
// expected data starts with fresh generators.
constexpr size_t kBlockBytes = size_t{1} << 20;
static_assert(kBlockBytes % kRandomSegmentBytes == 0, "a block starts a segment");
// Data lands in the buffer at the place within a page that it has in the file: the system copies
// from its cache several times faster when both sides line up (4 times, on some processors).
constexpr size_t kPageBytes = 4096;
static_assert(kPageBytes == kDirectAlignment, "direct reads fill whole pages");
// Random data is made 64 KiB at a time and compared while both sides are in the cache.
constexpr size_t kCompareChunks = 16;
constexpr int kMaxThreads = 4;

uint64_t load64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

// The first byte that is not zero, or size. Blocks of 64 bytes or-ed together without a branch, so
// the compiler vectorises them; a block with something in it is looked at byte by byte.
size_t first_nonzero(const uint8_t* data, size_t size) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        uint64_t any = 0;
        for (size_t k = 0; k < 64; k += 8)
            any |= load64(data + i + k);
        if (any != 0)
            break;
    }
    for (; i < size; ++i)
        if (data[i] != 0)
            return i;
    return size;
}

// The first byte where a and b differ, or size; the same way.
size_t first_difference(const uint8_t* a, const uint8_t* b, size_t size) {
    size_t i = 0;
    for (; i + 64 <= size; i += 64) {
        uint64_t any = 0;
        for (size_t k = 0; k < 64; k += 8)
            any |= load64(a + i + k) ^ load64(b + i + k);
        if (any != 0)
            break;
    }
    for (; i < size; ++i)
        if (a[i] != b[i])
            return i;
    return size;
}

void lower_to(std::atomic<uint64_t>& value, uint64_t candidate) {
    uint64_t now = value.load(std::memory_order_relaxed);
    while (candidate < now && !value.compare_exchange_weak(now, candidate, std::memory_order_relaxed)) {
    }
}

struct FileEntry {
    size_t run = 0;
    int32_t number = 0;
    std::u16string name;
    std::u16string path;
    uint64_t size = 0;
    uint64_t blocks = 0;      // reads the file takes
    uint64_t first_block = 0; // the index of its first read among all reads
    std::atomic<uint64_t> first_difference{kNoDifference};
    uint8_t head[8] = {}; // the first bytes, kept by whoever reads block 0
    size_t head_bytes = 0;
    std::string unreadable;
};

struct RunData {
    RunCheck check;
    std::vector<FileEntry*> files; // ascending numbers
    uint64_t seed = 0;             // random data
};

// The reads of all files, handed out in file order to the workers.
class Reading {
public:
    Reading(std::vector<RunData>& runs, FileEntry* files, size_t file_count, uint64_t blocks,
            FileReader& reader, bool direct)
        : runs_(runs), files_(files), file_count_(file_count), blocks_(blocks), reader_(reader),
          direct_(direct) {}

    void work() {
        const std::unique_ptr<uint8_t[]> storage(new uint8_t[kBlockBytes + 2 * kPageBytes]);
        const auto address = reinterpret_cast<uintptr_t>(storage.get());
        uint8_t* const page = storage.get() + (kPageBytes - address % kPageBytes) % kPageBytes;
        const std::unique_ptr<uint8_t[]> expected(new uint8_t[kCompareChunks * kChunkBytes]);
        size_t cursor = 0; // blocks come in rising order, so the file they belong to only moves on
        size_t open_file = SIZE_MAX;
        FileReader::Handle handle = FileReader::kNoHandle;
        for (uint64_t block = next_.fetch_add(1); block < blocks_; block = next_.fetch_add(1)) {
            while (cursor < file_count_ && files_[cursor].first_block + files_[cursor].blocks <= block)
                ++cursor;
            FileEntry& file = files_[cursor];
            if (cursor != open_file) {
                if (handle != FileReader::kNoHandle)
                    reader_.close(handle);
                std::string error;
                handle = reader_.open(file.path, error);
                open_file = cursor;
                if (handle == FileReader::kNoHandle)
                    note_unreadable(file, error);
            }
            if (handle != FileReader::kNoHandle)
                check_block(file, block - file.first_block, handle, page, expected.get());
        }
        if (handle != FileReader::kNoHandle)
            reader_.close(handle);
    }

private:
    void note_unreadable(FileEntry& file, const std::string& reason) {
        std::lock_guard lock(mutex_);
        if (file.unreadable.empty())
            file.unreadable = reason.empty() ? "unknown error" : reason;
    }

    // `page` is page-aligned, with room for a block and a page more.
    void check_block(FileEntry& file, uint64_t index, FileReader::Handle handle, uint8_t* page,
                     uint8_t* expected) {
        const RunData& run = runs_[file.run];
        const uint64_t offset = index * kBlockBytes;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, file.size - offset));
        // Generator data after the first block takes the word before it along, to check against.
        const size_t before = run.check.files_type == kGeneratorData && offset > 0 ? 4 : 0;
        // Direct reads start and end on the alignment: the word before comes with the whole page
        // it ends, and the read goes on to the end of the page that holds the block's last byte.
        const size_t lead = direct_ && before != 0 ? kPageBytes : before;
        uint8_t* const start = direct_ ? page : page + (offset - before) % kPageBytes;
        const size_t ask =
            direct_ ? (lead + length + kPageBytes - 1) / kPageBytes * kPageBytes : lead + length;
        std::string error;
        const int64_t got = reader_.read_at(handle, offset - lead, start, ask, error);
        if (got < 0) {
            note_unreadable(file, error);
            return;
        }
        if (static_cast<size_t>(got) < lead + length) {
            note_unreadable(file, "it got shorter while it was read");
            return;
        }
        uint8_t* const buffer = start + lead - before;
        if (offset == 0) {
            file.head_bytes = std::min<size_t>(8, length);
            std::memcpy(file.head, buffer, file.head_bytes);
        }
        switch (run.check.files_type) {
        case kGeneratorData: {
            const size_t at = lcg_chain_break(buffer, before + length);
            if (at < before + length)
                lower_to(file.first_difference, offset - before + at);
            break;
        }
        case kRandomData: {
            RandomFileData data(run.seed, file.number);
            for (size_t done = 0; done < length;) {
                const size_t piece = std::min(length - done, kCompareChunks * kChunkBytes);
                data.fill((offset + done) / kChunkBytes, expected, (piece + kChunkBytes - 1) / kChunkBytes);
                const size_t at = first_difference(buffer + done, expected, piece);
                if (at < piece) {
                    lower_to(file.first_difference, offset + done + at);
                    break;
                }
                done += piece;
            }
            break;
        }
        default: {
            const size_t at = first_nonzero(buffer, length);
            if (at < length)
                lower_to(file.first_difference, offset + at);
            break;
        }
        }
    }

    std::vector<RunData>& runs_;
    FileEntry* const files_;
    const size_t file_count_;
    const uint64_t blocks_;
    FileReader& reader_;
    const bool direct_;
    std::atomic<uint64_t> next_{0};
    std::mutex mutex_;
};

// The size most files of a run have; the larger one on a tie, since files get shorter, not longer.
uint64_t common_size(const std::vector<FileEntry*>& files) {
    std::map<uint64_t, int> counts;
    for (const FileEntry* file : files)
        ++counts[file->size];
    uint64_t best = 0;
    int best_count = 0;
    for (const auto& [size, count] : counts)
        if (count >= best_count) {
            best = size;
            best_count = count;
        }
    return best;
}

uint32_t word_of(const uint8_t* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

// Generator data: each file's first word must lie where the run's sequence puts it, which the
// chain check inside the file cannot see. The files vote for the run's sequence (its first word,
// reached back from each file's first word), so one damaged file does not condemn the others.
void check_first_words(RunData& run) {
    const uint64_t chunks_per_file = (run.check.file_bytes + kChunkBytes - 1) / kChunkBytes;
    // A file advances the generator 1,024 steps per chunk, also for its short last chunk. The
    // generator repeats after 2^32 steps, so going back k steps is going forward 2^32 - k.
    const uint32_t steps_per_file = static_cast<uint32_t>(chunks_per_file * kChunkWords);
    const auto steps_to = [&](int32_t number) { return static_cast<uint32_t>(number - 1) * steps_per_file; };

    struct Vote {
        int count = 0;
        bool chain_holds = false; // the voter's second word follows its first
        int32_t number = 0;       // the lowest voter
    };
    std::map<uint32_t, Vote> votes;
    for (const FileEntry* file : run.files) {
        if (file->head_bytes < 4 || !file->unreadable.empty())
            continue;
        const uint32_t first = word_of(file->head);
        const uint32_t start = lcg_jump(static_cast<uint32_t>(0u - steps_to(file->number)))(first);
        Vote& vote = votes[start];
        if (vote.count++ == 0)
            vote.number = file->number;
        vote.chain_holds |= file->head_bytes >= 8 && word_of(file->head + 4) == lcg_step(first);
    }
    if (votes.empty())
        return;
    const auto winner = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
        return std::tuple(a.second.count, a.second.chain_holds, -a.second.number) <
               std::tuple(b.second.count, b.second.chain_holds, -b.second.number);
    });
    for (FileEntry* file : run.files) {
        if (!file->unreadable.empty())
            continue;
        const uint32_t expected = lcg_jump(steps_to(file->number))(winner->first);
        uint8_t bytes[4];
        std::memcpy(bytes, &expected, 4);
        const size_t present = std::min<size_t>(4, file->head_bytes);
        for (size_t at = 0; at < present; ++at)
            if (file->head[at] != bytes[at]) {
                lower_to(file->first_difference, at);
                break;
            }
    }
}

void judge(RunData& run, const CheckScope& scope) {
    RunCheck& check = run.check;
    check.file_bytes = common_size(run.files);
    check.whole_kilobytes = check.file_bytes % 1024 == 0;
    if (check.files_type == kGeneratorData && check.file_bytes > 0)
        check_first_words(run);

    int32_t previous = scope.first - 1;
    for (const int32_t number : check.numbers) {
        if (number > previous + 1)
            check.missing.emplace_back(previous + 1, number - 1);
        previous = number;
    }
    if (scope.last != 0) {
        // The files wanted end at the scope's last one, whatever the width of the numbers says.
        if (previous < scope.last)
            check.missing.emplace_back(previous + 1, scope.last);
    } else {
        // A run of fewer than 1,000 files has 3-digit numbers, of fewer than 10,000 4-digit ones, ...
        int32_t least = 1;
        for (int32_t digits = 1; digits < check.width && least < 100000000; ++digits)
            least *= 10;
        if (check.width > 3 && previous < least)
            check.at_least = least;
    }

    for (const FileEntry* file : run.files) {
        FileProblem problem;
        problem.number = file->number;
        problem.name = file->name;
        problem.size = file->size;
        problem.wrong_size = file->size != check.file_bytes;
        problem.first_difference = file->first_difference.load(std::memory_order_relaxed);
        problem.unreadable = file->unreadable;
        if (problem.wrong_size || problem.first_difference != kNoDifference || !problem.unreadable.empty())
            check.problems.push_back(std::move(problem));
    }
}

std::u16string count_text(uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); }

} // namespace

FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, int threads,
                          const CheckScope& scope) {
    FolderCheck result;
    std::error_code error;
    const std::filesystem::path root(folder);
    std::filesystem::directory_iterator listing(root, error);
    if (error) {
        result.error = error.message();
        return result;
    }

    std::vector<RunData> runs;
    struct Found {
        RunFileName name;
        std::u16string file_name;
        std::u16string path;
        uint64_t size;
    };
    std::vector<Found> found;
    for (; listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        if (error)
            break;
        const std::filesystem::directory_entry& entry = *listing;
        std::error_code ignored;
        if (!entry.is_regular_file(ignored))
            continue;
        const std::u16string file_name = entry.path().filename().u16string();
        const std::optional<RunFileName> name = parse_run_file_name(file_name);
        if (!name || name->number < scope.first || (scope.last != 0 && name->number > scope.last))
            continue;
        const uintmax_t size = entry.file_size(ignored);
        found.push_back(
            {*name, file_name, entry.path().u16string(), ignored ? 0 : static_cast<uint64_t>(size)});
    }
    if (error) {
        result.error = error.message();
        return result;
    }
    // Sorted by run (type, tag, width), then number: a run's files stand together, in number order.
    const auto run_key = [](const Found& f) { return std::tie(f.name.files_type, f.name.tag, f.name.width); };
    std::sort(found.begin(), found.end(), [&](const Found& a, const Found& b) {
        return std::tuple_cat(run_key(a), std::tie(a.name.number)) <
               std::tuple_cat(run_key(b), std::tie(b.name.number));
    });

    const std::unique_ptr<FileEntry[]> files(new FileEntry[found.size()]);
    uint64_t blocks = 0;
    for (size_t i = 0; i < found.size(); ++i) {
        const Found& f = found[i];
        if (i == 0 || run_key(f) != run_key(found[i - 1])) {
            RunData run;
            run.check.files_type = f.name.files_type;
            run.check.tag = f.name.tag;
            run.check.width = f.name.width;
            if (f.name.files_type == kRandomData) {
                const std::optional<uint64_t> seed = random_tag_seed(f.name.tag);
                run.check.seed_known = seed.has_value();
                run.seed = seed.value_or(0);
            }
            runs.push_back(std::move(run));
        }
        RunData& run = runs.back();
        FileEntry& file = files[i];
        file.run = runs.size() - 1;
        file.number = f.name.number;
        file.name = f.file_name;
        file.path = f.path;
        file.size = f.size;
        // Random data without a seed cannot be compared: its files are only counted and measured.
        file.blocks = run.check.seed_known ? (f.size + kBlockBytes - 1) / kBlockBytes : 0;
        file.first_block = blocks;
        blocks += file.blocks;
        run.files.push_back(&file);
        run.check.numbers.push_back(file.number);
    }

    if (scope.drop_cache)
        for (const Found& f : found) {
            std::string why;
            if (!reader.drop_cache(f.path, why) && result.cache_kept.empty())
                result.cache_kept = why.empty() ? "unknown error" : why;
        }
    reader.set_direct(scope.direct);
    Reading reading(runs, files.get(), found.size(), blocks, reader, scope.direct);
    // Direct reads keep several requests at the device whatever the number of processors.
    if (threads <= 0)
        threads = scope.direct
                      ? kMaxThreads
                      : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    threads =
        static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), std::max<uint64_t>(blocks, 1)));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back([&reading] { reading.work(); });
    reading.work();
    for (std::thread& worker : workers)
        worker.join();

    for (RunData& run : runs) {
        judge(run, scope);
        result.runs.push_back(std::move(run.check));
    }
    result.direct_refused = scope.direct && reader.direct_refused();
    return result;
}

std::u16string run_pattern(const RunCheck& run) {
    return file_name_head(run.files_type) + std::u16string(static_cast<size_t>(run.width), u'#') + u"_" +
           run.tag + u".file";
}

std::vector<std::u16string> verify_report(const FolderCheck& check) {
    std::vector<std::u16string> lines;
    constexpr std::u16string_view kIndent = u"        ";
    int intact = 0;
    for (const RunCheck& run : check.runs) {
        intact += run.intact();
        std::u16string line = run.intact() ? u"OK      " : u"FAILED  ";
        line += run_pattern(run) + u": " + count_text(run.numbers.size()) +
                (run.numbers.size() == 1 ? u" file of " : u" files of ");
        line += run.whole_kilobytes ? count_text(run.file_bytes / 1024) + u" KB"
                                    : count_text(run.file_bytes) + u" bytes, not a whole number of kilobytes";
        line += u", numbers ";
        append_number(line, run.numbers.front(), run.width);
        line += u'-';
        append_number(line, run.numbers.back(), run.width);
        if (!run.seed_known)
            line += u"; the tag carries no seed, so the data cannot be checked";
        lines.push_back(line);

        if (!run.missing.empty() || run.at_least != 0) {
            std::u16string missing = std::u16string(kIndent) + u"missing: ";
            const auto range = [&](int32_t first, int32_t last) {
                if (missing.back() != u' ')
                    missing += u", ";
                append_number(missing, first, run.width);
                if (last != first) {
                    missing += u'-';
                    append_number(missing, last, run.width);
                }
            };
            for (const auto& [first, last] : run.missing)
                range(first, last);
            if (run.at_least != 0) {
                range(run.numbers.back() + 1, run.at_least);
                missing += u" and maybe more (" + format_ascii("%d", run.width) + u"-digit numbers: " +
                           format_ascii("%d", run.at_least) + u" files or more)";
            }
            lines.push_back(missing);
        }
        for (const FileProblem& problem : run.problems) {
            std::vector<std::u16string> parts;
            if (!problem.unreadable.empty())
                parts.push_back(u"cannot be read: " + from_utf8(problem.unreadable));
            if (problem.wrong_size)
                parts.push_back(
                    (problem.size < run.file_bytes ? u"truncated: " : u"longer than the others: ") +
                    count_text(problem.size) + u" of " + count_text(run.file_bytes) + u" bytes");
            if (problem.first_difference != kNoDifference)
                parts.push_back(u"first difference at byte " + count_text(problem.first_difference));
            std::u16string line = std::u16string(kIndent) + problem.name + u": ";
            for (size_t i = 0; i < parts.size(); ++i)
                line += (i == 0 ? u"" : u"; ") + parts[i];
            lines.push_back(line);
        }
    }
    if (check.direct_refused)
        lines.push_back(u"Note: the file system refused direct reads; files were read through the cache.");
    if (!check.cache_kept.empty())
        lines.push_back(u"Note: the cache could not be dropped (" + from_utf8(check.cache_kept) +
                        u"); files may have been read from it.");
    const size_t runs = check.runs.size();
    if (runs == 0)
        lines.push_back(u"No runs found: no file here has a name that a run gives its files.");
    else
        lines.push_back(count_text(runs) + (runs == 1 ? u" run: " : u" runs: ") + count_text(intact) +
                        u" intact, " + count_text(runs - static_cast<size_t>(intact)) + u" not intact.");
    return lines;
}
