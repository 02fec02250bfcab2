// Checking the runs in a folder: names to runs, blocks to workers, then each run's verdict.
#include "core/run/verify.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "core/base/text.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/shaped.h"

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

// What the check keeps of one file, kept small: a folder may hold millions. Its name and path are
// made again from its run and number when they are needed.
struct FileRecord {
    uint64_t size = 0; // as examined before reading
    std::atomic<uint64_t> first_difference{kNoDifference};
    uint8_t head[8] = {}; // the first bytes, kept by whoever reads block 0
    int32_t number = 0;
    uint8_t head_bytes = 0;
    std::atomic<uint8_t> flags{0};
};

// FileRecord::flags
constexpr uint8_t kUnreadable = 1; // with a reason
constexpr uint8_t kChanged = 2;    // with a reason: another size or kind than examined
constexpr uint8_t kGrew = 4;       // longer after reading than before
constexpr uint8_t kSkipped = 8;    // not read: it could not be examined, or it is no regular file.
                                   // Set before the reading starts, so every worker counts the same
                                   // blocks for every file.

struct RunData {
    RunCheck check;
    std::u16string path_head; // folder, separator and the run's name head
    std::u16string name_tail; // "_" tag ".file"
    size_t first_file = 0;    // the run's files in number order, from here
    size_t file_count = 0;
    std::vector<std::pair<int32_t, uint64_t>> partial; // number and size of ".file.partial" files
    uint64_t seed = 0;                                 // random data

    std::u16string path(int32_t number) const {
        std::u16string text = path_head;
        append_number(text, number, check.width);
        return text + name_tail;
    }
};

// The reads of all files, handed out in file order to the workers.
class Reading {
public:
    Reading(std::vector<RunData>& runs, FileRecord* files, FileReader& reader, VerifyProgress& progress,
            bool direct, const std::atomic<bool>* cancel)
        : runs_(runs), files_(files), reader_(reader), progress_(progress), direct_(direct), cancel_(cancel) {
    }

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

    // The reads a file of `run` takes: none when it was not examined as a regular file or its data
    // cannot be compared.
    static uint64_t blocks_of(const RunData& run, const FileRecord& file) {
        if (!run.check.seed_known || (file.flags.load(std::memory_order_relaxed) & kSkipped) != 0)
            return 0;
        return (file.size + kBlockBytes - 1) / kBlockBytes;
    }

    void work(uint64_t blocks) {
        const std::unique_ptr<uint8_t[]> storage(new uint8_t[kBlockBytes + 2 * kPageBytes]);
        const auto address = reinterpret_cast<uintptr_t>(storage.get());
        uint8_t* const page = storage.get() + (kPageBytes - address % kPageBytes) % kPageBytes;
        const std::unique_ptr<uint8_t[]> expected(new uint8_t[kCompareChunks * kChunkBytes]);
        // Blocks come in rising order, so the run and the file they belong to only move on.
        size_t run = 0;
        size_t cursor = 0;
        uint64_t cursor_first_block = 0;
        uint64_t cursor_blocks = first_blocks(run, cursor);
        size_t open_file = SIZE_MAX;
        FileReader::Handle handle = FileReader::kNoHandle;
        for (uint64_t block = next_.fetch_add(1); block < blocks && !cancelled();
             block = next_.fetch_add(1)) {
            while (cursor_first_block + cursor_blocks <= block) {
                cursor_first_block += cursor_blocks;
                ++cursor;
                while (cursor >= runs_[run].first_file + runs_[run].file_count)
                    ++run;
                cursor_blocks = blocks_of(runs_[run], files_[cursor]);
            }
            FileRecord& file = files_[cursor];
            const RunData& data = runs_[run];
            if (cursor != open_file) {
                if (handle != FileReader::kNoHandle)
                    reader_.close(handle);
                open_file = cursor;
                handle = open(data, file);
            }
            const uint64_t index = block - cursor_first_block;
            progress_.bytes_checked.fetch_add(
                std::min<uint64_t>(kBlockBytes, file.size - index * kBlockBytes), std::memory_order_relaxed);
            if (index + 1 == cursor_blocks)
                progress_.files_checked.fetch_add(1, std::memory_order_relaxed);
            if (handle == FileReader::kNoHandle)
                continue;
            check_block(data, file, index, handle, page, expected.get());
            if (index + 1 == cursor_blocks)
                check_end(file, handle);
        }
        if (handle != FileReader::kNoHandle)
            reader_.close(handle);
    }

