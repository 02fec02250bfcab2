// LZARI decoder: LZSS over a 4,096-byte window joined with arithmetic coding, memory to memory.
// The program only ever decodes; the packer that makes the stream lives in tools/.
#pragma once

#include <cstdint>

class LZARI {
public:
    // Transfer state, each decoder's own: the caller sets in_size and out_capacity before
    // decode_memory, the rest is decode_memory's own.
    const uint8_t* in_data = nullptr;
    int32_t in_size = 0;
    int32_t in_pos = 0;
    uint8_t* out_data = nullptr;
    int32_t out_capacity = 0;
    int32_t out_len = 0;

    LZARI();
    virtual ~LZARI();

    // Decodes one stream (4-byte little-endian size header, then the coded bits) into output.
    // Stores at most out_capacity - 1 bytes; text_size tells the size the stream announced.
    // One object decodes one stream: the bit reader is not reset.
    void decode_memory(const uint8_t* input, uint8_t* output);

    uint16_t bit_byte;
    uint16_t bit_mask;
    uint32_t text_size;
    uint8_t ring[4096 + 60 - 1];
    int16_t char_to_symbol[314];
    int16_t symbol_to_char[315];
    uint16_t symbol_freq[315];
    uint16_t symbol_cum[315];
    uint16_t position_cum[4097];
    uint32_t low;
    uint32_t high;
    uint32_t value;

private:
    int next_bit();
    void renormalise();
    int decode_char();
    int decode_position();
    void emit(uint8_t b);
};
