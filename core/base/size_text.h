// File sizes as people write them: "10G", "1.5M", "512K", "4T", "2 GiB"; a plain number is
// kilobytes. Units are binary (K = 1,024 bytes) and case-insensitive, with or without "B"/"iB".
#pragma once

#include <cstdint>
#include <string_view>

struct SizeText {
    enum class Status {
        ok,
        invalid,   // no number, an unknown unit, or something after it
        not_whole, // not a whole number of kilobytes ("1.5K", "0.1")
        negative,  // "-5"
        too_large, // more than `limit` kilobytes
    };
    Status status = Status::invalid;
    int64_t kilobytes = 0; // when ok
};

// Reads a size of at most `limit` kilobytes. Leading and trailing blanks are allowed, and one blank
// between the number and its unit.
SizeText parse_size_text(std::u16string_view text, int64_t limit);