    // What was found wrong with a file first (kUnreadable or kChanged) and why; 0 when nothing was.
    std::pair<uint8_t, std::string> reason(const FileRecord& file) {
        std::lock_guard lock(mutex_);
        const auto found = reasons_.find(&file);
        return found == reasons_.end() ? std::pair<uint8_t, std::string>{} : found->second;
    }

    void note(FileRecord& file, uint8_t flag, const std::string& reason) {
        std::lock_guard lock(mutex_);
        if ((file.flags.fetch_or(flag, std::memory_order_relaxed) & (kUnreadable | kChanged)) == 0)
            reasons_[&file] = {flag, reason.empty() ? "unknown error" : reason};
    }

private:
    // The reads of the first file (of the first run that has one).
    uint64_t first_blocks(size_t& run, size_t cursor) const {
        while (run < runs_.size() && cursor >= runs_[run].first_file + runs_[run].file_count)
            ++run;
        return run < runs_.size() ? blocks_of(runs_[run], files_[cursor]) : 0;
    }

    // Opens a file and checks it still is what was examined: a regular file of the same size.
    FileReader::Handle open(const RunData& run, FileRecord& file) {
        std::string error;
        const FileReader::Handle handle = reader_.open(run.path(file.number), error);
        if (handle == FileReader::kNoHandle) {
            note(file, kUnreadable, error);
            return handle;
        }
        uint64_t size = 0;
        if (!reader_.size(handle, size, error)) {
            note(file, kUnreadable, error);
        } else if (size != file.size) {
            note(file, kChanged,
                 "its size changed from " + std::to_string(file.size) + " to " + std::to_string(size) +
                     " bytes while it was checked");
        } else {
            return handle;
        }
        reader_.close(handle);
        return FileReader::kNoHandle;
    }

    // After the last read of a file: a file that is still being written is not a finished one.
    void check_end(FileRecord& file, FileReader::Handle handle) {
        uint64_t size = 0;
        std::string error;
        if (reader_.size(handle, size, error) && size > file.size)
            file.flags.fetch_or(kGrew, std::memory_order_relaxed);
    }

