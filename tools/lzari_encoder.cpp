// LZARI packer: binary-tree LZSS match finder over the space-filled window, arithmetic coder
// with the shared models. Deterministic: the same input always gives the same stream.
#include "tools/lzari_encoder.h"

#include <memory>
#include <stdexcept>

#include "core/lang/lzari_model.h"

using namespace lzari_model;

namespace {
constexpr int kNil = kRing; // "no node" in the match tree
} // namespace

struct LzariSymbolWriter::Coder {
    std::vector<uint8_t> out;
    uint32_t bit_buffer = 0;
    uint32_t bit_mask = 128;
    uint32_t low = 0;
    uint32_t high = kQ4;
    int pending = 0;
    int16_t char_to_symbol[kSymbols];
    int16_t symbol_to_char[kSymbols + 1];
    uint16_t symbol_freq[kSymbols + 1];
    uint16_t symbol_cum[kSymbols + 1];
    uint16_t position_cum[kRing + 1];

    void put_bit(int bit) {
        if (bit)
            bit_buffer |= bit_mask;
        bit_mask >>= 1;
        if (bit_mask == 0) {
            out.push_back(static_cast<uint8_t>(bit_buffer));
            bit_buffer = 0;
            bit_mask = 128;
        }
    }

    // A decided bit releases the opposite bits held back while the interval straddled the
    // middle.
    void output(int bit) {
        put_bit(bit);
        for (; pending > 0; --pending)
            put_bit(!bit);
    }

    void narrow(uint32_t top, uint32_t bottom, uint32_t total) {
        const uint32_t range = high - low;
        high = low + range * top / total;
        low = low + range * bottom / total;
        for (;;) {
            if (high <= kQ2) {
                output(0);
            } else if (low >= kQ2) {
                output(1);
                low -= kQ2;
                high -= kQ2;
            } else if (low >= kQ1 && high <= kQ3) {
                ++pending;
                low -= kQ1;
                high -= kQ1;
            } else {
                break;
            }
            low += low;
            high += high;
        }
    }

    void encode_char(int c) {
        const int s = char_to_symbol[c];
        narrow(symbol_cum[s - 1], symbol_cum[s], symbol_cum[0]);
        update_symbols(char_to_symbol, symbol_to_char, symbol_freq, symbol_cum, s);
    }
};

LzariSymbolWriter::LzariSymbolWriter(uint32_t announced_size) : coder_(std::make_unique<Coder>()) {
    for (int shift = 0; shift < 32; shift += 8)
        coder_->out.push_back(static_cast<uint8_t>(announced_size >> shift));
    start_symbols(coder_->char_to_symbol, coder_->symbol_to_char, coder_->symbol_freq, coder_->symbol_cum);
    start_positions(coder_->position_cum);
}

LzariSymbolWriter::~LzariSymbolWriter() = default;

void LzariSymbolWriter::literal(uint8_t c) { coder_->encode_char(c); }

void LzariSymbolWriter::match(int length, int position) {
    if (length <= kThreshold || length > kLongest || position < 0 || position >= kRing)
        throw std::invalid_argument("LZARI match out of range");
    coder_->encode_char(255 - kThreshold + length);
    coder_->narrow(coder_->position_cum[position], coder_->position_cum[position + 1],
                   coder_->position_cum[0]);
}

// Whatever bits the decoder reads past the end (it reads 1s) leave it inside the final interval.
std::vector<uint8_t> LzariSymbolWriter::finish() {
    ++coder_->pending;
    coder_->output(coder_->low < kQ1 ? 0 : 1);
    if (coder_->bit_mask != 128)
        coder_->out.push_back(static_cast<uint8_t>(coder_->bit_buffer));
    return std::move(coder_->out);
}

namespace {

class Packer {
public:
    explicit Packer(LzariSymbolWriter& writer) : writer_(writer) {
        for (int i = kRing + 1; i <= kRing + 256; ++i)
            rson_[i] = kNil;
        for (int i = 0; i < kRing; ++i)
            dad_[i] = kNil;
    }

    void pack(const uint8_t* data, size_t size);

private:
    void insert_node(int r);
    void delete_node(int p);

    LzariSymbolWriter& writer_;

