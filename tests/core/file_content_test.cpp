// Tests of what a run's files hold: what fill makes, check takes as right and finds the first wrong
// byte of, for every type and shape, from any chunk on; and the generator's place from file to file.
#include "core/run/file_content.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    int32_t files_type;
    DataShape shape;
    bool seed_known; // generator data: the check follows the chain of words without it
};

const Case kCases[] = {
    {"generator data", kGeneratorData, {}, true},
    {"generator data, seed not known", kGeneratorData, {}, false},
    {"zeros", kZeros, {}, true},
    {"random data", kRandomData, {}, true},
    {"shaped random data", kRandomData, {40, 30}, true},
};

RunContent content_of(const Case& c, uint64_t file_bytes) {
    RunContent run;
    run.files_type = c.files_type;
    run.shape = c.shape;
    run.file_bytes = file_bytes;
    run.random_seed = 123456789;
    run.generator_seed = 987654321;
    run.generator_seed_known = c.seed_known;
    return run;
}

// A file of 2 MiB and a bit: made whole, then checked in pieces from offsets that start chunks, and
// with one byte changed in each piece.
TEST(FileContent, CheckTakesWhatFillMakesAndFindsTheFirstChangedByte) {
    constexpr uint64_t kBytes = (uint64_t{2} << 20) + 5000;
    constexpr size_t kChunks = (kBytes + kChunkBytes - 1) / kChunkBytes;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const RunContent run = content_of(c, kBytes);
        FileContent writer(run, 7);
        ASSERT_EQ(writer.size(), kBytes);
        std::vector<uint8_t> file(kChunks * kChunkBytes, 0);
        writer.fill(0, file.data(), kChunks);
        // Made in two parts, out of order, the bytes are the same.
        std::vector<uint8_t> again(file.size(), 0);
        FileContent parts(run, 7);
        parts.fill(300, again.data() + 300 * kChunkBytes, kChunks - 300);
        parts.fill(0, again.data(), 300);
        EXPECT_TRUE(again == file);
        if (c.files_type == kZeros) {
            EXPECT_EQ(std::count(file.begin(), file.end(), 0), static_cast<ptrdiff_t>(file.size()));
        }

        std::vector<uint8_t> scratch(kContentScratchBytes);
        const uint64_t offsets[] = {0, kChunkBytes, 256 * kChunkBytes, kBytes - 5000};
        for (const uint64_t offset : offsets) {
            SCOPED_TRACE("from byte " + std::to_string(offset));
            FileContent checker(run, 7);
            const size_t size = static_cast<size_t>(kBytes - offset);
            EXPECT_EQ(checker.check(offset, file.data() + offset, size, scratch.data()), size);
            EXPECT_EQ(checker.context_bytes(offset), !c.seed_known && offset > 0 ? kContentContextBytes : 0u);
            std::vector<uint8_t> damaged(file);
            const size_t at = size - 4999;
            damaged[offset + at] ^= 0x10;
            EXPECT_EQ(checker.check(offset, damaged.data() + offset, size, scratch.data()), at);
        }
        // Another file's bytes are not this file's (generator data whose seed is not known cannot
        // tell: its words follow each other in every file).
        if (c.files_type != kZeros && c.seed_known) {
            FileContent other(run, 8);
            EXPECT_LT(other.check(0, file.data(), kBytes, scratch.data()), size_t{8});
        }
    }
}

TEST(FileContent, GeneratorDataGoesOnFromFileToFile) {
    // File 3 of 5 KB files: two files of two chunks each before it, 1,024 steps per chunk, also
    // for the short chunk.
    RunContent run = content_of(kCases[0], 5 * 1024);
    EXPECT_EQ(run.generator_steps_before(3), uint64_t{4 * 1024});
    EXPECT_EQ(run.generator_steps_before(1), uint64_t{0});
    run.file_bytes = 0;
    EXPECT_EQ(run.generator_steps_before(65536), uint64_t{0}) << "empty files take no steps";
    EXPECT_EQ(lcg_file_steps(1), kChunkWords);
    EXPECT_EQ(lcg_file_steps(kChunkBytes + 1), 2 * kChunkWords);
}

} // namespace
