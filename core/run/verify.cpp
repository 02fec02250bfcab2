// Checking the runs in a folder: names to runs, blocks to workers, then each run's verdict.
#include "core/run/verify.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "core/base/text.h"
#include "core/run/file_content.h"
#include "core/run/file_reader.h"
#include "core/run/file_system.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/random.h"
#include "core/run/shaped.h"
#include "core/run/tag.h"

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
constexpr int kMaxThreads = 4;

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
    int64_t number = 0;
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

// The numbers of one run's files, a bit each in pages of 512 numbers: ten million files take
// some 2 MiB.
class NumberSet {
public:
    void insert(int64_t number) {
        uint64_t& word = pages_[number >> 9][number >> 6 & 7];
        const uint64_t bit = uint64_t{1} << (number & 63);
        size_ += (word & bit) == 0;
        word |= bit;
    }
    uint64_t size() const { return size_; }
    // The lowest number from `from` on; 0 when there is none.
    int64_t next(int64_t from) const {
        for (auto page = pages_.lower_bound(from >> 9); page != pages_.end(); ++page) {
            const int64_t page_first = page->first << 9;
            for (int64_t number = std::max(from, page_first); number < page_first + 512;) {
                const uint64_t word = page->second[static_cast<size_t>(number >> 6 & 7)] >> (number & 63);
                if (word != 0)
                    return number + std::countr_zero(word);
                number = (number | 63) + 1;
            }
        }
        return 0;
    }
    template <typename Each> void each(Each&& each) const {
        for (int64_t number = next(1); number != 0; number = next(number + 1))
            each(number);
    }
    // Ascending first-last ranges.
    std::vector<std::pair<int64_t, int64_t>> ranges() const {
        std::vector<std::pair<int64_t, int64_t>> ranges;
        each([&](int64_t number) {
            if (!ranges.empty() && ranges.back().second + 1 == number)
                ranges.back().second = number;
            else
                ranges.emplace_back(number, number);
        });
        return ranges;
    }

private:
    std::map<int64_t, std::array<uint64_t, 8>> pages_;
    uint64_t size_ = 0;
};

// A run's file found where no file of the run should be (a misplaced one), or a partial file.
struct ExtraFile {
    int64_t number = 0;
    bool partial = false;
    std::optional<std::u16string> misplaced; // the folders it lies in, when it is misplaced
    uint64_t size = 0;
};

struct RunData {
    RunCheck check;
    std::u16string base;      // the checked folder and a separator
    std::u16string head;      // the run's name head
    std::u16string name_tail; // "_" tag ".file"
    char16_t separator = u'/';
    NumberSet numbers;             // the files where the run puts them
    std::vector<ExtraFile> extras; // by number
    size_t next_extra = 0;         // the first one not judged yet
    int64_t next_number = 0;       // the first file no batch has taken yet; 0 when all have been
    uint64_t files_taken = 0;      // by the batches so far
    int64_t last_number = 0;       // the highest number found
    bool sized = false;            // the run's size is decided
    bool settle = false;           // a tie of sizes is still to be settled by what the reads found
    size_t first_file = 0;         // the run's files in the batch, in number order, from here
    size_t file_count = 0;
    RunContent content; // once the run's size is known

    std::u16string path(int64_t number) const {
        std::u16string text = base;
        append_tree_path(text, number, check.per_folder, check.depth, separator);
        text += head;
        append_number(text, number, check.width);
        return text + name_tail;
    }
};

