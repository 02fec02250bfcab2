// Tests of the LZARI decoder, mostly against streams made by the packer or coded symbol by
// symbol.
#include "core/lang/lzari.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/core/test_files.h"
#include "tools/lzari_encoder.h"

namespace {

struct Decoded {
    std::vector<uint8_t> bytes; // what was stored, sized to the capacity
    uint32_t text_size;
};

// Decodes into a block of `capacity` bytes pre-filled with `fill`.
Decoded decode(const std::vector<uint8_t>& stream, int32_t capacity, uint8_t fill = 0xCD,
               LZARI* decoder_out = nullptr) {
    LZARI local;
    LZARI& decoder = decoder_out != nullptr ? *decoder_out : local;
    Decoded result{std::vector<uint8_t>(static_cast<size_t>(std::max(capacity, 1)), fill), 0};
    decoder.in_size = static_cast<int32_t>(stream.size());
    decoder.out_capacity = capacity;
    decoder.decode_memory(stream.data(), result.bytes.data());
    result.text_size = decoder.text_size;
    return result;
}

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

// The number of bytes the decoder stored: positions written hold the same byte whatever the
// block held before, positions not written keep the fill.
size_t stored_prefix(const std::vector<uint8_t>& stream, int32_t capacity) {
    const Decoded a = decode(stream, capacity, 0x00);
    const Decoded b = decode(stream, capacity, 0xFF);
    size_t n = 0;
    while (n < a.bytes.size() && a.bytes[n] == b.bytes[n])
        ++n;
    return n;
}

TEST(LzariDecoder, EmptyAndHeaderlessStreamsDecodeToNothing) {
    const struct {
        const char* name;
        std::vector<uint8_t> stream;
    } cases[] = {
        {"header announcing 0, junk behind it", {0, 0, 0, 0, 0x12, 0x34, 0x56}},
        {"shorter than its header", {0x05, 0x00}},
        {"no bytes at all", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LZARI decoder;
        const Decoded d = decode(c.stream, 16, 0xCD, &decoder);
        EXPECT_EQ(d.text_size, 0u);
        EXPECT_EQ(d.bytes, std::vector<uint8_t>(16, 0xCD)) << "nothing may be written";
        EXPECT_EQ(decoder.in_data, nullptr);
        EXPECT_EQ(decoder.in_size, static_cast<int32_t>(c.stream.size())) << "the caller's sizes stay";
        EXPECT_EQ(decoder.out_capacity, 16);
    }
}

TEST(LzariDecoder, RoundTripsThroughThePacker) {
    std::mt19937 rng(12345);
    std::vector<uint8_t> random(200 * 1024);
    for (auto& b : random)
        b = static_cast<uint8_t>(rng());
    std::string repetitive;
    for (int i = 0; i < 20000; ++i)
        repetitive += "abcabcabc" + std::to_string(i % 7) + (i % 13 == 0 ? "\r\n" : " ");
    const std::vector<uint8_t> catalogue = read_source_file("res/catalogue.txt");
    ASSERT_GT(catalogue.size(), 1000u);

    const struct {
        const char* name;
        std::vector<uint8_t> input;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"spaces only, as the window starts", std::vector<uint8_t>(5000, ' ')},
        {"200 KB of random bytes", random},
        {"highly repetitive text", bytes_of(repetitive)},
        {"the catalogue", catalogue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> stream = lzari_pack(c.input.data(), c.input.size());
        const auto capacity = static_cast<int32_t>(c.input.size() + 1);
        const Decoded d = decode(stream, capacity);
        EXPECT_EQ(d.text_size, c.input.size());
        EXPECT_TRUE(std::equal(c.input.begin(), c.input.end(), d.bytes.begin()));
        if (c.input.empty()) {
            EXPECT_EQ(stream.size(), 4u) << "an empty text is its header alone";
        }
    }
}

TEST(LzariDecoder, StoresAtMostCapacityMinusOneButDecodesEverything) {
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "line " + std::to_string(i) + "\r\n";
    const std::vector<uint8_t> stream =
        lzari_pack(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const auto size = static_cast<int32_t>(text.size());

    for (const int32_t capacity : {0, 1, 2, 10, size, size + 1, size + 100}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        LZARI decoder;
        const Decoded d = decode(stream, capacity, 0xCD, &decoder);
        EXPECT_EQ(d.text_size, text.size());
        const size_t expected = static_cast<size_t>(std::clamp(capacity - 1, 0, size));
        EXPECT_EQ(stored_prefix(stream, capacity), expected);
        EXPECT_TRUE(std::equal(text.begin(), text.begin() + static_cast<long>(expected), d.bytes.begin()));
        // Dropped bytes still went through the window: its newest byte is the text's last.
        EXPECT_EQ(decoder.ring[(4036 + text.size() - 1) % 4096], static_cast<uint8_t>(text.back()));
    }
}

TEST(LzariDecoder, MatchesCopyFromTheWindowByteByByte) {
    const struct {
        const char* name;
        std::vector<std::pair<int, int>> symbols; // {length, position}; length 1 is a literal of `position`
        std::string expected;
    } cases[] = {
        {"position 0 repeats the previous byte", {{1, 'x'}, {5, 0}}, "xxxxxx"},
        {"a first match copies the spaces the window starts with", {{3, 0}}, "   "},
        {"a far first match reaches deep into the spaces",
         {{60, 4000}, {1, '!'}},
         std::string(60, ' ') + "!"},
        {"an overlapping match extends a pattern", {{1, 'a'}, {1, 'b'}, {7, 1}}, "ababababa"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LzariSymbolWriter writer(static_cast<uint32_t>(c.expected.size()));
        for (const auto& [length, position] : c.symbols) {
            if (length == 1)
                writer.literal(static_cast<uint8_t>(position));
            else
                writer.match(length, position);
        }
        const Decoded d = decode(writer.finish(), 100);
        EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.begin() + static_cast<long>(c.expected.size())),
                  c.expected);
    }
}

TEST(LzariDecoder, TruncatedStreamReadsOneBitsToTheAnnouncedSize) {
    std::mt19937 rng(7);
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += static_cast<char>('a' + rng() % 20);
    const std::vector<uint8_t> full = lzari_pack(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(full.size() / 2));
    std::vector<uint8_t> padded = cut;
    padded.insert(padded.end(), 64, 0xFF);

    const auto capacity = static_cast<int32_t>(text.size() + 1000);
    const Decoded from_cut = decode(cut, capacity);
    EXPECT_EQ(from_cut.text_size, text.size());
    EXPECT_GE(stored_prefix(cut, capacity), text.size()) << "decoding must not stop early";
    EXPECT_EQ(from_cut.bytes, decode(padded, capacity).bytes) << "bits past the end must read as 1";
    // The bytes coded before the cut come out intact.
    EXPECT_TRUE(std::equal(text.begin(), text.begin() + 100, from_cut.bytes.begin()));
}

TEST(LzariDecoder, SymbolModelRescalesWhenItsTotalReaches32767) {
    // The model starts at 314 and counts one per symbol, so 32,453 symbols bring it to 32,767;
    // the update of the next one rescales first.
    const int before_rescale = 32767 - 314;
    for (const int symbols : {before_rescale, before_rescale + 1, 3 * before_rescale}) {
        SCOPED_TRACE(std::to_string(symbols) + " literals");
        std::vector<uint8_t> text;
        for (int i = 0; i < symbols; ++i)
            text.push_back(static_cast<uint8_t>(i * 7919 % 251)); // many distinct bytes, uneven counts
        LzariSymbolWriter writer(static_cast<uint32_t>(text.size()));
        for (const uint8_t c : text)
            writer.literal(c);
        LZARI decoder;
        const Decoded d = decode(writer.finish(), static_cast<int32_t>(text.size() + 1), 0, &decoder);
        EXPECT_TRUE(std::equal(text.begin(), text.end(), d.bytes.begin()));

        if (symbols == before_rescale) {
            EXPECT_EQ(decoder.symbol_cum[0], 32767);
        } else {
            EXPECT_LT(decoder.symbol_cum[0], 32767);
        }
        uint32_t above = 0;
        for (int s = 314; s >= 1; --s) {
            EXPECT_GE(decoder.symbol_freq[s], 1) << "symbol " << s;
            EXPECT_EQ(decoder.symbol_cum[s], above) << "symbol " << s;
            above += decoder.symbol_freq[s];
            if (s < 314) {
                EXPECT_GE(decoder.symbol_freq[s], decoder.symbol_freq[s + 1]) << "sorted by frequency";
            }
        }
        EXPECT_EQ(decoder.symbol_cum[0], above);
        EXPECT_EQ(decoder.position_cum[0], 28568);
    }
}

TEST(LzariDecoder, CommittedCatalogueStreamDecodesToTheCommittedText) {
    const std::vector<uint8_t> stream = read_source_file("res/catalogue.lzari");
    const std::vector<uint8_t> text = read_source_file("res/catalogue.txt");
    ASSERT_GT(text.size(), 4u);
    const Decoded d = decode(stream, 100000);
    ASSERT_EQ(d.text_size, text.size()) << "re-pack with the repack-catalogue target after editing the text";
    EXPECT_TRUE(std::equal(text.begin(), text.end(), d.bytes.begin()));
    // UTF-16LE with a byte-order mark, ending with the closing mark and CR LF.
    EXPECT_EQ(text[0], 0xFF);
    EXPECT_EQ(text[1], 0xFE);
    const std::vector<uint8_t> tail(text.end() - 8, text.end());
    EXPECT_EQ(tail, (std::vector<uint8_t>{'#', 0, '#', 0, '\r', 0, '\n', 0}));
}

} // namespace
