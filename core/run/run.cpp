// The generation run and the small pieces around it.
#include "core/run/run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_system.h"
#include "core/run/lcg.h"
#include "core/run/names.h"
#include "core/run/progress.h"
#include "core/run/random.h"
#include "core/run/run_view.h"
#include "core/run/shaped.h"

GenerationSettings generation_settings;
std::atomic<bool> run_busy{false};
std::atomic<bool> run_cancel{false};
std::atomic<bool> run_ending{false};
std::atomic<OpenRunFile*> open_run_files{nullptr};
std::atomic<size_t> open_run_file_count{0};

namespace {

// Calendar seconds plus the clock, as 32-bit sum. Two command-line runs started within the same
// second read the same clock, so a value the system draws for each run goes in as well: runs
// must not repeat each other's tag and data.
uint32_t time_seed() {
    static std::random_device entropy;
    return static_cast<uint32_t>(std::time(nullptr)) + static_cast<uint32_t>(clock_ms()) +
           static_cast<uint32_t>(entropy());
}

// An error under the caption "Attention": the message, then the detail on a line of its own.
void show_error(RunView* owner, const std::u16string& message, const std::u16string& detail) {
    if (owner != nullptr)
        owner->show_error(text(kTextAttention), message + u"\r\n" + detail);
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

void show_target_error(RunView* owner, const std::u16string& folder) {
    show_error(owner, text(kTextTargetNotOpened), folder);
}

TextId create_error_text(FileSystem::CreateStatus status) {
    switch (status) {
    case FileSystem::CreateStatus::disk_full:
        return kTextDiskFull;
    case FileSystem::CreateStatus::link:
        return kTextRefusedLink;
    case FileSystem::CreateStatus::pipe:
        return kTextRefusedPipe;
    case FileSystem::CreateStatus::folder:
        return kTextRefusedFolder;
    case FileSystem::CreateStatus::not_regular:
        return kTextRefusedOther;
    case FileSystem::CreateStatus::denied:
        return kTextRefusedDenied;
    case FileSystem::CreateStatus::moved:
        return kTextFolderMoved;
    default:
        return kTextTargetNotOpened;
    }
}

void show_create_error(RunView* owner, FileSystem::CreateStatus status, const std::u16string& path,
                       const std::u16string& folder) {
    const TextId message = create_error_text(status);
    // Only a reason that lies with the folder names the folder; the rest name the file's path.
    const bool names_folder = message == kTextTargetNotOpened || message == kTextFolderMoved;
    show_error(owner, text(message), names_folder ? folder : path);
}

std::u16string settings_problem(const GenerationSettings& settings, const FileSystem& fs) {
    if (settings.files_size < 0)
        return text(kTextNegativeSize) + u"\r\n" + format_ascii("%d KB", settings.files_size);
    // The longest name of the run (every tag has 16 digits), counted as the platform counts, with
    // the ending a file a cancel cuts short gets: that name must fit as well.
    const std::u16string longest =
        settings.Folder + fs.separator() +
        file_name(settings.files_type, settings.files_c, settings.files_c, std::u16string(16, u'0'),
                  settings.files_type == kRandomData ? shape_in_range(settings.shape) : DataShape{});
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

int32_t confirm_overwrite(FileSystem::Handle folder, const std::u16string& name, const std::u16string& path,
                          RunView* owner, FileSystem& fs, FileSystem::CreateStatus& refusal) {
    refusal = FileSystem::CreateStatus::ok;
    switch (fs.probe(folder, name)) {
    case FileSystem::Kind::missing:
        return 1;
    case FileSystem::Kind::file:
        break;
    // A link, pipe, folder or device with a run file's name is never written through, whatever
    // it points at, and nobody is asked.
    case FileSystem::Kind::link:
        refusal = FileSystem::CreateStatus::link;
        return -1;
    case FileSystem::Kind::pipe:
        refusal = FileSystem::CreateStatus::pipe;
        return -1;
    case FileSystem::Kind::folder:
        refusal = FileSystem::CreateStatus::folder;
        return -1;
    case FileSystem::Kind::other:
        refusal = FileSystem::CreateStatus::not_regular;
        return -1;
    }
    return owner != nullptr && owner->ask_overwrite(text(kTextInfo),
                                                    text(kTextOverwriteQuestion) + u"\r\n\"" + path + u"\"")
               ? 1
               : 0;
}

std::u16string explorer_program(const std::u16string& windows_folder) {
    return windows_folder + u"\\explorer.exe";
}

std::u16string explorer_parameters(const std::u16string& path) {
    std::u16string single;
    for (size_t i = 0; i < path.size(); ++i) {
        single += path[i];
        if (path[i] == u'\\' && i + 1 < path.size() && path[i + 1] == u'\\')
            ++i;
    }
    return u" /select,\"" + single + u"\",/e";
}

namespace {

// Everything the files of a run follow from.
struct RunPlan {
    int32_t files_c = 1;
    uint64_t file_bytes = 0;
    int32_t files_type = 0;
    std::u16string folder;
    std::u16string tag;
    uint32_t generator_seed = 0; // the generator's state before the run's first step
    uint64_t random_seed = 0;    // random data
    DataShape shape;             // random data's; plain for the other types
    RunOptions options;          // with `last` set (never 0)
};

// Logical chunks go out several at a time: one write per 256 KiB keeps the generated bytes in
// the processor's cache until the kernel copies them, and a cancel still acts within a
// millisecond or so.
constexpr size_t kBatchChunks = 64;
constexpr size_t kBatchBytes = kBatchChunks * kChunkBytes;

// Direct writes go out in blocks of 1 MiB, several of a file at once, each from a thread of its
// own at its own place (a lane): the device's queue stays busy without an asynchronous interface
// of the system. Four blocks in flight keep a disk as busy as deeper queues do; with several jobs
// the lanes are shared out, and past 8 jobs the blocks get smaller, so that never more than 8 MiB
// wait in buffers.
constexpr size_t kDirectBlockBytes = size_t{1} << 20;
constexpr int kDirectLanes = 4;
constexpr size_t kDirectBufferBytes = size_t{8} << 20;
constexpr size_t kDirectSmallestBlock = size_t{64} << 10;
static_assert(kDirectSmallestBlock % kDirectAlignment == 0 && kDirectAlignment % kChunkBytes == 0,
              "a direct block is whole chunks, and its tail rounds up to whole chunks");

// The reports of a run with several jobs come at this pace while the reporting job waits.
constexpr auto kReportInterval = std::chrono::milliseconds(100);

// How often the jobs look whether the folder's path still leads to the folder the run writes
// into: often enough that a swapped folder stops the run within a few files, seldom enough that
// many small files do not each pay a look-up of the whole path.
constexpr uint32_t kFolderCheckMs = 5;

// Memory for direct I/O, aligned to the alignment it needs; zeroed when it will hold zeros.
struct AlignedFree {
    void operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t(kDirectAlignment)); }
};
using AlignedBuffer = std::unique_ptr<uint8_t[], AlignedFree>;

AlignedBuffer aligned_buffer(size_t size, bool zeroed) {
    AlignedBuffer buffer(static_cast<uint8_t*>(::operator new[](size, std::align_val_t(kDirectAlignment))));
    if (zeroed)
        std::memset(buffer.get(), 0, size);
    return buffer;
}

// The bytes of one file, from any chunk on; quickest when each call goes on where the last one
// ended. Zeros leave the buffer alone: it was cleared when it was made and holds nothing else.
class FileContent {
public:
    FileContent(const RunPlan& plan, int32_t number)
        : type_(plan.files_type), shaped_(type_ == kRandomData && !plan.shape.plain()),
          random_(plan.random_seed, number),
          shaped_data_(plan.random_seed, plan.shape, plan.file_bytes, number),
          start_(type_ == kGeneratorData
                     ? generator_state_of_file(plan.generator_seed, plan.file_bytes, number)
                     : 0),
          state_(start_) {}

    void fill(uint64_t first, uint8_t* out, size_t chunks) {
        if (shaped_) {
            shaped_data_.fill(first, out, chunks);
        } else if (type_ == kRandomData) {
            random_.fill(first, out, chunks);
        } else if (type_ == kGeneratorData) {
            if (first != next_)
                state_ = lcg_jump(first * kChunkWords)(start_);
            lcg_fill(state_, out, chunks);
            next_ = first + chunks;
        }
    }

private:
    int32_t type_;
    bool shaped_;
    RandomFileData random_;
    ShapedFileData shaped_data_;
    uint32_t start_;
    uint32_t state_;
    uint64_t next_ = 0;
};

class Writer {
public:
    Writer(const RunPlan& plan, FileSystem& fs, FileSystem::Handle folder, RunView* view)
        : plan_(plan), fs_(fs), folder_(folder), view_(view), separator_(1, fs.separator()),
          head_(file_name_head(plan.files_type, plan.shape)), tail_(file_name_tail(plan.tag)),
          width_(number_width(plan.files_c)),
          total_(static_cast<double>(plan.file_bytes) * (plan.options.last - plan.options.first + 1)),
          running_reports_(view != nullptr && view->shows_running_reports()), next_(plan.options.first),
          limit_(plan.options.last + 1), folder_checked_(clock_ms()),
          states_(static_cast<size_t>(std::max(0, plan.options.last - plan.options.first + 1))) {
        const int32_t jobs = std::clamp(plan.options.jobs, 1, kMaxJobs);
        lanes_ = std::max(1, kDirectLanes / jobs);
        const size_t share = kDirectBufferBytes / static_cast<size_t>(jobs * lanes_);
        block_ = std::max(kDirectSmallestBlock,
                          std::min(kDirectBlockBytes, share / kDirectSmallestBlock * kDirectSmallestBlock));
        jobs_ = static_cast<int32_t>(std::min<int64_t>(jobs, static_cast<int64_t>(states_.size())));
    }

    int32_t run(RunOutcome& outcome);

private:
    // cut: cut short by a cancel, and kept under its own name, since the name with the ending
    // could not be given.
    enum State : uint8_t { untouched, created, complete, partial, cut, removed };

    // What one job keeps between its files: its buffers.
    struct Job {
        bool reporter = false;
        OpenRunFile* open_file = nullptr; // its slot in open_run_files
        std::unique_ptr<uint8_t[]> batch;
        std::vector<AlignedBuffer> lanes;
        uint64_t file_written = 0; // of the file being written
    };

    // How a file's writing ended.
    enum class End { complete, cancelled, abandoned, failed };

    void work(Job& job);
    bool write_file(int32_t number, Job& job);
    End write_buffered(FileSystem::Handle file, int32_t number, Job& job, FileSystem::WriteStatus& status);
    End write_direct(FileSystem::Handle file, int32_t number, Job& job, FileSystem::WriteStatus& status);
    // True when the file being written must not go on: the run stops, a file before it was
    // refused, or with fill another job has found the disk full.
    bool abandoned(int32_t number) const { return stop_ || full_ || number > limit_; }
    // A file that is not written ends the row at the one before it, as with one job: no job takes
    // a file after it, files after it in progress go, and the first such file's reason is shown
    // at the end (when `status` says one; a declined question says none).
    void refuse(int32_t number, FileSystem::CreateStatus status) {
        std::lock_guard lock(state_mutex_);
        if (number < limit_) {
            limit_ = number;
            refusal_ = status;
        }
    }
    // False, and the run stops, once the folder's path leads elsewhere than the folder the run
    // writes into. Looked at every few milliseconds, and at the end.
    bool folder_still_there(bool now) {
        const int32_t at = clock_ms();
        int32_t last = folder_checked_;
        if (!now && (static_cast<uint32_t>(at - last) < kFolderCheckMs ||
                     !folder_checked_.compare_exchange_strong(last, at)))
            return true;
        if (fs_.same_folder(folder_, plan_.folder))
            return true;
        fail(text(kTextFolderMoved), plan_.folder);
        return false;
    }
    // Zeros: any type that is neither generator nor random data.
    bool zeros() const { return plan_.files_type != kGeneratorData && plan_.files_type != kRandomData; }
    // All jobs write until they are out of files or one of them ends the run.
    void write_with_jobs(std::vector<Job>& jobs);
    void set_state(int32_t number, State state) {
        std::lock_guard lock(state_mutex_);
        states_[static_cast<size_t>(number - plan_.options.first)] = state;
    }
    std::u16string name_of(int32_t number) const {
        std::u16string name = head_;
        append_number(name, number, width_);
        return name + tail_;
    }
    std::u16string path_of(int32_t number) const { return plan_.folder + separator_ + name_of(number); }
    // The reporting job counts its file creations and chunks, one each; above `limit` a report.
    void tick(bool reporter, int limit) {
        if (!reporter || ++counter_ <= limit)
            return;
        counter_ = 0;
        report();
    }
    // A running report, for a front end that shows them.
    void report() {
        // An ending program's window may no longer answer.
        if (!running_reports_ || run_ending)
            return;
        std::lock_guard lock(view_mutex_);
        report_progress(static_cast<double>(written_.load()), total_, view_, 0);
    }
    // An error that stops the run; only the first one is shown.
    void fail(const std::u16string& message, const std::u16string& detail) {
        std::lock_guard lock(view_mutex_);
        if (stop_.exchange(true))
            return;
        if (view_ != nullptr)
            view_->show_error(text(kTextAttention), message + u"\r\n" + detail);
    }

    const RunPlan& plan_;
    FileSystem& fs_;
    const FileSystem::Handle folder_;
    RunView* const view_;
    const std::u16string separator_;
    const std::u16string head_;
    const std::u16string tail_;
    const int width_;
    const double total_;
    const bool running_reports_;
    int32_t jobs_ = 1;
    int lanes_ = 1;
    size_t block_ = kDirectBlockBytes; // bytes of a direct write

    std::atomic<int32_t> next_;     // the next file a job takes
    std::atomic<bool> full_{false}; // fill: a job has found the disk full
    std::atomic<int32_t> taken_{0}; // the highest file taken
    std::atomic<int32_t> limit_;    // the last file of the row a refusal leaves
    std::atomic<bool> stop_{false}; // an error ends the run
    std::atomic<int32_t> folder_checked_;
    std::atomic<bool> cancelled_{false}; // a job has seen the cancel
    std::atomic<bool> direct_refused_{false};
    std::atomic<uint64_t> written_{0};
    int counter_ = 0; // the reporting job's alone

    std::mutex view_mutex_; // questions, errors and reports go to the view one at a time
    std::mutex state_mutex_;
    std::vector<State> states_; // per file of the shard
    std::mutex done_mutex_;
    std::condition_variable done_signal_;
    int32_t working_ = 0;        // jobs still writing, under done_mutex_
    uint64_t partial_bytes_ = 0; // in files a cancel cut short, under state_mutex_
    FileSystem::CreateStatus refusal_ =
        FileSystem::CreateStatus::ok; // the refused file's, under state_mutex_
};

int32_t Writer::run(RunOutcome& outcome) {
    std::vector<Job> jobs(static_cast<size_t>(std::max(jobs_, 1)));
    jobs[0].reporter = true;
    // Every name of the run has the same length: the slots hold any of them without growing.
    const std::unique_ptr<OpenRunFile[]> open_files(new OpenRunFile[jobs.size()]);
    const size_t longest = to_utf8(path_of(plan_.options.last)).size() + kPartialSuffix.size();
    for (size_t j = 0; j < jobs.size(); ++j) {
        open_files[j].name.reserve(longest);
        open_files[j].partial.reserve(longest);
        jobs[j].open_file = &open_files[j];
    }
    open_run_file_count = 0;
    open_run_files = open_files.get();
    open_run_file_count = jobs.size();
    struct Unpublish {
        ~Unpublish() {
            open_run_file_count = 0;
            open_run_files = nullptr;
        }
    } unpublish;
    if (plan_.options.direct)
        fs_.set_direct(true);
    write_with_jobs(jobs);

    const int32_t first = plan_.options.first;
    const auto state_of = [&](int32_t number) -> State& {
        return states_[static_cast<size_t>(number - first)];
    };
    // With fill, the file a job found no room for may have lacked only the room that the other
    // jobs' files took; those were given up. The run goes on from the first file that is not
    // complete, by one job, as a run of one job would have written it: a complete file after that
    // one goes first, so that the files that fit are one unbroken row.
    if (full_ && !stop_ && !cancelled_ && limit_ > plan_.options.last && jobs.size() > 1) {
        int32_t gap = first;
        while (gap <= taken_ && state_of(gap) == complete)
            ++gap;
        for (int32_t number = gap + 1; number <= taken_; ++number)
            if (state_of(number) == complete && fs_.remove(folder_, name_of(number)))
                state_of(number) = removed;
        jobs.resize(1);
        next_ = gap;
        full_ = false;
        write_with_jobs(jobs);
    }

    // A refused file ends the row: complete files after it, which other jobs took before the
    // refusal came, go.
    const bool refused = limit_ <= plan_.options.last;
    if (refused) {
        for (int32_t number = limit_; number <= taken_; ++number)
            if (state_of(number) == complete && fs_.remove(folder_, name_of(number)))
                state_of(number) = removed;
        if (refusal_ != FileSystem::CreateStatus::ok) {
            std::lock_guard lock(view_mutex_);
            if (!stop_.exchange(true))
                show_create_error(view_, refusal_, path_of(limit_), plan_.folder);
        }
        stop_ = true;
    }
    // Whatever the run wrote went into the folder it opened; where the folder's path leads
    // elsewhere by now, the user must hear so, and the run ends as stopped.
    if (!stop_ && !run_ending)
        folder_still_there(true);

    outcome.disk_full = full_ && !stop_;
    outcome.direct_refused = direct_refused_;
    int32_t shown = 0; // the last file there is: complete, or cut short by a cancel
    for (int32_t number = first; number <= taken_; ++number) {
        const State state = state_of(number);
        if (state == complete) {
            ++outcome.files_written;
            outcome.bytes_written += plan_.file_bytes;
            if (outcome.first == 0)
                outcome.first = number;
            outcome.last = number;
        }
        if (state == complete || state == partial || state == cut)
            shown = number;
    }
    outcome.bytes_written += partial_bytes_;
    if (stop_)
        return -1;
    // A run cancelled because the program ends shows neither its summary nor its last file.
    if (run_ending)
        return 1;

    // A run that the full disk ended did what it could: its summary counts what fits.
    const double done =
        outcome.disk_full ? static_cast<double>(outcome.bytes_written) : static_cast<double>(written_);
    report_progress(done, outcome.disk_full ? done : total_, view_, 1);
    if (view_ != nullptr && shown != 0)
        view_->reveal(path_of(shown) + std::u16string(state_of(shown) == partial ? kPartialSuffix : u""));
    return 1;
}

void Writer::write_with_jobs(std::vector<Job>& jobs) {
    std::vector<std::thread> threads;
    working_ = static_cast<int32_t>(jobs.size());
    for (size_t j = 1; j < jobs.size(); ++j) {
        try {
            threads.emplace_back([this, &job = jobs[j]] { work(job); });
        } catch (const std::system_error&) {
            // Fewer jobs write the same files.
            std::lock_guard lock(done_mutex_);
            --working_;
        }
    }
    work(jobs[0]);
    // The reporting job, out of files, reports the others' progress until they are done.
    {
        std::unique_lock lock(done_mutex_);
        while (!done_signal_.wait_for(lock, kReportInterval, [this] { return working_ == 0; })) {
            lock.unlock();
            report();
            lock.lock();
        }
    }
    for (std::thread& thread : threads)
        thread.join();
}

void Writer::work(Job& job) {
    for (;;) {
        if (stop_ || cancelled_)
            break;
        const int32_t number = next_.fetch_add(1);
        if (number > plan_.options.last || full_ || number > limit_ || !folder_still_there(false))
            break;
        int32_t taken = taken_;
        while (number > taken && !taken_.compare_exchange_weak(taken, number)) {
        }
        if (!write_file(number, job))
            break;
        // Also after files that take no writes: a cancel acts after the file it came during.
        if (run_cancel) {
            cancelled_ = true;
            break;
        }
    }
    std::lock_guard lock(done_mutex_);
    --working_;
    done_signal_.notify_all();
}

// False when the job must end: the run stops, is cancelled or has found the disk full.
bool Writer::write_file(int32_t number, Job& job) {
    const std::u16string name = name_of(number);
    // The names a signal handler may need, made before the file is (see OpenRunFile).
    OpenRunFile& open_file = *job.open_file;
    open_file.name = to_utf8(path_of(number));
    open_file.partial = open_file.name + to_utf8(kPartialSuffix);
    struct Closed {
        OpenRunFile& file;
        ~Closed() { file.state = OpenRunFile::kNone; }
    } closed_at_end{open_file};
    // A name nobody has taken needs no question; anything else goes the long way.
    FileSystem::CreateStatus made;
    open_file.state = OpenRunFile::kOpen;
    FileSystem::Handle file = fs_.create_new_file(folder_, name, made);
    if (file == FileSystem::kNoHandle && made == FileSystem::CreateStatus::exists) {
        // The file there is another's until it is overwritten.
        open_file.state = OpenRunFile::kNone;
        std::unique_lock lock(view_mutex_);
        // A file before this one was refused or declined: this one is not written, and nobody is
        // asked about it.
        if (stop_ || number > limit_)
            return false;
        FileSystem::CreateStatus refusal;
        const int32_t answer = confirm_overwrite(folder_, name, path_of(number), view_, fs_, refusal);
        if (answer != 1) {
            refuse(number, refusal);
            return false;
        }
        open_file.state = OpenRunFile::kOpen;
        file = fs_.create_file(folder_, name, made);
    }
    if (file == FileSystem::kNoHandle) {
        // With fill, a disk without room for another file entry is as full as one without room
        // for its bytes.
        if (made == FileSystem::CreateStatus::disk_full && plan_.options.fill) {
            full_ = true;
            return false;
        }
        // What has the name, or the system, refuses this file: the files before it still are
        // written.
        if (made != FileSystem::CreateStatus::disk_full && made != FileSystem::CreateStatus::failed) {
            refuse(number, made);
            return false;
        }
        std::unique_lock lock(view_mutex_);
        if (!stop_.exchange(true))
            show_create_error(view_, made, path_of(number), plan_.folder);
        return false;
    }
    set_state(number, created);
    tick(job.reporter, 10);

    FileSystem::WriteStatus status = FileSystem::WriteStatus::ok;
    const bool direct = plan_.options.direct && fs_.direct(file);
    if (plan_.options.direct && !direct)
        direct_refused_ = true;
    End end = direct ? write_direct(file, number, job, status) : write_buffered(file, number, job, status);
    const FileSystem::WriteStatus closed = fs_.close(file);
    if (end == End::complete && closed != FileSystem::WriteStatus::ok) {
        status = closed;
        end = End::failed;
    }
    const std::u16string partial_name = name + std::u16string(kPartialSuffix);
    switch (end) {
    case End::complete:
        open_file.state = OpenRunFile::kNone;
        // A cut copy of this file that an earlier, cancelled run left is out of date now.
        fs_.remove(folder_, partial_name);
        set_state(number, complete);
        return true;
    case End::cancelled: {
        // Cancelled part way: the bytes written stay, under a name that no complete file has, so
        // a one-file run cut short cannot pass for a whole one. Where the name cannot be changed,
        // the file keeps its own, and the user hears that it is cut short (a check finds it too
        // short).
        cancelled_ = true;
        const bool renamed = fs_.rename(folder_, name, partial_name);
        set_state(number, renamed ? partial : cut);
        {
            std::lock_guard lock(state_mutex_);
            partial_bytes_ += job.file_written;
        }
        if (!renamed && view_ != nullptr && !run_ending) {
            std::lock_guard lock(view_mutex_);
            view_->show_error(text(kTextAttention), text(kTextCutFileKeptName) + u"\r\n" + path_of(number));
        }
        return false;
    }
    case End::abandoned:
    case End::failed:
        break;
    }
    // A short file must not pass for a whole one: it goes, the complete ones stay.
    fs_.remove(folder_, name);
    set_state(number, removed);
    if (end == End::abandoned)
        return false;
    if (status == FileSystem::WriteStatus::disk_full && plan_.options.fill) {
        full_ = true;
        return false;
    }
    fail(text(status == FileSystem::WriteStatus::disk_full ? kTextDiskFull : kTextTargetNotOpened),
         path_of(number));
    return false;
}

Writer::End Writer::write_buffered(FileSystem::Handle file, int32_t number, Job& job,
                                   FileSystem::WriteStatus& status) {
    if (!job.batch)
        job.batch.reset(zeros() ? new uint8_t[kBatchBytes]() : new uint8_t[kBatchBytes]);
    FileContent content(plan_, number);
    uint64_t chunk = 0;
    job.file_written = 0;
    for (uint64_t due = plan_.file_bytes; due > 0;) {
        const size_t chunks =
            static_cast<size_t>(std::min<uint64_t>(kBatchChunks, (due + kChunkBytes - 1) / kChunkBytes));
        const size_t bytes = static_cast<size_t>(std::min<uint64_t>(due, chunks * kChunkBytes));
        content.fill(chunk, job.batch.get(), chunks);
        chunk += chunks;
        status = fs_.write(file, job.batch.get(), bytes);
        if (status != FileSystem::WriteStatus::ok)
            return End::failed;
        due -= bytes;
        job.file_written += bytes;
        // Reports keep the cadence of one count per logical chunk.
        for (size_t k = 0; k < chunks; ++k) {
            written_ += std::min(kChunkBytes, bytes - k * kChunkBytes);
            tick(job.reporter, 1000);
        }
        // A cancel that comes with the file's last write leaves the file whole.
        if (run_cancel && due > 0)
            return End::cancelled;
        if (abandoned(number) && due > 0)
            return End::abandoned;
    }
    return End::complete;
}

Writer::End Writer::write_direct(FileSystem::Handle file, int32_t number, Job& job,
                                 FileSystem::WriteStatus& status) {
    const uint64_t bytes = plan_.file_bytes;
    job.file_written = 0;
    // The last block is written whole, up to the alignment, and the file cut back afterwards.
    const uint64_t padded = (bytes + kDirectAlignment - 1) / kDirectAlignment * kDirectAlignment;
    // An empty file has nothing to write (and, as without direct I/O, no cancel to look at).
    if (padded == 0)
        return End::complete;
    status = fs_.set_length(file, padded, true);
    if (status != FileSystem::WriteStatus::ok)
        return End::failed;
    const uint64_t blocks = (padded + block_ - 1) / block_;
    const int lanes = static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(lanes_), blocks));
    while (job.lanes.size() < static_cast<size_t>(lanes))
        job.lanes.push_back(aligned_buffer(block_, zeros()));