    // `page` is page-aligned, with room for a block and a page more.
    void check_block(const RunData& run, FileRecord& file, uint64_t index, FileReader::Handle handle,
                     uint8_t* page, uint8_t* expected) {
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
            note(file, kUnreadable, error);
            return;
        }
        if (static_cast<size_t>(got) < lead + length) {
            note(file, kChanged, "it got shorter while it was read");
            return;
        }
        uint8_t* const buffer = start + lead - before;
        if (offset == 0) {
            file.head_bytes = static_cast<uint8_t>(std::min<size_t>(8, length));
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
            // Shaped data places its copies by the run's file size, which is known before the reads.
            const ShapedFileData shaped(run.seed, run.check.shape, run.check.file_bytes, file.number);
            for (size_t done = 0; done < length;) {
                const size_t piece = std::min(length - done, kCompareChunks * kChunkBytes);
                const size_t chunks = (piece + kChunkBytes - 1) / kChunkBytes;
                if (run.check.shape.plain())
                    data.fill((offset + done) / kChunkBytes, expected, chunks);
                else
                    shaped.fill((offset + done) / kChunkBytes, expected, chunks);
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
    FileRecord* const files_;
    FileReader& reader_;
    VerifyProgress& progress_;
    const bool direct_;
    const std::atomic<bool>* const cancel_;
    std::atomic<uint64_t> next_{0};
    std::mutex mutex_;
    // Only files with a problem have a reason; most have none.
    std::unordered_map<const FileRecord*, std::pair<uint8_t, std::string>> reasons_;
};

// The size most files of a run have; the larger one on a tie, since files get shorter, not longer.
uint64_t common_size(const FileRecord* files, size_t count) {
    std::map<uint64_t, size_t> counts;
    for (size_t i = 0; i < count; ++i)
        if ((files[i].flags.load(std::memory_order_relaxed) & kSkipped) == 0)
            ++counts[files[i].size];
    uint64_t best = 0;
    size_t best_count = 0;
    for (const auto& [size, n] : counts)
        if (n >= best_count) {
            best = size;
            best_count = n;
        }
    return best;
}

uint32_t word_of(const uint8_t* bytes) {
    uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

bool read_whole(const FileRecord& file) {
    return (file.flags.load(std::memory_order_relaxed) & (kSkipped | kUnreadable | kChanged)) == 0;
}

// Generator data: each file's first word must lie where the run's sequence puts it, which the
// chain check inside the file cannot see. The files vote for the run's sequence (its first word,
// reached back from each file's first word), so one damaged file does not condemn the others.
void check_first_words(RunData& run, FileRecord* files) {
    const uint64_t chunks_per_file = (run.check.file_bytes + kChunkBytes - 1) / kChunkBytes;
    // A file advances the generator 1,024 steps per chunk, also for its short last chunk. The
    // generator repeats after 2^32 steps, so going back k steps is going forward 2^32 - k.
    const uint32_t steps_per_file = static_cast<uint32_t>(chunks_per_file * kChunkWords);
    const auto steps_to = [&](int32_t number) { return static_cast<uint32_t>(number - 1) * steps_per_file; };

    struct Vote {
        size_t count = 0;
        bool chain_holds = false; // the voter's second word follows its first
        int32_t number = 0;       // the lowest voter
    };
    std::map<uint32_t, Vote> votes;
    for (size_t i = 0; i < run.file_count; ++i) {
        const FileRecord& file = files[i];
        if (file.head_bytes < 4 || !read_whole(file))
            continue;
        const uint32_t first = word_of(file.head);
        const uint32_t start = lcg_jump(static_cast<uint32_t>(0u - steps_to(file.number)))(first);
        Vote& vote = votes[start];
        if (vote.count++ == 0)
            vote.number = file.number;
        vote.chain_holds |= file.head_bytes >= 8 && word_of(file.head + 4) == lcg_step(first);
    }
    if (votes.empty())
        return;
    const auto winner = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
        return std::tuple(a.second.count, a.second.chain_holds, -a.second.number) <
               std::tuple(b.second.count, b.second.chain_holds, -b.second.number);
    });
    for (size_t i = 0; i < run.file_count; ++i) {
        FileRecord& file = files[i];
        if (!read_whole(file))
            continue;
        const uint32_t expected = lcg_jump(steps_to(file.number))(winner->first);
        uint8_t bytes[4];
        std::memcpy(bytes, &expected, 4);
        const size_t present = std::min<size_t>(4, file.head_bytes);
        for (size_t at = 0; at < present; ++at)
            if (file.head[at] != bytes[at]) {
                lower_to(file.first_difference, at);
                break;
            }
    }
}

// Ascending numbers as first-last ranges of the numbers that are there.
std::vector<std::pair<int32_t, int32_t>> ranges_of(const int32_t* first, const int32_t* last) {
    std::vector<std::pair<int32_t, int32_t>> ranges;
    for (const int32_t* n = first; n != last; ++n)
        if (!ranges.empty() && ranges.back().second + 1 == *n)
            ranges.back().second = *n;
        else
            ranges.emplace_back(*n, *n);
    return ranges;
}

void judge(RunData& run, FileRecord* files, Reading& reading, const RunIntent& intent,
           const CheckScope& scope) {
    RunCheck& check = run.check;
    check.expected_count = intent.count.value_or(0);
    check.whole_kilobytes = check.file_bytes % 1024 == 0;
    if (check.files_type == kGeneratorData && check.file_bytes > 0)
        check_first_words(run, files);

    // Numbers past the most a run has, and every number wider than its numbers, are none a run
    // gives: they are reported on their own, not as gaps.
    const auto beyond = check.width > number_width(kMostFiles)
                            ? check.numbers.begin()
                            : std::upper_bound(check.numbers.begin(), check.numbers.end(), kMostFiles);
    int32_t previous = scope.first - 1;
    for (auto number = check.numbers.begin(); number != beyond; ++number) {
        if (intent.count && *number > *intent.count) {
            ++check.beyond_count;
            continue;
        }
        if (*number > previous + 1)
            check.missing.emplace_back(previous + 1, *number - 1);
        previous = *number;
    }
    check.past_limit = ranges_of(check.numbers.data() + (beyond - check.numbers.begin()),
                                 check.numbers.data() + check.numbers.size());
    if (intent.count)
        check.width_fits_count = check.width == number_width(*intent.count);
    // Where the files wanted end: at the scope's last one (a shard), else at the count the user
    // gave, whatever the width of the numbers says.
    int32_t end = scope.last;
    if (intent.count)
        end = end == 0 ? *intent.count : std::min(end, *intent.count);
    if (end != 0) {
        if (previous < end)
            check.missing.emplace_back(previous + 1, end);
    } else {
        // A run of fewer than 1,000 files has 3-digit numbers, of fewer than 10,000 4-digit ones, ...
        int32_t least = 1;
        for (int32_t digits = 1; digits < check.width && least < 100000000; ++digits)
            least *= 10;
        if (check.width > 3 && previous < least && least <= kMostFiles)
            check.at_least = least;
    }

    const auto name = [&](int32_t number, bool partial) {
        std::u16string text = file_name_head(check.files_type, check.shape);
        append_number(text, number, check.width);
        return text + file_name_tail(check.tag) + (partial ? std::u16string(kPartialSuffix) : u"");
    };
    for (size_t i = 0; i < run.file_count; ++i) {
        const FileRecord& file = files[i];
        const uint8_t flags = file.flags.load(std::memory_order_relaxed);
        FileProblem problem;
        problem.number = file.number;
        problem.size = file.size;
        problem.first_difference = file.first_difference.load(std::memory_order_relaxed);
        const bool skipped = (flags & kSkipped) != 0;
        problem.wrong_size = !skipped && file.size != check.file_bytes;
        // One reason per file: the first thing found wrong with it.
        if ((flags & (kUnreadable | kChanged)) != 0) {
            auto [kind, reason] = reading.reason(file);
            (kind == kUnreadable ? problem.unreadable : problem.changed) = std::move(reason);
        } else if ((flags & kGrew) != 0) {
            problem.changed = "it grew while it was read";
        }
        if (problem.wrong_size || problem.first_difference != kNoDifference || !problem.unreadable.empty() ||
            !problem.changed.empty()) {
            problem.name = name(file.number, false);
            check.problems.push_back(std::move(problem));
        }
    }
    // Partial files after the whole ones of the same number.
    for (const auto& [number, size] : run.partial) {
        FileProblem problem;
        problem.number = number;
        problem.name = name(number, true);
        problem.size = size;
        problem.first_difference = kNoDifference;
        problem.partial = true;
        check.problems.insert(std::upper_bound(check.problems.begin(), check.problems.end(), number,
                                               [](int32_t n, const FileProblem& p) { return n < p.number; }),
                              std::move(problem));
    }
}

std::u16string count_text(uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); }

