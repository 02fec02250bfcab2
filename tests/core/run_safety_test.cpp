// What a run promises when someone works against it: nothing outside its folder is touched (not
// through a swapped folder, not through a hard link), a refusal leaves the row before it, and a
// cancel's cut file is never lost.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/names.h"
#include "core/run/run.h"
#include "tests/core/run_fixtures.h"
#include "tests/core/shared_state.h"

namespace {

constexpr RunSeeds kSeeds{77, 0xBEEF};
const std::u16string kTag = run_tag(kGeneratorData, kSeeds);
const std::vector<uint8_t> kPrecious{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'};

// The platform's file system with a hook that sees every file made, from any job.
class WatchedFileSystem : public PlatformFileSystem {
public:
    std::function<void(int made)> on_create;

    FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) override {
        return seen(PlatformFileSystem::create_file(folder, name, file));
    }
    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override {
        return seen(PlatformFileSystem::create_new_file(folder, name, file));
    }

private:
    FileStatus seen(FileStatus status) {
        if (status.ok() && on_create) {
            std::lock_guard lock(mutex_);
            on_create(++made_);
        }
        return status;
    }
    std::mutex mutex_;
    int made_ = 0;
};

// The platform's file system on which the writes of one file take a while.
class SlowFileSystem : public PlatformFileSystem {
public:
    explicit SlowFileSystem(std::u16string slow_name) : slow_name_(std::move(slow_name)) {}

    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override {
        FileStatus status = PlatformFileSystem::create_new_file(folder, name, file);
        if (status.ok() && name == slow_name_)
            slow_ = file;
        return status;
    }
    FileStatus write(Handle file, const uint8_t* data, size_t size) override {
        if (file == slow_)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return PlatformFileSystem::write(file, data, size);
    }
    FileStatus close(Handle file) override {
        if (file == slow_)
            slow_ = kNoHandle;
        return PlatformFileSystem::close(file);
    }

private:
    const std::u16string slow_name_;
    std::atomic<Handle> slow_{kNoHandle};
};

class RunSafety : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
        run_cancel = false;
    }
    void TearDown() override {
        run_cancel = false;
        SharedState::TearDown();
    }

    GenerationSettings settings(const std::filesystem::path& folder, int32_t count, int32_t size_kb,
                                RunView& view) {
        GenerationSettings s;
        s.files_c = count;
        s.files_size = size_kb;
        s.Folder = folder.u16string();
        s.owner = &view;
        return s;
    }
    static std::filesystem::path file(const std::filesystem::path& folder, int32_t count, int32_t number) {
        return folder / std::filesystem::path(file_name(0, count, number, kTag));
    }
    static std::u16string error(TextId message, const std::filesystem::path& detail) {
        return u"error Attention: " + text(message) + u"\r\n" + detail.u16string();
    }

    ScratchFolder scratch;
};