    std::atomic<uint64_t> next{0};
    std::atomic<bool> halt{false};
    std::atomic<bool> cancelled{false};
    std::mutex error_mutex;
    FileSystem::WriteStatus error = FileSystem::WriteStatus::ok;
    const auto lane = [&](int index) {
        FileContent content(plan_, number);
        uint8_t* const buffer = job.lanes[static_cast<size_t>(index)].get();
        for (uint64_t block = next.fetch_add(1); block < blocks; block = next.fetch_add(1)) {
            const uint64_t offset = block * block_;
            const size_t size = static_cast<size_t>(std::min<uint64_t>(block_, padded - offset));
            content.fill(offset / kChunkBytes, buffer, size / kChunkBytes);
            const FileSystem::WriteStatus wrote = fs_.write_at(file, offset, buffer, size);
            if (wrote != FileSystem::WriteStatus::ok) {
                std::lock_guard lock(error_mutex);
                if (error == FileSystem::WriteStatus::ok)
                    error = wrote;
                halt = true;
                break;
            }
            const uint64_t useful = std::min<uint64_t>(size, bytes - offset);
            written_ += useful;
            if (index == 0)
                for (uint64_t k = 0; k < (useful + kChunkBytes - 1) / kChunkBytes; ++k)
                    tick(job.reporter, 1000);
            if (run_cancel)
                cancelled = true;
            if (cancelled || halt || abandoned(number)) {
                halt = true;
                break;
            }
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < lanes; ++i) {
        try {
            helpers.emplace_back(lane, i);
        } catch (const std::system_error&) {
            break; // fewer lanes write the same blocks
        }
    }
    lane(0);
    for (std::thread& helper : helpers)
        helper.join();

    if (error != FileSystem::WriteStatus::ok) {
        status = error;
        return End::failed;
    }
    if (abandoned(number))
        return End::abandoned;
    // Every block taken has been written: the file holds all blocks before `next`.
    const uint64_t length = std::min(bytes, std::min(next.load(), blocks) * block_);
    if (length != padded) {
        status = fs_.set_length(file, length, false);
        if (status != FileSystem::WriteStatus::ok)
            return End::failed;
    }
    job.file_written = length;
    return cancelled && length < bytes ? End::cancelled : End::complete;
}

} // namespace

