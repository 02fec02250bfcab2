// The data pump: a ring of three batch buffers between one producer and one consumer.
#include "data_pump.h"

#include <algorithm>

#include "lcg.h"

DataPump::DataPump(uint32_t state, int32_t files, uint64_t file_chunks, size_t batch_chunks)
    : batch_chunks_(batch_chunks), buffers_(new uint8_t[kSlots * batch_chunks * kChunkBytes]),
      thread_([this, state, files, file_chunks] { produce(state, files, file_chunks); }) {}

DataPump::~DataPump() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void DataPump::produce(uint32_t state, int32_t files, uint64_t file_chunks) {
    uint64_t batch = 0;
    for (int32_t file = 0; file < files; ++file) {
        for (uint64_t left = file_chunks; left > 0; ++batch) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || batch - consumed_ < kSlots; });
                if (stop_)
                    return;
            }
            const size_t chunks = static_cast<size_t>(std::min<uint64_t>(left, batch_chunks_));
            lcg_fill(state, buffers_.get() + (batch % kSlots) * batch_chunks_ * kChunkBytes, chunks);
            left -= chunks;
            {
                std::lock_guard lock(mutex_);
                produced_ = batch + 1;
            }
            changed_.notify_all();
        }
    }
}

const uint8_t* DataPump::next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return produced_ > consumed_; });
    return buffers_.get() + (consumed_ % kSlots) * batch_chunks_ * kChunkBytes;
}

void DataPump::release() {
    {
        std::lock_guard lock(mutex_);
        ++consumed_;
    }
    changed_.notify_all();
}