// Appends "first-last" (or "first" alone) to a list that ends in ": " or in earlier ranges.
void append_range(std::u16string& list, int32_t first, int32_t last, int32_t width) {
    if (list.back() != u' ')
        list += u", ";
    append_number(list, first, width);
    if (last != first) {
        list += u'-';
        append_number(list, last, width);
    }
}

} // namespace

namespace {

// A run while the folder is listed: its key and the numbers found.
struct ListedRun {
    uint64_t key = 0;
    uint32_t shape = 0; // shape_code()
    std::vector<int32_t> numbers;
    std::vector<int32_t> partial;
};

// One number for type, tag and width, ordered as they are: a tag's 16 digits 0-8 are a number in
// base 9 (below 2^51), the width takes 3 bits and the type 2.
uint64_t run_key(const RunFileName& name) {
    uint64_t tag = 0;
    for (const char16_t digit : name.tag)
        tag = tag * 9 + static_cast<uint64_t>(digit - u'0');
    return static_cast<uint64_t>(name.files_type) << 54 | tag << 3 | static_cast<uint64_t>(name.width);
}

// The shape of random data in one number, ordered as the shapes are: compress, then dedupe.
uint32_t shape_code(DataShape shape) {
    return static_cast<uint32_t>(shape.compress) << 8 | static_cast<uint32_t>(shape.dedupe);
}

DataShape shape_of_code(uint32_t code) {
    return DataShape{static_cast<int32_t>(code >> 8), static_cast<int32_t>(code & 255)};
}

std::u16string tag_of_key(uint64_t key) {
    std::u16string tag(16, u'0');
    uint64_t value = key >> 3 & ((uint64_t{1} << 51) - 1);
    for (size_t i = 16; i-- > 0; value /= 9)
        tag[i] = static_cast<char16_t>(u'0' + value % 9);
    return tag;
}

} // namespace

FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options) {
    FolderCheck result;
    const CheckScope& scope = options.scope;
    VerifyProgress unused;
    VerifyProgress& progress = options.progress != nullptr ? *options.progress : unused;
    // The listing keeps only numbers, in one list per run: a folder may hold millions of files.
    std::vector<ListedRun> listed;
    std::map<std::pair<uint64_t, uint32_t>, size_t> run_of_key;
    std::string error;
    const bool listed_all = reader.list(
        folder,
        [&](std::u16string_view entry) {
            const std::optional<RunFileName> name = parse_run_file_name(entry);
            // Files outside the scope are another shard's business.
            if (!name || name->number < scope.first || (scope.last != 0 && name->number > scope.last))
                return;
            const uint64_t key = run_key(*name);
            const uint32_t shape = shape_code(name->shape);
            const auto [at, added] = run_of_key.try_emplace({key, shape}, listed.size());
            if (added)
                listed.push_back({key, shape, {}, {}});
            (name->partial ? listed[at->second].partial : listed[at->second].numbers).push_back(name->number);
        },
        error);
    if (!listed_all) {
        result.error = error.empty() ? "unknown error" : error;
        return result;
    }
    run_of_key.clear();
    std::sort(listed.begin(), listed.end(), [](const ListedRun& a, const ListedRun& b) {
        return std::tie(a.key, a.shape) < std::tie(b.key, b.shape);
    });

    size_t file_count = 0;
    for (const ListedRun& run : listed)
        file_count += run.numbers.size();
    const std::unique_ptr<FileRecord[]> files(new FileRecord[file_count]);
    progress.files_total.store(file_count, std::memory_order_relaxed);

    std::u16string base = folder;
    if (!base.empty() && base.back() != reader.separator() && base.back() != u'/')
        base += reader.separator();
    std::vector<RunData> runs;
    runs.reserve(listed.size());
    Reading reading(runs, files.get(), reader, progress, scope.direct, options.cancel);
    size_t next_file = 0;
    uint64_t blocks = 0;
    for (ListedRun& found : listed) {
        if (reading.cancelled()) {
            result.cancelled = true;
            return result;
        }
        RunData& run = runs.emplace_back();
        run.check.files_type = static_cast<int32_t>(found.key >> 54);
        run.check.tag = tag_of_key(found.key);
        run.check.width = static_cast<int32_t>(found.key & 7);
        if (run.check.files_type == kRandomData) {
            const std::optional<uint64_t> seed = random_tag_seed(run.check.tag);
            run.check.seed_known = seed.has_value();
            run.seed = seed.value_or(0);
        }
        run.check.shape = shape_of_code(found.shape);
        run.path_head = base + file_name_head(run.check.files_type, run.check.shape);
        run.name_tail = file_name_tail(run.check.tag);
        std::sort(found.numbers.begin(), found.numbers.end());
        run.check.numbers = std::move(found.numbers);
        run.first_file = next_file;
        run.file_count = run.check.numbers.size();
        for (const int32_t number : run.check.numbers) {
            FileRecord& file = files[next_file++];
            file.number = number;
            switch (reader.examine(run.path(number), file.size, error)) {
            case FileReader::Kind::file:
                break;
            case FileReader::Kind::other:
                file.flags = kSkipped;
                reading.note(file, kChanged, "it is not a regular file");
                break;
            case FileReader::Kind::unreadable:
                file.flags = kSkipped;
                reading.note(file, kUnreadable, error);
                break;
            }
            const uint64_t file_blocks = Reading::blocks_of(run, file);
            blocks += file_blocks;
            progress.bytes_total.fetch_add(file.size, std::memory_order_relaxed);
            // A file with nothing to read is checked once it is counted.
            if (file_blocks == 0) {
                progress.bytes_checked.fetch_add(file.size, std::memory_order_relaxed);
                progress.files_checked.fetch_add(1, std::memory_order_relaxed);
            }
        }
        // The run's size is known before the reads: shaped data places its copies by it.
        run.check.file_bytes =
            options.intent.file_bytes.value_or(common_size(files.get() + run.first_file, run.file_count));
        run.check.size_given = options.intent.file_bytes.has_value();
        std::sort(found.partial.begin(), found.partial.end());
        for (const int32_t number : found.partial) {
            uint64_t size = 0;
            reader.examine(run.path(number) + u".partial", size, error);
            run.partial.emplace_back(number, size);
        }
        found.partial = {};
    }
    listed = {};

    if (scope.drop_cache)
        for (const RunData& run : runs)
            for (size_t i = 0; i < run.file_count; ++i) {
                std::string why;
                if (!reader.drop_cache(run.path(files[run.first_file + i].number), why) &&
                    result.cache_kept.empty())
                    result.cache_kept = why.empty() ? "unknown error" : why;
            }
    reader.set_direct(scope.direct);
    int threads = options.threads;
    if (threads <= 0)
        threads = scope.direct
                      ? kMaxThreads
                      : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    threads =
        static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(threads), std::max<uint64_t>(blocks, 1)));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back([&reading, blocks] { reading.work(blocks); });
    reading.work(blocks);
    for (std::thread& worker : workers)
        worker.join();
    // A cancelled check has not read what it would judge.
    if (reading.cancelled()) {
        result.cancelled = true;
        return result;
    }

    for (RunData& run : runs) {
        judge(run, files.get() + run.first_file, reading, options.intent, scope);
        result.runs.push_back(std::move(run.check));
    }
    result.direct_refused = scope.direct && reader.direct_refused();
    return result;
}

