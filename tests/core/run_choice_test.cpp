// Tests of reading a run's options from texts, and of the line that names those not the defaults.
#include "core/run/run_choice.h"

#include <gtest/gtest.h>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/run/file_type.h"
#include "tests/core/shared_state.h"

namespace {

class RunChoiceTest : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
        language_index = 1;
    }
};

TEST_F(RunChoiceTest, EveryNumberIsReadWithinItsRangeAndTheFirstBadOneIsNamed) {
    const struct {
        RunChoiceTexts texts;
        RunChoiceField bad;
    } cases[] = {
        {{u"", u"100", u"0", u"1"}, RunChoiceField::none},
        {{u" 7 ", u"40", u"30", u"4"}, RunChoiceField::none},
        {{u"0", u"1", u"99", u"64"}, RunChoiceField::none},
        {{u"1125899906842623", u"100", u"0", u"1"}, RunChoiceField::none},
        {{u"1125899906842624", u"100", u"0", u"1"}, RunChoiceField::seed},
        {{u"-1", u"100", u"0", u"1"}, RunChoiceField::seed},
        {{u"7x", u"100", u"0", u"1"}, RunChoiceField::seed},
        {{u"", u"0", u"0", u"1"}, RunChoiceField::compress},
        {{u"", u"101", u"0", u"1"}, RunChoiceField::compress},
        {{u"", u"", u"0", u"1"}, RunChoiceField::compress},
        {{u"", u"50", u"100", u"1"}, RunChoiceField::dedupe},
        {{u"", u"50", u"-1", u"1"}, RunChoiceField::dedupe},
        {{u"", u"50", u"10", u"0"}, RunChoiceField::jobs},
        {{u"", u"50", u"10", u"65"}, RunChoiceField::jobs},
        {{u"x", u"0", u"100", u"0"}, RunChoiceField::seed}, // the first of several
        {{u"", u"50", u"10", u"1", u" 1m "}, RunChoiceField::none},
        {{u"", u"50", u"10", u"1", u"file"}, RunChoiceField::none},
        {{u"", u"50", u"10", u"1", u"3K"}, RunChoiceField::dedupe_unit},
        {{u"", u"50", u"10", u"1", u"128M"}, RunChoiceField::dedupe_unit},
        {{u"", u"50", u"10", u"1", u""}, RunChoiceField::dedupe_unit},
        {{u"", u"50", u"10", u"0", u"x"}, RunChoiceField::dedupe_unit}, // before jobs, as in the dialog
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.texts.seed + u"|" + c.texts.compress + u"|" + c.texts.dedupe + u"|" +
                             c.texts.jobs + u"|" + c.texts.dedupe_unit));
        RunChoice choice;
        EXPECT_EQ(read_run_choice(c.texts, choice), c.bad);
    }
    RunChoice choice;
    ASSERT_EQ(read_run_choice({u" 7 ", u"40", u"30", u"4"}, choice), RunChoiceField::none);
    EXPECT_EQ(choice.seed, 7u);
    EXPECT_EQ(choice.shape, (DataShape{40, 30}));
    ASSERT_EQ(read_run_choice({u"", u"40", u"30", u"4", u"16M"}, choice), RunChoiceField::none);
    EXPECT_EQ(choice.shape, (DataShape{40, 30, 24}));
    ASSERT_EQ(read_run_choice({u"", u"40", u"30", u"4", u"file"}, choice), RunChoiceField::none);
    EXPECT_EQ(choice.shape.unit, kDedupeUnitFile);
    EXPECT_EQ(choice.jobs, 4);
    ASSERT_EQ(read_run_choice({u"", u"100", u"0", u"1"}, choice), RunChoiceField::none);
    EXPECT_FALSE(choice.seed) << "a blank seed is none, also after a number was read";
}

TEST_F(RunChoiceTest, TheRangesAreTheCommandLines) {
    EXPECT_EQ(range_of(RunChoiceField::seed).high, 1125899906842623);
    EXPECT_EQ(range_of(RunChoiceField::compress).low, 1);
    EXPECT_EQ(range_of(RunChoiceField::compress).high, 100);
    EXPECT_EQ(range_of(RunChoiceField::dedupe).high, 99);
    EXPECT_EQ(range_of(RunChoiceField::jobs).high, 64);
}

TEST_F(RunChoiceTest, TheLineNamesWhatIsNotTheDefault) {
    RunChoice shaped;
    shaped.shape = {40, 30};
    shaped.seed = 7;
    shaped.jobs = 4;
    shaped.direct = true;
    RunChoice blocks = shaped;
    blocks.shape.unit = 20;
    RunChoice files = shaped;
    files.shape.unit = kDedupeUnitFile;
    RunChoice unit_alone = RunChoice{};
    unit_alone.shape.unit = 20; // without copies the unit changes nothing, and is not named
    RunChoice all = shaped;
    all.fill = true;
    all.sync = true;
    const struct {
        RunChoice choice;
        int32_t type;
        int32_t language;
        std::u16string line;
    } cases[] = {
        {RunChoice{}, kRandomData, 1, u""},
        {shaped, kRandomData, 1, u"40 % compressible, 30 % duplicates, seed 7, 4 jobs, past the cache"},
        {shaped, kGeneratorData, 1, u"seed 7, 4 jobs, past the cache"},
        {blocks, kRandomData, 1,
         u"40 % compressible, 30 % duplicates in 1 MB blocks, seed 7, 4 jobs, past the cache"},
        {files, kRandomData, 1, u"40 % compressible, 30 % duplicate files, seed 7, 4 jobs, past the cache"},
        {files, kZeros, 1, u"seed 7, 4 jobs, past the cache"},
        {unit_alone, kRandomData, 1, u""},
        {blocks, kRandomData, 0,
         u"auf 40 % komprimierbar, 30 % Duplikate in Blöcken von 1 MB, Startwert 7, 4 Jobs, am Cache vorbei"},
        {all, kZeros, 1, u"seed 7, 4 jobs, past the cache, until the disk is full, flush each file"},
        {shaped, kRandomData, 0,
         u"auf 40 % komprimierbar, 30 % Duplikate, Startwert 7, 4 Jobs, am Cache vorbei"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.line));
        language_index = c.language;
        EXPECT_EQ(run_choice_summary(c.choice, c.type), c.line);
    }
}

} // namespace