std::vector<std::filesystem::path> names_in(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Ways to put something else at the folder's path while a run writes into it. Each returns false
// where this system cannot do it.
struct Swap {
    const char* what;
    std::function<bool(const std::filesystem::path& folder, const std::filesystem::path& other)> swap;
};

#ifdef _WIN32
const Swap kSwaps[] = {
    {"the folder renamed and a new one made at its name",
     [](const std::filesystem::path& folder, const std::filesystem::path&) {
         return MoveFileW(folder.c_str(), (folder.wstring() + L".old").c_str()) &&
                CreateDirectoryW(folder.c_str(), nullptr);
     }},
    {"the folder's parent renamed and new ones made at their names",
     [](const std::filesystem::path& folder, const std::filesystem::path&) {
         const std::filesystem::path parent = folder.parent_path();
         return MoveFileW(parent.c_str(), (parent.wstring() + L".old").c_str()) &&
                CreateDirectoryW(parent.c_str(), nullptr) && CreateDirectoryW(folder.c_str(), nullptr);
     }},
};
#else
const Swap kSwaps[] = {
    {"the folder renamed and a link to the other folder put at its name",
     [](const std::filesystem::path& folder, const std::filesystem::path& other) {
         return ::rename(folder.c_str(), (folder.string() + ".old").c_str()) == 0 &&
                ::symlink(other.c_str(), folder.c_str()) == 0;
     }},
    {"the folder exchanged with a link to the other folder in one step",
     [](const std::filesystem::path& folder, const std::filesystem::path& other) {
         const std::string link = folder.string() + ".link";
         return ::symlink(other.c_str(), link.c_str()) == 0 &&
                ::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE) == 0;
     }},
    {"the folder's parent replaced by a link to the other folder's parent",
     [](const std::filesystem::path& folder, const std::filesystem::path& other) {
         const std::filesystem::path parent = folder.parent_path();
         std::filesystem::create_directory(other.parent_path() / "out");
         return ::rename(parent.c_str(), (parent.string() + ".old").c_str()) == 0 &&
                ::symlink(other.parent_path().c_str(), parent.c_str()) == 0;
     }},
    {"the folder renamed and a new, empty one made at its name",
     [](const std::filesystem::path& folder, const std::filesystem::path&) {
         return ::rename(folder.c_str(), (folder.string() + ".old").c_str()) == 0 &&
                ::mkdir(folder.c_str(), 0777) == 0;
     }},
};
#endif

TEST_F(RunSafety, AFolderSwappedDuringARunWithJobsStopsItAndNothingGoesElsewhere) {
    constexpr int32_t kCount = 2000;
    for (const Swap& swap : kSwaps) {
        SCOPED_TRACE(swap.what);
        ScratchFolder place;
        // The folder and the other one each in a folder of their own, so that also a level above
        // the folder can be swapped.
        const std::filesystem::path out = place.path() / "outer" / "out";
        const std::filesystem::path other = place.path() / "elsewhere" / "other";
        std::filesystem::create_directories(out);
        std::filesystem::create_directories(other);
        // A file of the other folder with a name the run writes later.
        std::ofstream(file(other, kCount, 1500), std::ios::binary)
            .write(reinterpret_cast<const char*>(kPrecious.data()),
                   static_cast<std::streamsize>(kPrecious.size()));

        WatchedFileSystem fs;
        bool swapped = false;
        fs.on_create = [&](int made) {
            if (made == 100)
                swapped = swap.swap(out, other);
        };
        RecordingView view;
        view.overwrite_answer = true;
        RunOptions options;
        options.jobs = 4;
        GenerationSettings s = settings(out, kCount, 1, view);
        const Ended result = generation_run(s, fs, kSeeds, options);
        if (!swapped) {
#ifdef _WIN32
            // A folder the run holds open cannot be renamed on Windows: nothing to redirect.
            std::printf("[   NOTE   ] %s: refused while the run holds the folder\n", swap.what);
            EXPECT_EQ(result, Ended::done);
            EXPECT_EQ(files_in(out).size(), static_cast<size_t>(kCount));
            continue;
#else
            FAIL() << "the swap could not be made";
#endif
        }
        EXPECT_EQ(result, Ended::failed);
        EXPECT_EQ(view.count(u"error "), 1);
        EXPECT_EQ(view.count(error(kTextFolderMoved, out)), 1) << "the error names the folder";
        EXPECT_EQ(view.count(u"reveal"), 0);
        std::vector<std::filesystem::path> elsewhere;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(place.path() / "elsewhere"))
            if (!entry.is_directory())
                elsewhere.push_back(entry.path());
        EXPECT_EQ(elsewhere, std::vector<std::filesystem::path>{file(other, kCount, 1500)})
            << "nothing made in the other folders";
        EXPECT_EQ(read_file(file(other, kCount, 1500)), kPrecious) << "nothing overwritten there";
    }
}

