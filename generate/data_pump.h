// Generator data made on a thread of its own, a few batches ahead of the writer, so that a large
// non-compressible run costs about what writing alone costs. The bytes are those the writer
// would have made itself: the same sequence, cut into the same batches.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class DataPump {
public:
    // The run's plan: `files` files of `file_chunks` chunks each, written in batches of at most
    // `batch_chunks` chunks; the generator starts from `state`.
    DataPump(uint32_t state, int32_t files, uint64_t file_chunks, size_t batch_chunks);
    ~DataPump();
    DataPump(const DataPump&) = delete;
    DataPump& operator=(const DataPump&) = delete;

    // The next batch of the plan, once it is ready; valid until release().
    const uint8_t* next();
    void release();

private:
    void produce(uint32_t state, int32_t files, uint64_t file_chunks);

    static constexpr uint64_t kSlots = 3;
    const size_t batch_chunks_;
    std::unique_ptr<uint8_t[]> buffers_;
    // A mutex and a condition rather than atomic waits: the waits of the Windows runtime miss
    // wake-ups.
    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t produced_ = 0;
    uint64_t consumed_ = 0;
    bool stop_ = false;
    std::thread thread_;
};
