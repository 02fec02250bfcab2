// Tests of the progress report and its duration and size texts.
#include "core/run/progress.h"

#include <gtest/gtest.h>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/run/run.h"
#include "tests/core/run_fixtures.h"
#include "tests/core/shared_state.h"

namespace {

class Progress : public SharedState {
protected:
    void SetUp() override {
        SharedState::SetUp();
        ASSERT_TRUE(unpack_catalogue());
    }
    RecordingView view;
};

TEST_F(Progress, DurationTexts) {
    const struct {
        double seconds;
        int32_t language;
        std::u16string expected;
    } cases[] = {
        {0.4, 1, u"< 1 sec."},        {5, 1, u"5 sec."},
        {59.9, 1, u"59 sec."},        {60, 1, u"1 min., 0 sec.."},
        {125, 1, u"2 min., 5 sec.."}, {7200, 1, u"120 min., 0 sec.."},
        {125, 0, u"2 Min., 5 Sek.."}, // looked up on every call
    };
    for (const auto& c : cases) {
        language_index = c.language;
        EXPECT_EQ(format_duration(c.seconds), c.expected) << c.seconds;
    }
}

TEST_F(Progress, SizeTexts) {
    const struct {
        double bytes;
        std::u16string expected;
    } cases[] = {
        {0, u"0 Byte"},
        {512, u"512 Byte"},
        {1024, u"1024 Byte"},
        {1536, u"1.50 KB"},
        {1048576.0, u"1024.00 KB"},
        {1073741824.0, u"1024.00 MB"},
        {3 * 1073741824.0, u"3.00 GB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_size(c.bytes), c.expected) << c.bytes;
}

TEST_F(Progress, RunningLinesAndTheThreshold) {
    const double total = 2.86 * 1073741824.0;
    const int32_t started = clock_ms() - 40000;
    report_progress(0.425 * total, total, &view, 0, started);
    EXPECT_EQ(view.bar, 42);
    // "Status :[42.5 %]  ||  Ø <speed> / sec.  || 1.22 GB at 2.86 GB "
    EXPECT_EQ(view.upper.rfind(u"Status :[42.5 %]  ||  \u00D8 ", 0), 0u) << to_utf8(view.upper);
    EXPECT_NE(view.upper.find(u" MB / sec.  || 1.22 GB at 2.86 GB "), std::u16string::npos)
        << to_utf8(view.upper);
    EXPECT_EQ(view.upper.back(), u' ');
    EXPECT_EQ(view.lower, u"Remaining: 54 sec.  ||  Elapsed: 40 sec.");

    // At 0.02 % and below only the bar moves; the lines keep what they had.
    RecordingView quiet;
    report_progress(0.0002 * total, total, &quiet, 0, started);
    EXPECT_EQ(quiet.bar, 0);
    EXPECT_EQ(quiet.upper, u"(untouched)");
    EXPECT_EQ(quiet.lower, u"(untouched)");
    report_progress(0.0003 * total, total, &quiet, 0, started);
    EXPECT_EQ(quiet.upper.rfind(u"Status :[0.0 %]", 0), 0u) << to_utf8(quiet.upper);

    RecordingView done;
    report_progress(total, total, &done, 0, started);
    EXPECT_EQ(done.upper.rfind(u"Status :[100.0 %]", 0), 0u);
    EXPECT_EQ(done.lower.rfind(u"Remaining: < 1 sec.  ||  Elapsed: ", 0), 0u);

    report_progress(1, 2, nullptr, 1, started); // without a view nothing is shown, and nothing breaks
}

TEST_F(Progress, FinalSummaryAlsoForAnEmptyRun) {
    const int32_t started = clock_ms() - 125000;
    report_progress(0, 0, &view, 0, started);
    EXPECT_EQ(view.bar, 0);
    EXPECT_EQ(view.upper, u"(untouched)");

    report_progress(0, 0, &view, 1, started);
    EXPECT_EQ(view.bar, 100);
    EXPECT_EQ(view.upper, u"Finished   :||  \u00D8 0 Byte / sec.  || Total time: 2 min., 5 sec..");
    EXPECT_EQ(view.lower, u"");

    // No time has passed: the throughput stays a finite number.
    RecordingView instant;
    // A reading ahead of now gives a negative elapsed time; a minute ahead, so that a slow machine
    // (or a sanitizer) cannot make it positive before the report reads the clock.
    report_progress(1048576.0 * 3, 1048576.0 * 3, &instant, 1, clock_ms() + 60000);
    EXPECT_EQ(instant.upper.find(u"inf"), std::u16string::npos) << to_utf8(instant.upper);
    EXPECT_EQ(instant.upper.find(u"nan"), std::u16string::npos) << to_utf8(instant.upper);
    EXPECT_NE(instant.upper.find(u"GB / sec."), std::u16string::npos) << to_utf8(instant.upper);
}

TEST_F(Progress, TheSummaryDividesWhatWasWrittenNotWhatWasPlanned) {
    // A run of 8 GiB cancelled after 3 GiB in 1000 seconds: 3.07 MB a second, not 8.19.
    const int32_t started = clock_ms() - 1000000;
    report_progress(3.0 * 1073741824.0, 8.0 * 1073741824.0, &view, 1, started);
    EXPECT_EQ(view.upper, u"Finished   :||  \u00D8 3.07 MB / sec.  || Total time: 16 min., 40 sec..");
}

} // namespace