// Something outside the folder that shares its data with a run file's name: overwriting the name
// gives it a new file, and the other name keeps its bytes.
TEST_F(RunSafety, OverwritingAHardLinkLeavesTheOtherNamesBytes) {
    const struct {
        const char* what;
        bool direct;
        int32_t jobs;
    } cases[] = {{"buffered", false, 1}, {"direct", true, 1}, {"buffered, 3 jobs", false, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder place;
        const std::filesystem::path out = place.path() / "out";
        std::filesystem::create_directory(out);
        const std::filesystem::path victim = place.path() / "victim";
        std::ofstream(victim, std::ios::binary)
            .write(reinterpret_cast<const char*>(kPrecious.data()),
                   static_cast<std::streamsize>(kPrecious.size()));
        std::error_code linked;
        std::filesystem::create_hard_link(victim, file(out, 3, 2), linked);
        if (linked) {
            GTEST_SKIP() << "no hard links here: " << linked.message();
        }
        PlatformFileSystem fs;
        RecordingView view;
        view.overwrite_answer = true;
        RunOptions options;
        options.direct = c.direct;
        options.jobs = c.jobs;
        ASSERT_EQ(generation_run(settings(out, 3, 8, view), fs, kSeeds, options), Ended::done);
        EXPECT_EQ(view.count(u"ask "), 1);
        EXPECT_EQ(read_file(victim), kPrecious) << "the other name keeps its bytes";
        EXPECT_EQ(std::filesystem::hard_link_count(victim), 1u);
        for (int32_t n = 1; n <= 3; ++n)
            EXPECT_EQ(std::filesystem::file_size(file(out, 3, n)), 8192u);
    }
}

// What stands at file 5 of a run with several jobs: the run keeps exactly files 1 to 4, as one job
// would, and nothing after them.
struct Obstacle {
    const char* what;
    TextId reason; // the error's text; kTextAttention: no error (a declined question)
    std::function<bool(const std::filesystem::path& at)> make;
};

const Obstacle kObstacles[] = {
    {"a folder", kTextRefusedFolder,
     [](const std::filesystem::path& at) { return std::filesystem::create_directory(at); }},
    {"a regular file, the overwrite declined", kTextAttention,
     [](const std::filesystem::path& at) {
         std::ofstream(at, std::ios::binary) << "old";
         return true;
     }},
#ifndef _WIN32
    {"a pipe", kTextRefusedPipe,
     [](const std::filesystem::path& at) { return ::mkfifo(at.c_str(), 0666) == 0; }},
    {"a link", kTextRefusedLink,
     [](const std::filesystem::path& at) { return ::symlink("elsewhere", at.c_str()) == 0; }},
#endif
};

TEST_F(RunSafety, ARefusalKeepsTheUnbrokenRowBeforeItWithAnyNumberOfJobs) {
    constexpr int32_t kCount = 60;
    for (const Obstacle& obstacle : kObstacles) {
        for (const int32_t jobs : {1, 4, 8}) {
            SCOPED_TRACE(std::string(obstacle.what) + ", jobs " + std::to_string(jobs));
            ScratchFolder folder;
            const std::filesystem::path at = file(folder.path(), kCount, 5);
            ASSERT_TRUE(obstacle.make(at));
            const auto kind = std::filesystem::symlink_status(at).type();
            // File 4 is still being written when another job comes to file 5.
            SlowFileSystem fs(file_name(0, kCount, 4, kTag));
            RecordingView view;
            view.overwrite_answer = false;
            RunOptions options;
            options.jobs = jobs;
            RunOutcome outcome;
            EXPECT_EQ(
                generation_run(settings(folder.path(), kCount, 512, view), fs, kSeeds, options, &outcome),
                obstacle.reason == kTextAttention ? Ended::declined : Ended::failed);
            std::vector<std::filesystem::path> expected;
            for (int32_t n = 1; n <= 5; ++n)
                expected.push_back(file(folder.path(), kCount, n).filename());
            EXPECT_EQ(names_in(folder.path()), expected) << "files 1 to 4, and what stands at 5";
            for (int32_t n = 1; n <= 4; ++n)
                EXPECT_EQ(std::filesystem::file_size(file(folder.path(), kCount, n)), 512u * 1024);
            EXPECT_EQ(std::filesystem::symlink_status(at).type(), kind) << "what stands at 5 stays";
            EXPECT_EQ(outcome.files_written, 4);
            EXPECT_EQ(outcome.last, 4);
            EXPECT_EQ(view.count(u"ask "), obstacle.reason == kTextAttention ? 1 : 0)
                << "one question at most";
            if (obstacle.reason == kTextAttention) {
                EXPECT_EQ(view.count(u"error "), 0);
            } else {
                EXPECT_EQ(view.events().back(), error(obstacle.reason, at));
            }
        }
    }
}

// A run that writes a file whole removes the cut copy a cancelled run left under the name with the
// ending; only a regular file: a link or a folder with that name stays as it is.
TEST_F(RunSafety, ARunOverACancelledOneRemovesTheOutdatedCutFile) {
    const struct {
        const char* what;
        std::function<bool(const std::filesystem::path& partial, const std::filesystem::path& target)> make;
        bool removed;
    } cases[] = {
        {"the cut file a cancelled run left", nullptr, true},
        {"a folder with the cut file's name",
         [](const std::filesystem::path& partial, const std::filesystem::path&) {
             return std::filesystem::create_directory(partial);
         },
         false},
#ifndef _WIN32
        {"a link with the cut file's name",
         [](const std::filesystem::path& partial, const std::filesystem::path& target) {
             std::ofstream(target, std::ios::binary)
                 .write(reinterpret_cast<const char*>(kPrecious.data()),
                        static_cast<std::streamsize>(kPrecious.size()));
             return ::symlink(target.c_str(), partial.c_str()) == 0;
         },
         false},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder place;
        const std::filesystem::path out = place.path() / "out";
        std::filesystem::create_directory(out);
        const std::filesystem::path partial = file(out, 3, 2).u16string() + std::u16string(kPartialSuffix);
        const std::filesystem::path target = place.path() / "target";
        if (c.make) {
            ASSERT_TRUE(c.make(partial, target));
        } else {
            // A run cancelled during its second file.
            HookedFileSystem cancelling;
            cancelling.on_write = [](int file_number, uint64_t) {
                if (file_number == 2)
                    run_cancel = true;
                return FileStatus{};
            };
            RecordingView cancelled;
            ASSERT_EQ(generation_run(settings(out, 3, 1024, cancelled), cancelling, kSeeds), Ended::done);
            ASSERT_TRUE(std::filesystem::is_regular_file(partial));
            run_cancel = false;
        }
        const auto kind = std::filesystem::symlink_status(partial).type();

        PlatformFileSystem fs;
        RecordingView view;
        view.overwrite_answer = true;
        ASSERT_EQ(generation_run(settings(out, 3, 1024, view), fs, kSeeds), Ended::done);
        for (int32_t n = 1; n <= 3; ++n)
            EXPECT_EQ(std::filesystem::file_size(file(out, 3, n)), 1024u * 1024);
        if (c.removed) {
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(partial)));
        } else {
            EXPECT_EQ(std::filesystem::symlink_status(partial).type(), kind) << "it stays as it was";
            std::error_code ignored;
            if (std::filesystem::exists(target, ignored)) {
                EXPECT_EQ(read_file(target), kPrecious);
            }
        }
    }
}