    // The window with its first kLongest - 1 bytes mirrored behind the end, so a key compare
    // never has to wrap.
    uint8_t text_[kRing + kLongest - 1] = {};
    int match_position_ = 0;
    int match_length_ = 0;
    int lson_[kRing + 1] = {};
    int rson_[kRing + 257] = {};
    int dad_[kRing + 1] = {};
};

// Inserts the string at r into the tree of its first byte and records the longest match (the
// nearest among equals) in match_length_/match_position_.
void Packer::insert_node(int r) {
    int cmp = 1;
    const uint8_t* key = &text_[r];
    int p = kRing + 1 + key[0];
    rson_[r] = lson_[r] = kNil;
    match_length_ = 0;
    for (;;) {
        if (cmp >= 0) {
            if (rson_[p] != kNil) {
                p = rson_[p];
            } else {
                rson_[p] = r;
                dad_[r] = p;
                return;
            }
        } else {
            if (lson_[p] != kNil) {
                p = lson_[p];
            } else {
                lson_[p] = r;
                dad_[r] = p;
                return;
            }
        }
        int i = 1;
        for (; i < kLongest; ++i)
            if ((cmp = key[i] - text_[p + i]) != 0)
                break;
        if (i > kThreshold) {
            const int distance = (r - p) & (kRing - 1);
            if (i > match_length_) {
                match_position_ = distance;
                if ((match_length_ = i) >= kLongest)
                    break;
            } else if (i == match_length_ && distance < match_position_) {
                match_position_ = distance;
            }
        }
    }
    // A full-length match: r replaces p in the tree.
    dad_[r] = dad_[p];
    lson_[r] = lson_[p];
    rson_[r] = rson_[p];
    dad_[lson_[p]] = r;
    dad_[rson_[p]] = r;
    if (rson_[dad_[p]] == p)
        rson_[dad_[p]] = r;
    else
        lson_[dad_[p]] = r;
    dad_[p] = kNil;
}

void Packer::delete_node(int p) {
    if (dad_[p] == kNil)
        return;
    int q;
    if (rson_[p] == kNil) {
        q = lson_[p];
    } else if (lson_[p] == kNil) {
        q = rson_[p];
    } else {
        q = lson_[p];
        if (rson_[q] != kNil) {
            do {
                q = rson_[q];
            } while (rson_[q] != kNil);
            rson_[dad_[q]] = lson_[q];
            dad_[lson_[q]] = dad_[q];
            lson_[q] = lson_[p];
            dad_[lson_[p]] = q;
        }
        rson_[q] = rson_[p];
        dad_[rson_[p]] = q;
    }
    dad_[q] = dad_[p];
    if (rson_[dad_[p]] == p)
        rson_[dad_[p]] = q;
    else
        lson_[dad_[p]] = q;
    dad_[p] = kNil;
}

void Packer::pack(const uint8_t* data, size_t size) {
    size_t next = 0;
    int s = 0;
    int r = kRing - kLongest;
    for (int i = 0; i < kRing + kLongest - 1; ++i)
        text_[i] = ' ';
    int len = 0;
    for (; len < kLongest && next < size; ++len)
        text_[r + len] = data[next++];
    for (int i = 1; i <= kLongest; ++i)
        insert_node(r - i);
    insert_node(r);
    do {
        if (match_length_ > len)
            match_length_ = len;
        if (match_length_ <= kThreshold) {
            match_length_ = 1;
            writer_.literal(text_[r]);
        } else {
            writer_.match(match_length_, match_position_ - 1);
        }
        const int last_match_length = match_length_;
        int i = 0;
        for (; i < last_match_length && next < size; ++i) {
            delete_node(s);
            const uint8_t c = data[next++];
            text_[s] = c;
            if (s < kLongest - 1)
                text_[s + kRing] = c;
            s = (s + 1) & (kRing - 1);
            r = (r + 1) & (kRing - 1);
            insert_node(r);
        }
        while (i++ < last_match_length) {
            delete_node(s);
            s = (s + 1) & (kRing - 1);
            r = (r + 1) & (kRing - 1);
            if (--len)
                insert_node(r);
        }
    } while (len > 0);
}

} // namespace

std::vector<uint8_t> lzari_pack(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX)
        throw std::length_error("LZARI streams hold at most 4 GiB - 1");
    LzariSymbolWriter writer(static_cast<uint32_t>(size));
    if (size == 0) {
        // An empty text is its header alone: nothing is coded, so there are no bits to flush.
        std::vector<uint8_t> header = writer.finish();
        header.resize(4);
        return header;
    }
    // Heap, not stack: the tree and window come to about 60 KB.
    auto packer = std::make_unique<Packer>(writer);
    packer->pack(data, size);
    return writer.finish();
}