std::u16string run_pattern(const RunCheck& run) {
    return file_name_head(run.files_type, run.shape) + std::u16string(static_cast<size_t>(run.width), u'#') +
           u"_" + run.tag + u".file";
}

std::vector<std::u16string> verify_report(const FolderCheck& check) {
    std::vector<std::u16string> lines;
    constexpr std::u16string_view kIndent = u"        ";
    int intact = 0;
    for (const RunCheck& run : check.runs) {
        intact += run.intact();
        std::u16string line = run.intact() ? u"OK      " : u"FAILED  ";
        line += run_pattern(run) + u": ";
        if (run.numbers.empty()) {
            line += u"no whole file";
        } else {
            line += count_text(run.numbers.size()) + (run.numbers.size() == 1 ? u" file of " : u" files of ");
            line += run.whole_kilobytes
                        ? count_text(run.file_bytes / 1024) + u" KB"
                        : count_text(run.file_bytes) + u" bytes, not a whole number of kilobytes";
            line += u", numbers ";
            append_number(line, run.numbers.front(), run.width);
            line += u'-';
            append_number(line, run.numbers.back(), run.width);
        }
        if (!run.seed_known)
            line += u"; the tag carries no seed, so the data cannot be checked";
        lines.push_back(line);

        if (!run.missing.empty() || run.at_least != 0) {
            std::u16string missing = std::u16string(kIndent) + u"missing: ";
            for (const auto& [first, last] : run.missing)
                append_range(missing, first, last, run.width);
            if (run.at_least != 0) {
                const auto within = std::upper_bound(run.numbers.begin(), run.numbers.end(), kMostFiles);
                append_range(missing, within == run.numbers.begin() ? 1 : *(within - 1) + 1, run.at_least,
                             run.width);
                missing += u" and maybe more (" + format_ascii("%d", run.width) + u"-digit numbers: " +
                           format_ascii("%d", run.at_least) + u" files or more)";
            }
            lines.push_back(missing);
        }
        if (run.beyond_count != 0)
            lines.push_back(std::u16string(kIndent) + count_text(static_cast<uint64_t>(run.beyond_count)) +
                            (run.beyond_count == 1 ? u" file numbered" : u" files numbered") +
                            u" past the intended count of " +
                            count_text(static_cast<uint64_t>(run.expected_count)));
        if (!run.width_fits_count)
            lines.push_back(std::u16string(kIndent) + u"the numbers have " + format_ascii("%d", run.width) +
                            u" digits, but a run of " +
                            count_text(static_cast<uint64_t>(run.expected_count)) + u" files has " +
                            format_ascii("%d", number_width(run.expected_count)));
        if (!run.past_limit.empty()) {
            std::u16string past = std::u16string(kIndent) + u"numbers no run has: ";
            for (const auto& [first, last] : run.past_limit)
                append_range(past, first, last, run.width);
            lines.push_back(past + u" (a run has at most " + count_text(kMostFiles) +
                            u" files, numbered with " + format_ascii("%d", number_width(kMostFiles)) +
                            u" digits at most)");
        }
        for (const FileProblem& problem : run.problems) {
            std::vector<std::u16string> parts;
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
