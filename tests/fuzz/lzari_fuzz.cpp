// Arbitrary streams and output capacities: the decoder must stay inside its input, its output
// block and its tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/lang/lzari.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first two bytes choose the capacity; the rest is the stream, copied to a block of its
    // own size so a read past its end is caught.
    const int32_t capacity = (data[0] | data[1] << 8) - 16; // may be zero or negative
    std::vector<uint8_t> stream(data + 2, data + size);
    // An announcement of gigabytes only makes a run slow, not different: keep it under 16 KiB,
    // which still wraps the 4 KiB window several times.
    if (stream.size() >= 4) {
        stream[1] &= 0x3F;
        stream[2] = 0;
        stream[3] = 0;
    }
    std::vector<uint8_t> out(capacity > 0 ? static_cast<size_t>(capacity) : 0);

    LZARI decoder;
    decoder.in_size = static_cast<int32_t>(stream.size());
    decoder.out_capacity = capacity;
    decoder.decode_memory(stream.data(), out.data());
    return 0;
}
