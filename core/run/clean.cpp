// Removing the runs of a folder, entry by entry through the folder's handle.
#include "core/run/clean.h"

#include <map>
#include <set>
#include <tuple>

#include "core/run/file_system.h"
#include "core/run/names.h"

namespace {

// A listing that removes as it goes may, by the letter of POSIX, miss entries that were there
// all along; the folder is listed again while a listing removed something, a few times at most so
// that a run still writing into the folder cannot keep the clean going.
constexpr int kMostListings = 4;

using RunKey = std::tuple<int32_t, std::u16string, int32_t, bool, int32_t, int32_t, int32_t, int64_t>;

RunKey key_of(const RunFileName& name) {
    const RunMarks& marks = name.marks;
    return {name.files_type,      name.tag,           name.width,       marks.fill,
            marks.shape.compress, marks.shape.dedupe, marks.shape.unit, marks.per_folder};
}

// What a refusal of a name says is there; `missing` for a status that refuses nothing by its kind.
FileSystem::Kind refused_as(FileStatus::Kind kind) {
    switch (kind) {
    case FileStatus::Kind::link:
        return FileSystem::Kind::link;
    case FileStatus::Kind::folder:
        return FileSystem::Kind::folder;
    case FileStatus::Kind::pipe:
    case FileStatus::Kind::not_regular:
        return FileSystem::Kind::other;
    default:
        return FileSystem::Kind::missing;
    }
}

class Cleaner {
public:
    Cleaner(FileSystem& fs, const CleanOptions& options, CleanFacts& facts)
        : fs_(fs), options_(options), facts_(facts) {}

    // Takes the run files out of one folder and, below it, out of the folders runs make. True
    // when nothing is left in it that stays (with a dry run: would be nothing).
    bool empty_folder(FileSystem::Handle folder, const std::u16string& path, std::string& error);

    std::vector<CleanedRun> runs() {
        std::vector<CleanedRun> ordered;
        ordered.reserve(runs_.size());
        for (auto& [key, run] : runs_)
            ordered.push_back(std::move(run));
        return ordered;
    }

private:
    bool cancelled() const { return options_.cancel != nullptr && options_.cancel->load(); }
    // The row of the run the file belongs to; the files of a run mostly come one after another.
    CleanedRun& run_of(const RunFileName& parsed);
    // One run file: counted, and removed unless this is a dry run. False when it stays.
    bool take(FileSystem::Handle folder, const std::u16string& path, const std::u16string& name,
              const RunFileName& parsed);
    void leave(FileSystem::Kind kind, bool run_name);
    // A run's folder: emptied, then removed when that left nothing in it. False when it stays.
    bool take_folder(FileSystem::Handle folder, const std::u16string& path, const std::u16string& name);