// The reads of all files, handed out in file order to the workers.
class BlockQueue {
public:
    BlockQueue(std::vector<RunData>& runs, FileRecord* files, FileReader& reader, VerifyProgress& progress,
               bool direct, const std::atomic<bool>* cancel)
        : runs_(runs), files_(files), reader_(reader), progress_(progress), direct_(direct), cancel_(cancel) {
    }

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
        const std::unique_ptr<uint8_t[]> scratch(new uint8_t[kContentScratchBytes]);
        // Blocks come in rising order, so the run and the file they belong to only move on.
        size_t run = 0;
        size_t cursor = 0;
        uint64_t cursor_first_block = 0;
        uint64_t cursor_blocks = first_blocks(run, cursor);
        size_t open_file = SIZE_MAX;
        FileReader::Handle handle = FileReader::kNoHandle;
        for (uint64_t block = next_.fetch_add(1); block < blocks; block = next_.fetch_add(1)) {
            if (cancelled())
                break;
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
            check_block(data, file, index, handle, page, scratch.get());
            if (index + 1 == cursor_blocks)
                check_end(file, handle);
        }
        if (handle != FileReader::kNoHandle)
            reader_.close(handle);
    }

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

    // Before a batch's reads, and after its files were judged: the records are the next batch's.
    void start() { next_ = 0; }
    void forget_reasons() {
        std::lock_guard lock(mutex_);
        reasons_.clear();
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
        FileReader::Handle handle = FileReader::kNoHandle;
        if (const FileStatus opened = reader_.open(run.path(file.number), handle); !opened.ok()) {
            note(file, kUnreadable, opened.message);
            return FileReader::kNoHandle;
        }
        uint64_t size = 0;
        if (const FileStatus sized = reader_.size(handle, size); !sized.ok()) {
            note(file, kUnreadable, sized.message);
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
        if (reader_.size(handle, size).ok() && size > file.size)
            file.flags.fetch_or(kGrew, std::memory_order_relaxed);
    }

    // `page` is page-aligned, with room for a block and a page more.
    void check_block(const RunData& run, FileRecord& file, uint64_t index, FileReader::Handle handle,
                     uint8_t* page, uint8_t* scratch) {
        const uint64_t offset = index * kBlockBytes;
        const size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, file.size - offset));
        FileContent content(run.content, static_cast<uint32_t>(file.number));
        // Data that is checked against the bytes before it takes them along.
        const size_t before = content.context_bytes(offset);
        // Direct reads start and end on the alignment: the bytes before come with the whole page
        // they end, and the read goes on to the end of the page that holds the block's last byte.
        const size_t lead = direct_ && before != 0 ? kPageBytes : before;
        uint8_t* const start = direct_ ? page : page + (offset - before) % kPageBytes;
        const size_t ask =
            direct_ ? (lead + length + kPageBytes - 1) / kPageBytes * kPageBytes : lead + length;
        size_t got = 0;
        if (const FileStatus read = reader_.read_at(handle, offset - lead, start, ask, got); !read.ok()) {
            note(file, kUnreadable, read.message);
            return;
        }
        if (got < lead + length) {
            note(file, kChanged, "it got shorter while it was read");
            return;
        }
        uint8_t* const buffer = start + lead;
        if (offset == 0) {
            file.head_bytes = static_cast<uint8_t>(std::min<size_t>(8, length));
            std::memcpy(file.head, buffer, file.head_bytes);
        }
        const size_t at = content.check(offset, buffer, length, scratch);
        if (at < length)
            lower_to(file.first_difference, offset + at);
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

// The files of the batch a run's size is judged by: all but a fill run's last, which may be
// shorter.
size_t sized_files(const RunData& run) {
    const bool last_in_batch = run.next_number == 0;
    return run.check.fill && last_in_batch && run.file_count > 1 ? run.file_count - 1 : run.file_count;
}

// How many of a run's files, examined as regular files, have each size.
std::map<uint64_t, size_t> size_counts(const FileRecord* files, size_t count) {
    std::map<uint64_t, size_t> counts;
    for (size_t i = 0; i < count; ++i)
        if ((files[i].flags.load(std::memory_order_relaxed) & kSkipped) == 0)
            ++counts[files[i].size];
    return counts;
}

// The size most files of a run have; the larger one on a tie, since files get shorter more often
// than longer. settle_size() looks again once the data has been read.
uint64_t common_size(const FileRecord* files, size_t count) {
    uint64_t best = 0;
    size_t best_count = 0;
    for (const auto& [size, n] : size_counts(files, count))
        if (n >= best_count) {
            best = size;
            best_count = n;
        }
    return best;
}

