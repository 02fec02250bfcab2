// Progress and throughput texts.
#include "core/run/progress.h"

#include <chrono>
#include <cmath>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/run/run_view.h"

namespace {

const auto process_start = std::chrono::steady_clock::now();

// A copy: the run's worker is not the thread that loads translations.
std::u16string text(int number) { return copy_text(number); }

// A run or a report within its first millisecond has no measurable elapsed time; dividing by
// one millisecond instead keeps the throughput finite.
double divisor(double seconds) { return seconds > 0.001 ? seconds : 0.001; }

} // namespace

std::atomic<int32_t> run_start_clock{0};

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
        return (s >= 1 ? format_ascii("%d ", s) : u"< 1 ") + text(47);
    return format_ascii("%d ", static_cast<int>(seconds / 60.0)) + text(48) + format_ascii(", %d ", s) +
           text(47) + u".";
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

int32_t report_progress(double done, double total, RunView* owner, int finished) {
    if (owner == nullptr)
        return 0;
    const double fraction = done / total;
    const double percent = fraction * 100.0;
    // An undefined percentage (a total of 0) leaves the bar at 0.
    owner->set_bar(percent > 0.0 ? static_cast<int>(percent) : 0);
    if (percent > 0.02) {
        const double elapsed = elapsed_seconds(run_start_clock);
        const double speed = done / divisor(elapsed);
        const double remaining = elapsed / fraction * (1.0 - fraction);
        owner->set_lower_line(text(44) + u": " + format_duration(remaining) + u"  ||  " + text(45) + u": " +
                              format_duration(elapsed));
        owner->set_upper_line(text(43) + format_ascii(" :[%.1f %%]  ||  ", percent) + u"\u00D8 " +
                              format_size(speed) + u" / " + text(47) + u"  || " + format_size(done) + u" " +
                              text(46) + u" " + format_size(total) + u" ");
    }
    if (finished) {
        const double elapsed = elapsed_seconds(run_start_clock);
        owner->set_upper_line(text(50) + u"   :||  \u00D8 " + format_size(total / divisor(elapsed)) + u" / " +
                              text(47) + u"  || " + text(49) + u": " + format_duration(elapsed));
        owner->set_bar(100);
        owner->set_lower_line(u"");
    }
    owner->report_shown(finished != 0);
    return 1;
}
