// The adaptive literal/length model and the fixed position model of LZARI, shared by the
// decoder and the build-time packer so that both sides always evolve the same tables.
#pragma once

#include <cstdint>

namespace lzari_model {

inline constexpr int kRing = 4096;      // N: window size
inline constexpr int kLongest = 60;     // F: longest match
inline constexpr int kThreshold = 2;    // matches this short or shorter go out as literals
inline constexpr int kSymbols = 314;    // N_CHAR: 256 literals + lengths 3..60
inline constexpr uint32_t kQ1 = 0x8000; // coder precision M = 15
inline constexpr uint32_t kQ2 = 0x10000;
inline constexpr uint32_t kQ3 = 0x18000;
inline constexpr uint32_t kQ4 = 0x20000;
inline constexpr uint16_t kMaxCum = 32767; // rescale once the model total reaches this

// Symbol s stands for character s - 1 at the start; every symbol has frequency 1.
inline void start_symbols(int16_t* char_to_symbol, int16_t* symbol_to_char, uint16_t* symbol_freq,
                          uint16_t* symbol_cum) {
    symbol_cum[kSymbols] = 0;
    for (int s = kSymbols; s >= 1; --s) {
        char_to_symbol[s - 1] = static_cast<int16_t>(s);
        symbol_to_char[s] = static_cast<int16_t>(s - 1);
        symbol_freq[s] = 1;
        symbol_cum[s - 1] = static_cast<uint16_t>(symbol_cum[s] + 1);
    }
    symbol_freq[0] = 0; // sentinel that ends the walk in update_symbols
}

// Near positions are likelier than far ones; the total comes to 28,568 and never changes.
inline void start_positions(uint16_t* position_cum) {
    position_cum[kRing] = 0;
    for (int i = kRing; i >= 1; --i)
        position_cum[i - 1] = static_cast<uint16_t>(position_cum[i] + 10000 / (i + 200));
}

// Counts symbol s once more, keeping the table sorted by falling frequency: s first trades
// places with the front of its run of equal frequencies.
inline void update_symbols(int16_t* char_to_symbol, int16_t* symbol_to_char, uint16_t* symbol_freq,
                           uint16_t* symbol_cum, int s) {
    if (symbol_cum[0] >= kMaxCum) {
        uint16_t c = 0;
        for (int i = kSymbols; i >= 1; --i) {
            symbol_cum[i] = c;
            symbol_freq[i] = static_cast<uint16_t>((symbol_freq[i] + 1) / 2);
            c = static_cast<uint16_t>(c + symbol_freq[i]);
        }
        symbol_cum[0] = c;
    }
    int i = s;
    while (symbol_freq[i] == symbol_freq[i - 1])
        --i;
    if (i < s) {
        const int16_t a = symbol_to_char[i];
        const int16_t b = symbol_to_char[s];
        symbol_to_char[i] = b;
        symbol_to_char[s] = a;
        char_to_symbol[a] = static_cast<int16_t>(s);
        char_to_symbol[b] = static_cast<int16_t>(i);
    }
    ++symbol_freq[i];
    while (--i >= 0)
        ++symbol_cum[i];
}

} // namespace lzari_model
