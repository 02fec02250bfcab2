// LZARI decoder.
#include "core/lang/lzari.h"

#include <cstring>

#include "core/lang/lzari_model.h"

using namespace lzari_model;

LZARI::LZARI() : bit_byte(0), bit_mask(0), text_size(0), low(0), high(kQ4), value(0) {
    // Positions 4036..4095 are never read before the stream writes them; zero them anyway so
    // a corrupt stream decodes to the same bytes every time.
    std::memset(ring, 0, sizeof ring);
}

LZARI::~LZARI() = default;

int LZARI::next_bit() {
    bit_mask >>= 1;
    if (bit_mask == 0) {
        // Past the end every bit reads as 1: the coder looks 17 bits ahead, so the last
        // symbols of every stream depend on this.
        bit_byte = in_pos < in_size ? in_data[in_pos++] : 0xFF;
        bit_mask = 128;
    }
    return (bit_byte & bit_mask) != 0;
}

void LZARI::renormalise() {
    for (;;) {
        if (low >= kQ2) {
            value -= kQ2;
            low -= kQ2;
            high -= kQ2;
        } else if (low >= kQ1 && high <= kQ3) {
            value -= kQ1;
            low -= kQ1;
            high -= kQ1;
        } else if (high > kQ2) {
            return;
        }
        low += low;
        high += high;
        value = 2 * value + static_cast<uint32_t>(next_bit());
    }
}

int LZARI::decode_char() {
    const uint32_t range = high - low;
    const uint32_t x = ((value - low + 1) * symbol_cum[0] - 1) / range;
    int i = 1;
    int j = kSymbols;
    while (i < j) {
        const int k = (i + j) / 2;
        if (symbol_cum[k] > x)
            i = k + 1;
        else
            j = k;
    }
    const int s = i;
    high = low + range * symbol_cum[s - 1] / symbol_cum[0];
    low = low + range * symbol_cum[s] / symbol_cum[0];
    renormalise();
    const int c = symbol_to_char[s];
    update_symbols(char_to_symbol, symbol_to_char, symbol_freq, symbol_cum, s);
    return c;
}

int LZARI::decode_position() {
    const uint32_t range = high - low;
    const uint32_t x = ((value - low + 1) * position_cum[0] - 1) / range;
    int i = 1;
    int j = kRing;
    while (i < j) {
        const int k = (i + j) / 2;
        if (position_cum[k] > x)
            i = k + 1;
        else
            j = k;
    }
    const int p = i - 1;
    high = low + range * position_cum[p] / position_cum[0];
    low = low + range * position_cum[p + 1] / position_cum[0];
    renormalise();
    return p;
}

void LZARI::emit(uint8_t b) {
    if (out_len + 1 < out_capacity)
        out_data[out_len++] = b;
}

void LZARI::decode_memory(const uint8_t* input, uint8_t* output) {
    in_data = input;
    out_data = output;
    in_pos = 0;
    out_len = 0;
    text_size = 0;
    low = 0;
    high = kQ4;
    value = 0;

    // A stream too short for its header announces nothing: read only the bytes that exist.
    if (in_size >= 4) {
        text_size = static_cast<uint32_t>(in_data[0]) | static_cast<uint32_t>(in_data[1]) << 8 |
                    static_cast<uint32_t>(in_data[2]) << 16 | static_cast<uint32_t>(in_data[3]) << 24;
        in_pos = 4;
    }

    if (text_size != 0) {
        for (int i = 0; i < 17; ++i)
            value = 2 * value + static_cast<uint32_t>(next_bit());
        start_symbols(char_to_symbol, symbol_to_char, symbol_freq, symbol_cum);
        start_positions(position_cum);
        std::memset(ring, ' ', kRing - kLongest);
        int r = kRing - kLongest;
        // 64-bit so that a final match near a 4 GiB announcement cannot wrap the count.
        uint64_t count = 0;
        while (count < text_size) {
            const int c = decode_char();
            if (c < 256) {
                const auto b = static_cast<uint8_t>(c);
                emit(b);
                ring[r] = b;
                r = (r + 1) & (kRing - 1);
                ++count;
            } else {
                const int i = (r - decode_position() - 1) & (kRing - 1);
                const int length = c - (255 - kThreshold);
                count += static_cast<uint64_t>(length);
                for (int k = 0; k < length; ++k) {
                    const uint8_t b = ring[(i + k) & (kRing - 1)];
                    emit(b);
                    ring[r] = b;
                    r = (r + 1) & (kRing - 1);
                }
            }
        }
    }

    in_data = nullptr;
    out_data = nullptr;
    in_pos = 0;
    out_len = 0;
}
