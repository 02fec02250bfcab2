// The settings file's path and integer rules, and the autostart command.
#include "core/rules/settings_rules.h"

#include <algorithm>
#include <limits>

std::u16string settings_path_for(std::u16string_view exe_path) {
    // The search runs over the whole path, not only the file name: an executable without an
    // extension in a folder such as "my.tools" keeps its settings in "my.ini" beside that folder.
    const size_t dot = exe_path.rfind(u'.');
    std::u16string path(exe_path.substr(0, dot == std::u16string_view::npos ? exe_path.size() : dot));
    return path.append(u".ini");
}

int32_t settings_int_from_text(std::u16string_view text, int32_t default_value) {
    if (text.empty())
        return default_value;
    // strtol by hand: wcstol would read 32-bit wchar_t on Linux, and its long is 64 bits there.
    size_t at = 0;
    while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r')))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == u'+' || text[at] == u'-'))
        negative = text[at++] == u'-';
    // Counted in 64 bits and held just past the 32-bit range, so the limit stays exact.
    constexpr int64_t kBeyond = int64_t{std::numeric_limits<int32_t>::max()} + 2;
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at)
        magnitude = std::min(magnitude * 10 + (text[at] - u'0'), kBeyond);
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::u16string autostart_command(std::u16string_view exe_path) {
    std::u16string command(u"\"");
    return command.append(exe_path).append(u"\" -bg");
}
