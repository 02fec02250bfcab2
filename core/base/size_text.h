// File sizes as people write them: "10G", "1.5M", "512K", "4T", "2GiB"; a plain number is
// kilobytes. Units are binary (K = 1,024 bytes), in any case, alone or with "iB": K, KiB, M, MiB,
// G, GiB, T, TiB. Nothing else is taken: no blank anywhere, no sign, no "KB"/"GB" (which some
// read as powers of ten), and a decimal point only between digits ("1.5M", not "1." or ".5M").
#pragma once

#include <cstdint>
#include <string_view>

struct SizeText {
    enum class Status {
        ok,
        invalid,   // not of the form above
        not_whole, // not a whole number of kilobytes ("1.5K", "0.1")
        negative,  // a size of the form above with a "-" before it ("-5")
        too_large, // more than `limit` kilobytes
    };
    Status status = Status::invalid;
    int64_t kilobytes = 0; // when ok
};

// Reads a size of at most `limit` kilobytes.
SizeText parse_size_text(std::u16string_view text, int64_t limit);
