// What the run tests share: a view that records what it is shown, a scratch folder, and the
// platform's file system with a way to make it fail.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "core/run/file_system.h"
#include "core/run/run_view.h"

// The platform's file system, open to tests that override a step and pass on to it.
class PlatformFileSystem : public FileSystem {
public:
    char16_t separator() const override { return base_->separator(); }
    size_t max_path_length() const override { return base_->max_path_length(); }
    size_t path_length(const std::u16string& path) const override { return base_->path_length(path); }
    size_t max_name_length() const override { return base_->max_name_length(); }
    FileStatus open_folder(const std::u16string& path, Handle& folder) override {
        return base_->open_folder(path, folder);
    }
    void close_folder(Handle folder) override { base_->close_folder(folder); }
    bool same_folder(Handle folder, const std::u16string& path) override {
        return base_->same_folder(folder, path);
    }
    Kind probe(Handle folder, const std::u16string& name) override { return base_->probe(folder, name); }
    FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) override {
        return base_->create_file(folder, name, file);
    }
    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override {
        return base_->create_new_file(folder, name, file);
    }
    FileStatus write(Handle file, const uint8_t* data, size_t size) override {
        return base_->write(file, data, size);
    }
    FileStatus close(Handle file) override { return base_->close(file); }
    FileStatus remove(Handle folder, const std::u16string& name) override {
        return base_->remove(folder, name);
    }
    FileStatus rename(Handle folder, const std::u16string& from, const std::u16string& to) override {
        return base_->rename(folder, from, to);
    }
    void set_direct(bool direct) override { base_->set_direct(direct); }
    bool direct(Handle file) const override { return base_->direct(file); }
    FileStatus write_at(Handle file, uint64_t offset, const uint8_t* data, size_t size) override {
        return base_->write_at(file, offset, data, size);
    }
    FileStatus set_length(Handle file, uint64_t length, bool reserve) override {
        return base_->set_length(file, length, reserve);
    }
    FileStatus open_existing_folder(const std::u16string& path, Handle& folder) override {
        return base_->open_existing_folder(path, folder);
    }
    FileStatus make_subfolder(Handle folder, const std::u16string& name, Handle& inner) override {
        return base_->make_subfolder(folder, name, inner);
    }
    FileStatus open_subfolder(Handle folder, const std::u16string& name, Handle& inner) override {
        return base_->open_subfolder(folder, name, inner);
    }
    FileStatus list(Handle folder,
                    const std::function<void(std::u16string_view name, Kind kind)>& each) override {
        return base_->list(folder, each);
    }
    FileStatus file_size(Handle folder, const std::u16string& name, uint64_t& size) override {
        return base_->file_size(folder, name, size);
    }
    FileStatus remove_sized(Handle folder, const std::u16string& name, uint64_t& size) override {
        return base_->remove_sized(folder, name, size);
    }
    FileStatus remove_folder(Handle folder, const std::u16string& name) override {
        return base_->remove_folder(folder, name);
    }

private:
    std::unique_ptr<FileSystem> base_ = make_file_system();
};

class RecordingView : public RunView {
public:
    bool overwrite_answer = false;
    bool cancel_answer = true;

    bool ask_overwrite(const std::u16string& caption, const std::u16string& text) override {
        record(u"ask " + caption + u": " + text);
        return overwrite_answer;
    }
    bool ask_cancel(const std::u16string& text) override {
        record(u"cancel? " + text);
        return cancel_answer;
    }
    void show_error(const std::u16string& caption, const std::u16string& text) override {
        record(u"error " + caption + u": " + text);
    }
    void set_bar(int position) override {
        std::lock_guard lock(mutex_);
        bar = position;
    }
    void set_upper_line(const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        upper = text;
    }
    void set_lower_line(const std::u16string& text) override {
        std::lock_guard lock(mutex_);
        lower = text;
    }
    void report_shown(bool finished) override { record(finished ? u"final report" : u"report"); }
    void set_controls_enabled(bool enable, const std::u16string& button) override {
        record((enable ? u"enable " : u"disable ") + button);
    }
    void reveal(const std::u16string& path) override { record(u"reveal " + path); }

    std::vector<std::u16string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    int count(const std::u16string& prefix) const {
        int n = 0;
        for (const auto& e : events())
            n += e.rfind(prefix, 0) == 0;
        return n;
    }

    int bar = -1;
    std::u16string upper = u"(untouched)";
    std::u16string lower = u"(untouched)";

private:
    void record(std::u16string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::u16string> events_;
};

// Passes everything to the platform's file system; `on_write` may fail a write or set a flag,
// `on_create` sees each file made.
class HookedFileSystem : public PlatformFileSystem {
public:
    std::function<FileStatus(int file_number, uint64_t bytes_so_far)> on_write;
    std::function<void(int file_number)> on_create;

    FileStatus create_file(Handle folder, const std::u16string& name, Handle& file) override {
        return opened(PlatformFileSystem::create_file(folder, name, file));
    }
    FileStatus create_new_file(Handle folder, const std::u16string& name, Handle& file) override {
        return opened(PlatformFileSystem::create_new_file(folder, name, file));
    }
    FileStatus write(Handle file, const uint8_t* data, size_t size) override {
        if (on_write) {
            FileStatus status = on_write(files_, bytes_);
            if (!status.ok())
                return status;
        }
        bytes_ += size;
        return PlatformFileSystem::write(file, data, size);
    }

private:
    FileStatus opened(FileStatus status) {
        if (status.ok()) {
            ++files_;
            bytes_ = 0;
            if (on_create)
                on_create(files_);
        }
        return status;
    }
    int files_ = 0;
    uint64_t bytes_ = 0;
};

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("pelmora-test-" + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::u16string text() const { return path_.u16string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The files of a folder, sorted by name.
inline std::vector<std::filesystem::path> files_in(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}
