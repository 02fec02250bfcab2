// Progress and throughput texts.
#include "core/run/progress.h"

#include <chrono>
#include <cmath>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/run_view.h"

namespace {

const auto process_start = std::chrono::steady_clock::now();

// A run or a report within its first millisecond has no measurable elapsed time; dividing by
// one millisecond instead keeps the throughput finite.
double divisor(double seconds) { return seconds > 0.001 ? seconds : 0.001; }

} // namespace

int32_t clock_ms() {
    const auto since = std::chrono::steady_clock::now() - process_start;
    return static_cast<int32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

double elapsed_seconds(int32_t start) {
    const auto difference =
        static_cast<int32_t>(static_cast<uint32_t>(clock_ms()) - static_cast<uint32_t>(start));
    return difference / 1000.0;
}

std::u16string format_duration(double seconds) {
    const int s = static_cast<int>(std::fmod(seconds, 60.0));
    if (seconds < 60.0)
        return (s >= 1 ? format_ascii("%d ", s) : u"< 1 ") + text(kTextSeconds);
    return format_ascii("%d ", static_cast<int>(seconds / 60.0)) + text(kTextMinutes) +
           format_ascii(", %d ", s) + text(kTextSeconds) + u".";
}

std::u16string format_size(double bytes) {
    if (bytes > 1073741824.0)
        return format_ascii("%.2f GB", bytes / 1073741824.0);
    if (bytes > 1048576.0)
        return format_ascii("%.2f MB", bytes / 1048576.0);
    if (bytes > 1024.0)
        return format_ascii("%.2f KB", bytes / 1024.0);
    return format_ascii("%d Byte", static_cast<int>(bytes));
}

void report_progress(double done, double total, RunView* owner, int finished, int32_t started,
                     uint64_t files_done, uint64_t files_total) {
    if (owner == nullptr)
        return;
    if (files_total > 0)
        owner->set_file_rate(
            format_ascii("%.0f ", static_cast<double>(files_done) / divisor(elapsed_seconds(started))) +
            text(kTextColumnFiles) + u" / " + text(kTextSeconds));
    // Empty files have no bytes to count: their number tells how far the run is.
    const double fraction = total > 0 || files_total == 0
                                ? done / total
                                : static_cast<double>(files_done) / static_cast<double>(files_total);
    const double percent = fraction * 100.0;
    // An undefined percentage (a total of 0) leaves the bar at 0.
    owner->set_bar(percent > 0.0 ? static_cast<int>(percent) : 0);
    if (percent > 0.02) {
        const double elapsed = elapsed_seconds(started);
        const double speed = done / divisor(elapsed);
        const double remaining = elapsed / fraction * (1.0 - fraction);
        owner->set_lower_line(text(kTextRemaining) + u": " + format_duration(remaining) + u"  ||  " +
                              text(kTextElapsed) + u": " + format_duration(elapsed));
        owner->set_upper_line(text(kTextStatus) + format_ascii(" :[%.1f %%]  ||  ", percent) + u"\u00D8 " +
                              format_size(speed) + u" / " + text(kTextSeconds) + u"  || " +
                              format_size(done) + u" " + text(kTextOf) + u" " + format_size(total) + u" ");
    }
    if (finished) {
        const double elapsed = elapsed_seconds(started);
        owner->set_upper_line(text(kTextFinished) + u"   :||  \u00D8 " +
                              format_size(done / divisor(elapsed)) + u" / " + text(kTextSeconds) + u"  || " +
                              text(kTextTotalTime) + u": " + format_duration(elapsed));
        owner->set_bar(100);
        owner->set_lower_line(u"");
    }
    owner->report_shown(finished != 0);
}