// A tie between sizes, decided by what the reads found: a whole number of kilobytes before any
// other size, then the larger size unless a file of that size stops holding the run's data at or
// past a smaller one (its tail was added: a 2-file run with file 1 extended blames file 1, not
// file 2).
void settle_size(RunData& run, const FileRecord* files, size_t count) {
    const std::map<uint64_t, size_t> counts = size_counts(files, count);
    size_t most = 0;
    for (const auto& [size, n] : counts)
        most = std::max(most, n);
    std::vector<uint64_t> tied; // ascending
    for (const auto& [size, n] : counts)
        if (n == most)
            tied.push_back(size);
    if (tied.size() < 2)
        return;
    if (std::any_of(tied.begin(), tied.end(), [](uint64_t size) { return size % 1024 == 0; }))
        std::erase_if(tied, [](uint64_t size) { return size % 1024 != 0; });
    const uint64_t smallest = tied.front();
    for (auto size = tied.rbegin(); size != tied.rend(); ++size) {
        const bool tail_added = std::any_of(files, files + count, [&](const FileRecord& file) {
            const uint64_t difference = file.first_difference.load(std::memory_order_relaxed);
            return file.size == *size && difference != kNoDifference && difference >= smallest;
        });
        if (!tail_added || *size == smallest) {
            run.check.file_bytes = *size;
            return;
        }
    }
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
// chain check inside the file cannot see. A tag that records the generator's start says where the
// sequence begins; otherwise the files vote for it (its first word, reached back from each file's
// first word), so one damaged file does not condemn the others.
void check_first_words(const RunData& run, FileRecord* files) {
    // The generator repeats after 2^32 steps, so going back k steps is going forward 2^32 - k.
    const auto steps_to = [&](int64_t number) {
        return static_cast<uint32_t>(run.content.generator_steps_before(static_cast<uint32_t>(number)));
    };

    uint32_t first_word = 0; // of file 1
    if (const std::optional<uint32_t> start = generator_tag_start(run.check.tag)) {
        first_word = lcg_step(*start);
    } else {
        struct Vote {
            size_t count = 0;
            bool chain_holds = false; // the voter's second word follows its first
            int64_t number = 0;       // the lowest voter
        };
        std::map<uint32_t, Vote> votes;
        for (size_t i = 0; i < run.file_count; ++i) {
            const FileRecord& file = files[i];
            if (file.head_bytes < 4 || !read_whole(file))
                continue;
            const uint32_t first = word_of(file.head);
            const uint32_t sequence_start =
                lcg_jump(static_cast<uint32_t>(0u - steps_to(file.number)))(first);
            Vote& vote = votes[sequence_start];
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
        first_word = winner->first;
    }
    for (size_t i = 0; i < run.file_count; ++i) {
        FileRecord& file = files[i];
        if (!read_whole(file))
            continue;
        const uint32_t expected = lcg_jump(steps_to(file.number))(first_word);
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

// Puts a damaged file in the run's list, or past kListedProblems in its counts.
void add_problem(RunCheck& check, FileProblem&& problem) {
    if (check.problems.size() < kListedProblems) {
        check.problems.push_back(std::move(problem));
        return;
    }
    UnlistedProblems& rest = check.unlisted;
    ++rest.files;
    rest.wrong_size += problem.wrong_size;
    rest.differing += problem.first_difference != kNoDifference;
    rest.unreadable += !problem.unreadable.empty();
    rest.changed += !problem.changed.empty();
    rest.partial += problem.partial;
    rest.misplaced += problem.misplaced.has_value();
    // A whole file and a partial one of the same number are one number.
    if (!rest.numbers.empty() && rest.numbers.back().second + 1 >= problem.number)
        rest.numbers.back().second = std::max(rest.numbers.back().second, problem.number);
    else
        rest.numbers.emplace_back(problem.number, problem.number);
}

// The name of file `number` of a checked run, whole or partial.
std::u16string name_in_run(const RunCheck& check, int64_t number, bool partial) {
    std::u16string text = file_name_head(check.files_type, marks_of(check));
    append_number(text, number, check.width);
    return text + file_name_tail(check.tag) + (partial ? std::u16string(kPartialSuffix) : u"");
}

// Where a fill run ended, its last file took what room was left: whole kilobytes, fewer than it
// would have had (`own`).
bool fill_end_size(uint64_t size, uint64_t own) { return size > 0 && size < own && size % 1024 == 0; }

// The size file `number` of a run should have: the run's, or its own in a range run.
uint64_t intended_size(const RunData& run, int64_t number) {
    return run.check.sizes.ranged() ? run.content.file_size(static_cast<uint32_t>(number))
                                    : run.check.file_bytes;
}

// The problems of the files of one batch of a run, in number order, with the run's other finds (a
// partial file after the whole one of the same number) up to `through`.
void judge_files(RunData& run, FileRecord* files, BlockQueue& queue, int64_t through) {
    RunCheck& check = run.check;
    const auto whole_problem = [&](const FileRecord& file) -> std::optional<FileProblem> {
        const uint8_t flags = file.flags.load(std::memory_order_relaxed);
        FileProblem problem;
        problem.number = file.number;
        problem.size = file.size;
        problem.first_difference = file.first_difference.load(std::memory_order_relaxed);
        const bool skipped = (flags & kSkipped) != 0;
        const uint64_t own = intended_size(run, file.number);
        problem.intended_size = own;
        problem.wrong_size = !skipped && check.size_known && file.size != own &&
                             !(check.fill && file.number == run.last_number && fill_end_size(file.size, own));
        // One reason per file: the first thing found wrong with it.
        if ((flags & (kUnreadable | kChanged)) != 0) {
            auto [kind, reason] = queue.reason(file);
            (kind == kUnreadable ? problem.unreadable : problem.changed) = std::move(reason);
        } else if ((flags & kGrew) != 0) {
            problem.changed = "it grew while it was read";
        }
        if (!problem.wrong_size && problem.first_difference == kNoDifference && problem.unreadable.empty() &&
            problem.changed.empty()) {
            check.range_intact_bytes += check.sizes.ranged() ? file.size : 0;
            return std::nullopt;
        }
        problem.name = name_in_run(check, file.number, false);
        return problem;
    };
    const auto add_extras_before = [&](int64_t number) {
        for (; run.next_extra < run.extras.size() && run.extras[run.next_extra].number < number;
             ++run.next_extra) {
            ExtraFile& extra = run.extras[run.next_extra];
            FileProblem problem;
            problem.number = extra.number;
            problem.name = name_in_run(check, extra.number, extra.partial);
            problem.size = extra.size;
            problem.first_difference = kNoDifference;
            problem.partial = extra.partial;
            problem.misplaced = std::move(extra.misplaced);
            add_problem(check, std::move(problem));
        }
    };
    for (size_t i = 0; i < run.file_count; ++i) {
        add_extras_before(files[i].number);
        if (std::optional<FileProblem> problem = whole_problem(files[i]))
            add_problem(check, std::move(*problem));
    }
    add_extras_before(through == INT64_MAX ? through : through + 1);
}

// The numbers' verdict of a run once all its files were judged: gaps, files past an intended
// count, and what the numbers' width says.
void judge_numbers(RunCheck& check, const RunIntent& intent, const CheckScope& scope) {
    check.expected_count = intent.count.value_or(0);
    int64_t previous = scope.first - 1;
    for (const auto& [first, last] : check.found) {
        int64_t upto = last;
        if (intent.count && upto > *intent.count) {
            check.past_intended_count += upto - std::max(first - 1, *intent.count);
            upto = *intent.count;
        }
        if (first > upto)
            continue;
        if (first > previous + 1)
            check.missing.emplace_back(previous + 1, first - 1);
        previous = upto;
    }
    if (intent.count)
        check.width_fits_count = check.width == number_width(*intent.count);
    // Where the files wanted end: at the scope's last one (a shard), else at the count the user
    // gave, whatever the width of the numbers says.
    int64_t end = scope.last;
    if (intent.count)
        end = end == 0 ? *intent.count : std::min(end, *intent.count);
    if (end != 0) {
        if (previous < end)
            check.missing.emplace_back(previous + 1, end);
    } else {
        // A run of fewer than 1,000 files has 3-digit numbers, of fewer than 10,000 4-digit ones, ...
        int64_t least = 1;
        for (int32_t digits = 1; digits < check.width; ++digits)
            least *= 10;
        // A fill run's numbers have the width of the most files it could write.
        if (!check.fill && check.width > 3 && previous < least && least <= kMostFiles)
            check.count_from_width = least;
    }
}

// A range run's missing files by their own sizes: the gaps, and what the numbers' width says is
// missing at the end.
void count_missing_bytes(RunData& run) {
    RunCheck& check = run.check;
    const auto add = [&](int64_t first, int64_t last) {
        for (int64_t number = first; number <= last; ++number)
            check.range_missing_bytes += intended_size(run, number);
    };
    for (const auto& [first, last] : check.missing)
        add(first, last);
    if (check.count_from_width != 0 && check.last_found() < check.count_from_width)
        add(check.last_found() + 1, check.count_from_width);
}

} // namespace

namespace {

// One number for fill, type, tag and width, ordered as they are: a tag's 16 digits 0-8 are a number
// in base 9 (below 2^51), the width takes 4 bits, the type 2 and the fill mark 1.
uint64_t run_key(const RunFileName& name) {
    const uint64_t tag = tag_number(name.tag).value_or(0);
    return static_cast<uint64_t>(name.marks.fill) << 57 | static_cast<uint64_t>(name.files_type) << 55 |
           tag << 4 | static_cast<uint64_t>(name.width);
}

// The shape of random data in one number, ordered as the shapes are: compress, then dedupe, then
// the unit.
uint32_t shape_code(DataShape shape) {
    return static_cast<uint32_t>(shape.compress) << 16 | static_cast<uint32_t>(shape.dedupe) << 8 |
           static_cast<uint32_t>(shape.unit);
}

DataShape shape_of_code(uint32_t code) {
    return DataShape{static_cast<int32_t>(code >> 16), static_cast<int32_t>(code >> 8 & 255),
                     static_cast<int32_t>(code & 255)};
}

std::u16string tag_of_key(uint64_t key) { return tag_text(key >> 4 & ((uint64_t{1} << 51) - 1)); }

// The deepest tree a check walks: 2 files a folder take 31 levels for the most files a run has.
constexpr int kMostLevels = 32;

// A run while the folders are listed: its key, and the numbers found at each depth where a run of
// that depth puts them.
struct ListedRun {
    uint64_t key = 0;
    uint32_t shape = 0; // shape_code()
    int64_t per_folder = 0;
    SizeRange sizes;
    std::map<int, NumberSet> placed;
    // Partial files where a run of their depth puts them: number and depth.
    std::vector<std::pair<int64_t, int>> partial;
    std::vector<ExtraFile> misplaced;
};

// Whether file `number` of a run with `per_folder` files a folder lies where a tree of
// `folders.size()` levels puts it.
bool in_place(int64_t number, int64_t per_folder, const std::vector<std::u16string>& folders) {
    const int depth = static_cast<int>(folders.size());
    if (per_folder == 0 || depth == 0)
        return depth == 0 && (per_folder == 0 || number <= per_folder);
    // The tree must be deep enough for the number: the folder above the top level is the only one.
    int64_t above = (number - 1) / per_folder;
    for (int level = 0; level < depth; ++level)
        above /= per_folder;
    if (above != 0)
        return false;
    for (int level = 0; level < depth; ++level) {
        const std::optional<int64_t> folder =
            parse_tree_folder(folders[static_cast<size_t>(level)], per_folder);
        if (!folder || *folder != tree_folder(number, per_folder, depth, level))
            return false;
    }
    return true;
}

std::u16string relative_path(const std::vector<std::u16string>& folders) {
    std::u16string path;
    for (const std::u16string& folder : folders)
        path += folder + u"/";
    return path;
}

// FileRecord holds atomics: a batch's records are set afresh rather than assigned.
void reset(FileRecord& file, int64_t number) {
    file.size = 0;
    file.first_difference.store(kNoDifference, std::memory_order_relaxed);
    file.head_bytes = 0;
    file.number = number;
    file.flags.store(0, std::memory_order_relaxed);
}

} // namespace

FolderFacts verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options,
                          VerifySink& sink) {
    FolderFacts facts;
    const CheckScope& scope = options.scope;
    VerifyProgress unused;
    VerifyProgress& progress = options.progress != nullptr ? *options.progress : unused;
    std::u16string base = folder;
    if (!base.empty() && base.back() != reader.separator() && base.back() != u'/')
        base += reader.separator();

    // The listing keeps a bit for each number, in one set per run and depth: a tree may hold
    // millions of files. Folders are walked one at a time.
    std::vector<ListedRun> listed;
    std::map<std::tuple<uint64_t, uint32_t, int64_t, uint64_t, uint64_t, SizeSpread>, size_t> run_of_key;
    std::vector<std::vector<std::u16string>> pending{{}};
    while (!pending.empty()) {
        const std::vector<std::u16string> folders = std::move(pending.back());
        pending.pop_back();
        const std::u16string relative = relative_path(folders);
        std::u16string here = base;
        for (const std::u16string& name : folders)
            here += name + reader.separator();
        std::vector<std::u16string> inner;
        const FileStatus listing =
            reader.list(folders.empty() ? folder : here, [&](std::u16string_view entry) {
                const std::optional<RunFileName> name = parse_run_file_name(entry);
                if (!name) {
                    if (tree_folder_name(entry) && folders.size() < static_cast<size_t>(kMostLevels))
                        inner.emplace_back(entry);
                    return;
                }
                // Files outside the scope are another shard's business.
                if (name->number < scope.first || (scope.last != 0 && name->number > scope.last))
                    return;
                const uint32_t shape = shape_code(name->marks.shape);
                const SizeRange& sizes = name->marks.sizes;
                const auto [at, added] =
                    run_of_key.try_emplace({run_key(*name), shape, name->marks.per_folder, sizes.low_kb,
                                            sizes.high_kb, sizes.spread},
                                           listed.size());
                if (added)
                    listed.push_back({run_key(*name), shape, name->marks.per_folder, sizes, {}, {}, {}});
                ListedRun& run = listed[at->second];
                if (!in_place(name->number, run.per_folder, folders)) {
                    uint64_t size = 0;
                    reader.examine(here + std::u16string(entry), size);
                    run.misplaced.push_back({name->number, name->partial, relative, size});
                } else if (name->partial) {
                    run.partial.emplace_back(name->number, static_cast<int>(folders.size()));
                } else {
                    run.placed[static_cast<int>(folders.size())].insert(name->number);
                }
            });
        if (!listing.ok()) {
            const std::string reason = listing.message.empty() ? "unknown error" : listing.message;
            facts.error = folders.empty() ? reason : to_utf8(relative) + ": " + reason;
            return facts;
        }
        // Only folders themselves are walked, never a link to one.
        std::sort(inner.begin(), inner.end(), std::greater<>());
        for (std::u16string& name : inner)
            if (reader.is_folder(here + name)) {
                pending.push_back(folders);
                pending.back().push_back(std::move(name));
            }
    }
    run_of_key.clear();
    std::sort(listed.begin(), listed.end(), [](const ListedRun& a, const ListedRun& b) {
        return std::tie(a.key, a.shape, a.per_folder, a.sizes.low_kb, a.sizes.high_kb, a.sizes.spread) <
               std::tie(b.key, b.shape, b.per_folder, b.sizes.low_kb, b.sizes.high_kb, b.sizes.spread);
    });

    std::vector<RunData> runs;
    runs.reserve(listed.size());
    uint64_t file_count = 0;
    for (ListedRun& found : listed) {
        RunData& run = runs.emplace_back();
        run.check.files_type = static_cast<int32_t>(found.key >> 55 & 3);
        run.check.fill = (found.key >> 57 & 1) != 0;
        run.check.tag = tag_of_key(found.key);
        run.check.width = static_cast<int32_t>(found.key & 15);
        run.check.shape = shape_of_code(found.shape);
        run.check.per_folder = found.per_folder;
        run.check.sizes = found.sizes;
        // The run lies at the depth most of its files were found at; those found at another lie
        // in the wrong folders.
        for (const auto& [depth, numbers] : found.placed)
            if (numbers.size() > run.numbers.size()) {
                run.check.depth = depth;
                run.numbers = numbers;
            }
        for (auto& [placed_depth, numbers] : found.placed) {
            if (placed_depth == run.check.depth)
                continue;
            // A structured binding cannot be captured by every compiler the build takes (clang 14).
            const int depth = placed_depth;
            numbers.each([&](int64_t number) {
                std::u16string where;
                append_tree_path(where, number, found.per_folder, depth, u'/');
                found.misplaced.push_back({number, false, where, 0});
            });
        }
        found.placed.clear();
        run.base = base;
        run.separator = reader.separator();
        run.head = file_name_head(run.check.files_type, marks_of(run.check));
        run.name_tail = file_name_tail(run.check.tag);
        for (const auto& [number, depth] : found.partial) {
            ExtraFile extra{number, true, std::nullopt, 0};
            if (depth == run.check.depth) {
                reader.examine(run.path(number) + u".partial", extra.size);
            } else {
                std::u16string where;
                append_tree_path(where, number, found.per_folder, depth, u'/');
                extra.misplaced = where;
            }
            found.misplaced.push_back(std::move(extra));
        }
        run.extras = std::move(found.misplaced);
        std::stable_sort(run.extras.begin(), run.extras.end(),
                         [](const ExtraFile& a, const ExtraFile& b) { return a.number < b.number; });
        run.check.found = run.numbers.ranges();
        run.check.files_found = run.numbers.size();
        run.last_number = run.check.last_found();
        run.next_number = run.numbers.next(1);
        file_count += run.numbers.size();

        run.content.files_type = run.check.files_type;
        run.content.shape = run.check.shape;
        // Generator data follows from its words alone; random data from the seed its tag carries.
        run.content.generator_seed_known = false;
        if (run.check.files_type == kRandomData) {
            const std::optional<uint64_t> seed = random_tag_seed(run.check.tag);
            run.check.seed_known = seed.has_value();
            run.content.random_seed = seed.value_or(0);
        }
        run.check.start_in_tag =
            run.check.files_type == kGeneratorData && generator_tag_start(run.check.tag).has_value();
        // A range run's sizes come from its name, whatever size was intended for runs of one size.
        run.check.size_given = !found.sizes.ranged() && options.intent.file_bytes.has_value();
        if (found.sizes.ranged())
            run.content.set_sizes(found.sizes, run.check.tag,
                                  static_cast<uint32_t>(std::max<int64_t>(run.last_number, 1)));
    }
    listed = {};
    progress.files_total.store(file_count, std::memory_order_relaxed);

    reader.set_direct(scope.direct);
    int threads = options.threads;
    if (threads <= 0)
        threads = scope.direct
                      ? kMaxThreads
                      : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    const size_t batch_files =
        static_cast<size_t>(std::min<uint64_t>(file_count, std::max<size_t>(options.batch_files, 1)));
    const std::unique_ptr<FileRecord[]> files(new FileRecord[std::max<size_t>(batch_files, 1)]);
    BlockQueue queue(runs, files.get(), reader, progress, scope.direct, options.cancel);
    uint64_t files_examined = 0;
    uint64_t bytes_examined = 0;
    for (size_t first_run = 0; first_run < runs.size();) {
        // The next batch: the files of the runs in order, up to batch_files.
        size_t taken = 0;
        size_t last_run = first_run;
        for (size_t r = first_run; r < runs.size(); ++r) {
            RunData& run = runs[r];
            // A run that does not fit in what is left of the batch starts the next one: a run of
            // up to batch_files files is judged as one, and a larger one's first batch is whole.
            if (taken > 0 && run.numbers.size() - run.files_taken > batch_files - taken)
                break;
            run.first_file = taken;
            for (; run.next_number != 0 && taken < batch_files;
                 run.next_number = run.numbers.next(run.next_number + 1))
                reset(files[taken++], run.next_number);
            run.file_count = taken - run.first_file;
            run.files_taken += run.file_count;
            last_run = r;
            if (run.next_number != 0)
                break;
        }
        uint64_t blocks = 0;
        for (size_t r = first_run; r <= last_run; ++r) {
            RunData& run = runs[r];
            for (size_t i = run.first_file; i < run.first_file + run.file_count; ++i) {
                FileRecord& file = files[i];
                const FileStatus examined = reader.examine(run.path(file.number), file.size);
                if (examined.kind == FileStatus::Kind::not_regular) {
                    // A pipe, folder, link, device or socket under a run file's name is a damaged
                    // file of that run, also at its last number, where leaving it out would make
                    // the run look shorter.
                    file.flags = kSkipped;
                    file.size = 0;
                    queue.note(file, kChanged,
                               examined.message.empty() ? "it is not a regular file" : examined.message);
                } else if (!examined.ok()) {
                    file.flags = kSkipped;
                    file.size = 0;
                    queue.note(file, kUnreadable, examined.message);
                }
                ++files_examined;
                bytes_examined += file.size;
                if (file.number == run.last_number)
                    run.check.last_file_bytes = file.size;
            }
            // The run's size is known before the reads: shaped data places its copies by it. A
            // run's first batch decides it.
            if (!run.sized && run.check.sizes.ranged()) {
                // Each file has its own size: there is no size of the run to vote on.
                run.sized = true;
                run.check.size_known = true;
            } else if (!run.sized) {
                run.sized = true;
                run.check.size_known = run.check.size_given ||
                                       !size_counts(files.get() + run.first_file, run.file_count).empty();
                run.check.file_bytes = options.intent.file_bytes.value_or(
                    common_size(files.get() + run.first_file, sized_files(run)));
                run.content.file_bytes = run.check.file_bytes;
                run.settle = !run.check.size_given && run.check.size_known;
            }
            for (size_t i = run.first_file; i < run.first_file + run.file_count; ++i) {
                const uint64_t file_blocks = BlockQueue::blocks_of(run, files[i]);
                blocks += file_blocks;
                // A file with nothing to read is checked once it is counted.
                if (file_blocks == 0) {
                    progress.bytes_checked.fetch_add(files[i].size, std::memory_order_relaxed);
                    progress.files_checked.fetch_add(1, std::memory_order_relaxed);
                }
            }
        }
        // The bytes still to come are guessed from those examined so far.
        progress.bytes_total.store(bytes_examined +
                                       (file_count - files_examined) *
                                           (bytes_examined / std::max<uint64_t>(files_examined, 1)),
                                   std::memory_order_relaxed);
        if (scope.drop_cache)
            for (size_t r = first_run; r <= last_run; ++r)
                for (size_t i = 0; i < runs[r].file_count; ++i) {
                    const FileStatus dropped =
                        reader.drop_cache(runs[r].path(files[runs[r].first_file + i].number));
                    if (!dropped.ok() && facts.cache_kept.empty())
                        facts.cache_kept = dropped.message.empty() ? "unknown error" : dropped.message;
                }
        const int batch_threads = static_cast<int>(
            std::min<uint64_t>(static_cast<uint64_t>(threads), std::max<uint64_t>(blocks, 1)));
        queue.start();
        std::vector<std::thread> workers;
        for (int t = 1; t < batch_threads; ++t)
            workers.emplace_back([&queue, blocks] { queue.work(blocks); });
        queue.work(blocks);
        for (std::thread& worker : workers)
            worker.join();
        if (queue.cancelled()) {
            facts.cancelled = true;
            return facts;
        }
        for (size_t r = first_run; r <= last_run; ++r) {
            RunData& run = runs[r];
            FileRecord* const slice = files.get() + run.first_file;
            if (run.settle) {
                run.settle = false;
                settle_size(run, slice, sized_files(run));
            }
            const bool ranged = run.check.sizes.ranged();
            run.check.whole_kilobytes = ranged || !run.check.size_known || run.check.file_bytes % 1024 == 0;
            if (run.check.files_type == kGeneratorData && (ranged || run.check.file_bytes > 0))
                check_first_words(run, slice);
            const bool done = run.next_number == 0;
            judge_files(run, slice, queue,
                        done ? INT64_MAX : files[run.first_file + run.file_count - 1].number);
        }
        queue.forget_reasons();
        // The runs whose files are all judged are done with; the reads do not look at them again.
        for (size_t r = first_run; r <= last_run; ++r)
            runs[r].first_file = runs[r].file_count = 0;
        first_run = runs[last_run].next_number == 0 ? last_run + 1 : last_run;
    }
    for (RunData& run : runs) {
        run.numbers = {};
        judge_numbers(run.check, options.intent, scope);
        if (run.check.sizes.ranged())
            count_missing_bytes(run);
    }

    facts.runs = runs.size();
    facts.direct_refused = scope.direct && reader.direct_refused();
    for (const RunData& run : runs)
        facts.intact_runs += run.check.intact();
    sink.folder(facts);
    for (RunData& run : runs) {
        sink.run(run.check);
        run.check = {};
    }
    return facts;
}

FolderCheck verify_folder(const std::u16string& folder, FileReader& reader, const VerifyOptions& options) {
    class Keeper : public VerifySink {
    public:
        explicit Keeper(FolderCheck& check) : check_(check) {}
        void folder(const FolderFacts&) override {}
        void run(const RunCheck& run) override { check_.runs.push_back(run); }

    private:
        FolderCheck& check_;
    };
    FolderCheck check;
    Keeper keeper(check);
    const FolderFacts facts = verify_folder(folder, reader, options, keeper);
    check.error = facts.error;
    check.cancelled = facts.cancelled;
    check.direct_refused = facts.direct_refused;
    check.cache_kept = facts.cache_kept;
    return check;
}

FolderFacts facts_of(const FolderCheck& check) {
    FolderFacts facts;
    facts.error = check.error;
    facts.cancelled = check.cancelled;
    facts.runs = check.runs.size();
    facts.direct_refused = check.direct_refused;
    facts.cache_kept = check.cache_kept;
    for (const RunCheck& run : check.runs)
        facts.intact_runs += run.intact();
    return facts;
}

RunMarks marks_of(const RunCheck& run) { return {run.shape, run.per_folder, run.fill, run.sizes}; }

std::u16string run_pattern(const RunCheck& run) {
    return file_name_head(run.files_type, marks_of(run)) +
           std::u16string(static_cast<size_t>(run.width), u'#') + u"_" + run.tag + u".file";
}