uint32_t generator_state_of_file(uint32_t run_seed, uint64_t file_bytes, int32_t number) {
    const uint64_t steps_per_file = (file_bytes + kChunkBytes - 1) / kChunkBytes * kChunkWords;
    return lcg_jump(steps_per_file * static_cast<uint64_t>(number - 1))(run_seed);
}

int32_t generation_run(const GenerationSettings& settings, FileSystem& fs,
                       const std::optional<RunSeeds>& seeds, const RunOptions& options, RunOutcome* outcome) {
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
    const int32_t count = settings.files_c;

    // Refused before anything is created.
    if (const std::u16string problem = settings_problem(settings, fs); !problem.empty()) {
        if (view != nullptr)
            view->show_error(text(kTextAttention), problem);
        return -1;
    }

    FileSystem::CreateStatus opened;
    const FileSystem::Handle folder = fs.open_folder(settings.Folder, opened);
    if (folder == FileSystem::kNoHandle) {
        show_target_error(view, settings.Folder);
        return -1;
    }
    RunPlan plan;
    plan.files_c = count;
    plan.file_bytes = static_cast<uint64_t>(settings.files_size) * 1024;
    plan.files_type = settings.files_type;
    plan.folder = settings.Folder;
    plan.tag = tag;
    plan.generator_seed = generator_seed;
    plan.random_seed = random_seed;
    plan.shape = shape;
    plan.options = options;
    plan.options.first = std::max(options.first, 1);
    plan.options.last = options.last == 0 ? count : std::min(options.last, count);
    run_start_clock = clock_ms();
    done.tag = tag;
    // The outcome's time is measured finer than the progress clock's milliseconds: a run of a few
    // small files takes less than one, and its rate needs a time that is not zero.
    const auto started = std::chrono::steady_clock::now();
    const auto stop_clock = [&done, started] {
        done.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    Writer writer(plan, fs, folder, view);
    const int32_t result = writer.run(done);
    stop_clock();
    fs.close_folder(folder);
    return result;
}

void set_controls_enabled(RunView* view, bool enable) {
    if (view != nullptr)
        view->set_controls_enabled(enable, text(enable ? kTextStart : kTextCancel));
}

int32_t generation_thread(const GenerationSettings& settings, FileSystem& fs,
                          const std::optional<RunSeeds>& seeds, const RunOptions& options,
                          RunOutcome* outcome) {
    const int32_t result = generation_run(settings, fs, seeds, options, outcome);
    // An ending program's window may no longer answer: the run shows it nothing more.
    if (!run_ending) {
        if (run_cancel && settings.owner != nullptr) {
            settings.owner->set_upper_line(text(kTextCancelled));
            settings.owner->set_lower_line(u"");
        }
        set_controls_enabled(settings.owner, true);
    }
    run_busy = false;
    return result;
}

bool finish_busy_run(int32_t milliseconds, const std::function<void(int32_t)>& pause) {
    if (!run_busy)
        return true;
    run_ending = true;
    run_cancel = true;
    // A bounded wait: the worker may be showing a question nobody will answer any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (run_busy && std::chrono::steady_clock::now() < deadline) {
        if (pause)
            pause(10);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !run_busy;
}

bool ask_cancel() {
    if (!run_busy)
        return false;
    RunView* const view = generation_settings.owner;
    if (view != nullptr && view->ask_cancel(text(kTextCancelQuestion)))
        run_cancel = true;
    return true;
}

void start_or_cancel(FileSystem& fs, const std::optional<RunSeeds>& seeds, const RunOptions& options) {
    set_controls_enabled(generation_settings.owner, false);
    if (ask_cancel())
        return;
    run_cancel = false;
    run_busy = true;
    // The worker gets its own copy, taken here: the page may write the settings again while the
    // run is busy.
    try {
        std::thread([settings = generation_settings, &fs, seeds, options] {
            generation_thread(settings, fs, seeds, options);
        }).detach();
    } catch (const std::system_error&) {
        run_busy = false;
        set_controls_enabled(generation_settings.owner, true);
    }
}