    FileSystem& fs_;
    const CleanOptions& options_;
    CleanFacts& facts_;
    std::map<RunKey, CleanedRun> runs_;
    CleanedRun* last_run_ = nullptr;
};

CleanedRun& Cleaner::run_of(const RunFileName& parsed) {
    if (last_run_ != nullptr && last_run_->files_type == parsed.files_type &&
        last_run_->width == parsed.width && last_run_->marks == parsed.marks && last_run_->tag == parsed.tag)
        return *last_run_;
    auto [at, added] = runs_.try_emplace(key_of(parsed));
    CleanedRun& run = at->second;
    if (added) {
        run.files_type = parsed.files_type;
        run.marks = parsed.marks;
        run.tag = parsed.tag;
        run.width = parsed.width;
    }
    last_run_ = &run;
    return run;
}

bool Cleaner::take(FileSystem::Handle folder, const std::u16string& path, const std::u16string& name,
                   const RunFileName& parsed) {
    uint64_t size = 0;
    const FileStatus status =
        options_.dry_run ? fs_.file_size(folder, name, size) : fs_.remove_sized(folder, name, size);
    if (!status.ok()) {
        // No longer a regular file (or, where the listing could not tell, never one): it stays, and
        // makes no run's row. Otherwise gone since the listing, with nothing left to take, or a
        // file the system would not remove.
        const FileSystem::Kind now = refused_as(status.kind);
        if (now != FileSystem::Kind::missing) {
            leave(now, true);
            return false;
        }
        if (fs_.probe(folder, name) == FileSystem::Kind::missing)
            return true;
        ++run_of(parsed).failed;
        ++facts_.failed;
        return false;
    }
    CleanedRun& run = run_of(parsed);
    if (run.files == 0 || parsed.number < run.first)
        run.first = parsed.number;
    if (run.files == 0 || parsed.number > run.last)
        run.last = parsed.number;
    ++run.files;
    run.bytes += size;
    ++facts_.files;
    facts_.bytes += size;
    if (parsed.partial) {
        ++run.partial;
        ++facts_.partial;
    }
    if (options_.each_file)
        options_.each_file(path + name, size);
    return true;
}

void Cleaner::leave(FileSystem::Kind kind, bool run_name) {
    LeftAlone& left = facts_.left;
    switch (kind) {
    case FileSystem::Kind::file:
        ++left.files;
        break;
    case FileSystem::Kind::link:
        ++left.links;
        break;
    case FileSystem::Kind::folder:
        ++left.folders;
        break;
    default:
        ++left.other;
        break;
    }
    left.run_names += run_name;
}

bool Cleaner::take_folder(FileSystem::Handle folder, const std::u16string& path, const std::u16string& name) {
    FileSystem::Handle inner = FileSystem::kNoHandle;
    if (const FileStatus opened = fs_.open_subfolder(folder, name, inner); !opened.ok()) {
        leave(opened.kind == FileStatus::Kind::link ? FileSystem::Kind::link : FileSystem::Kind::folder,
              false);
        return false;
    }
    std::string error;
    const bool emptied = empty_folder(inner, path + name + fs_.separator(), error);
    fs_.close_folder(inner);
    // Without a dry run the system has the last word: a folder that still holds anything stays.
    if (!error.empty() || (options_.dry_run ? !emptied : !fs_.remove_folder(folder, name).ok())) {
        leave(FileSystem::Kind::folder, false);
        return false;
    }
    ++facts_.folders;
    return true;
}

bool Cleaner::empty_folder(FileSystem::Handle folder, const std::u16string& path, std::string& error) {
    bool stays = false;
    std::set<std::u16string> seen_failing; // run files that would not go: counted once
    std::set<std::u16string> folders_done;
    for (int listing = 0; listing < kMostListings && !cancelled(); ++listing) {
        bool removed = false;
        std::vector<std::u16string> run_folders;
        std::u16string name;
        const FileStatus listed = fs_.list(folder, [&](std::u16string_view entry, FileSystem::Kind kind) {
            if (cancelled())
                return;
            name.assign(entry);
            if (kind == FileSystem::Kind::folder && options_.run_folder && !entry.empty() &&
                options_.run_folder(entry)) {
                if (folders_done.insert(name).second)
                    run_folders.push_back(name);
                return;
            }
            const std::optional<RunFileName> parsed =
                entry.empty() ? std::nullopt : parse_run_file_name(entry);
            if (parsed && kind == FileSystem::Kind::file) {
                if (seen_failing.count(name) != 0)
                    return;
                if (take(folder, path, name, *parsed))
                    removed = true;
                else {
                    seen_failing.insert(name);
                    stays = true;
                }
            } else if (listing == 0) {
                // Not a run's: counted once, on the first listing.
                leave(kind, parsed.has_value());
                stays = true;
            }
        });
        if (!listed.ok()) {
            error = listed.message.empty() ? "the folder could not be listed" : listed.message;
            return false;
        }
        // The folders after the listing, so that no listing is open while another one runs.
        for (const std::u16string& run_folder : run_folders) {
            if (cancelled())
                break;
            if (take_folder(folder, path, run_folder))
                removed = true;
            else
                stays = true;
        }
        if (options_.dry_run || !removed)
            break;
    }
    return !stays && !cancelled();
}

} // namespace

CleanFacts clean_folder(FileSystem& fs, const std::u16string& folder, const CleanOptions& options) {
    CleanFacts facts;
    FileSystem::Handle top = FileSystem::kNoHandle;
    if (const FileStatus opened = fs.open_existing_folder(folder, top); !opened.ok()) {
        facts.error = opened.message.empty() ? "the folder could not be opened" : opened.message;
        return facts;
    }
    std::string error;
    Cleaner cleaner(fs, options, facts);
    cleaner.empty_folder(top, u"", error);
    fs.close_folder(top);
    if (!error.empty())
        facts.error = error;
    facts.cancelled = options.cancel != nullptr && options.cancel->load();
    facts.runs = cleaner.runs();
    return facts;
}