// A folder whose files' names reach the longest path there may be: a cancel still gives the cut
// file its ending, since the ending is counted; where the name with the ending is taken by a
// folder, the cut file keeps its own name, and the user hears so.
TEST_F(RunSafety, ACancelNeverLosesTheCutFile) {
    PlatformFileSystem fs;
    // The deepest folder of names the platform takes whose run files, with the ending, have the
    // longest path accepted.
    const auto longest_folder = [&](const std::u16string& base, int32_t count) {
        std::u16string folder = base;
        const std::u16string name = file_name(0, count, count, std::u16string(16, u'0'));
        const size_t room = fs.max_path_length() - kPartialSuffix.size() - name.size() - 1;
        while (fs.path_length(folder) < room) {
            const size_t left = room - fs.path_length(folder) - 1;
            folder += fs.separator() + std::u16string(std::min<size_t>(left, 200), u'p');
        }
        return folder;
    };
    {
        GenerationSettings s;
        s.files_c = 3;
        s.Folder = longest_folder(scratch.text(), 3);
        EXPECT_EQ(settings_problem(s, fs), u"") << "the longest path is accepted";
        s.Folder += u"q";
        EXPECT_NE(settings_problem(s, fs), u"") << "one more is refused";
    }
    const struct {
        const char* what;
        bool ending_taken;
    } cases[] = {{"the longest path", false}, {"a folder has the name with the ending", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder base;
        RecordingView view;
        GenerationSettings s = settings(std::filesystem::path(longest_folder(base.text(), 3)), 3, 1024, view);
        const std::filesystem::path folder(s.Folder);
        std::filesystem::create_directories(folder);
        const std::filesystem::path second = file(folder, 3, 2);
        const std::filesystem::path partial = second.u16string() + std::u16string(kPartialSuffix);
        if (c.ending_taken)
            std::filesystem::create_directory(partial);
        HookedFileSystem cancelling;
        cancelling.on_write = [](int file_number, uint64_t) {
            if (file_number == 2)
                run_cancel = true;
            return FileStatus{};
        };
        RunOutcome outcome;
        ASSERT_EQ(generation_run(s, cancelling, kSeeds, {}, &outcome), Ended::done);
        run_cancel = false;
        const std::filesystem::path cut = c.ending_taken ? second : partial;
        ASSERT_TRUE(std::filesystem::is_regular_file(cut));
        const uint64_t cut_bytes = std::filesystem::file_size(cut);
        EXPECT_GT(cut_bytes, 0u);
        EXPECT_LT(cut_bytes, 1024u * 1024);
        EXPECT_EQ(outcome.bytes_written, 1024u * 1024 + cut_bytes) << "the cut bytes are counted";
        EXPECT_EQ(view.count(u"error "), c.ending_taken ? 1 : 0);
        if (c.ending_taken) {
            EXPECT_EQ(view.count(error(kTextCutFileKeptName, second)), 1) << "the user hears of it";
        }
        EXPECT_EQ(view.events().back(), u"reveal " + cut.u16string());
    }
}

// A folder name no file system takes is refused before any level is made.
TEST_F(RunSafety, AnOverlongFolderNameIsRefusedBeforeAnyLevelIsMade) {
    PlatformFileSystem fs;
    const std::u16string separator(1, fs.separator());
    const struct {
        size_t units;
        bool refused;
    } cases[] = {{fs.max_name_length(), false}, {fs.max_name_length() + 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        RecordingView view;
        GenerationSettings s = settings(scratch.path(), 2, 1, view);
        s.Folder += separator + u"made" + separator + std::u16string(c.units, u'n') + separator + u"below";
        if (fs.path_length(s.Folder) + 80 > fs.max_path_length())
            GTEST_SKIP() << "this platform's paths are too short for a name of the longest length";
        const Ended result = generation_run(s, fs, kSeeds);
        if (c.refused) {
            EXPECT_EQ(result, Ended::failed);
            EXPECT_EQ(view.events(),
                      std::vector<std::u16string>{
                          u"error Attention: " +
                          replace_all(text(kTextFolderNameTooLong), u"%d",
                                      format_ascii("%d", static_cast<int>(fs.max_name_length()))) +
                          u"\r\n" + s.Folder});
            EXPECT_FALSE(std::filesystem::exists(scratch.path() / "made")) << "no level made";
        } else {
            EXPECT_EQ(result, Ended::done);
            std::filesystem::remove_all(scratch.path() / "made");
        }
    }
}

} // namespace
