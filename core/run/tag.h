// A run's tag: 16 digits of base 9 that every name of the run carries, read as one number below
// 9^16 (> 2^50). Random data's tag is its seed, generator data's its start with a check, zeros'
// digits drawn at random; sizes over a range are drawn from it, and the check tells runs apart by it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// 9^16: every tag's number is below it.
inline constexpr uint64_t kTagNumbers = 1853020188851841ull;

// The tag of a number below kTagNumbers, with leading zeros.
std::u16string tag_text(uint64_t number);
// The number a tag stands for; none for a text that is not 16 digits 0-8.
std::optional<uint64_t> tag_number(std::u16string_view tag);
