// Sizes with units, read exactly: what each form becomes, and what is refused and why.
#include "core/base/size_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Status = SizeText::Status;

constexpr int64_t kLimit = 2147483647; // the largest file size in kilobytes

struct Case {
    const char16_t* text;
    Status status;
    int64_t kilobytes;
};

TEST(SizeText, UnitsAreBinaryAndAPlainNumberIsKilobytes) {
    const Case cases[] = {
        {u"0", Status::ok, 0},
        {u"1024", Status::ok, 1024},
        {u"007", Status::ok, 7},
        {u"512K", Status::ok, 512},
        {u"512KiB", Status::ok, 512},
        {u"512kib", Status::ok, 512},
        {u"1.5M", Status::ok, 1536},
        {u"1.5MiB", Status::ok, 1536},
        {u"10G", Status::ok, 10 * 1024 * 1024},
        {u"10g", Status::ok, 10 * 1024 * 1024},
        {u"0.5G", Status::ok, 512 * 1024},
        {u"2.0", Status::ok, 2},
        {u"1T", Status::ok, int64_t{1} << 30},
        {u"1TiB", Status::ok, int64_t{1} << 30},
        {u"1.5", Status::not_whole, 0},
        {u"1.1M", Status::not_whole, 0},
        {u"0.5K", Status::not_whole, 0},
        {u"-5", Status::negative, 0},
        {u"-0", Status::negative, 0},
        {u"-1M", Status::negative, 0},
        {u"2T", Status::too_large, 0},
        {u"2147483648", Status::too_large, 0},
        {u"99999999999999999999999G", Status::too_large, 0},
        {u"", Status::invalid, 0},
        {u"M", Status::invalid, 0},
        {u"10X", Status::invalid, 0},
        {u"10Gi", Status::invalid, 0},
        {u"10B", Status::invalid, 0},
        {u"1.2.3", Status::invalid, 0},
        {u"12abc", Status::invalid, 0},
        {u"9999999999999999999999999999", Status::invalid, 0},
        // Only the forms documented: "GB" and "kb" may mean powers of ten to some, blanks and a
        // "+" are nobody's size, and a point stands between digits.
        {u"10GB", Status::invalid, 0},
        {u"1TB", Status::invalid, 0},
        {u"4kb", Status::invalid, 0},
        {u"0.5GB", Status::invalid, 0},
        {u"10 G", Status::invalid, 0},
        {u"1.5 MiB", Status::invalid, 0},
        {u" 4 ", Status::invalid, 0},
        {u"  3M", Status::invalid, 0},
        {u"3M ", Status::invalid, 0},
        {u"4\tK", Status::invalid, 0},
        {u"+4", Status::invalid, 0},
        {u"--4", Status::invalid, 0},
        {u"- 4", Status::invalid, 0},
        {u"1.", Status::invalid, 0},
        {u"2.K", Status::invalid, 0},
        {u".5M", Status::invalid, 0},
        {u".", Status::invalid, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        const SizeText size = parse_size_text(c.text, kLimit);
        EXPECT_EQ(size.status, c.status);
        if (c.status == Status::ok) {
            EXPECT_EQ(size.kilobytes, c.kilobytes);
        }
    }
}

TEST(SizeText, TheLimitItselfIsAllowed) {
    EXPECT_EQ(parse_size_text(u"2147483647", kLimit).kilobytes, kLimit);
    EXPECT_EQ(parse_size_text(u"4M", 4096).status, Status::ok);
    EXPECT_EQ(parse_size_text(u"4097", 4096).status, Status::too_large);
}

} // namespace
