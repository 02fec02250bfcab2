// The settings file's path and integer rules, and the autostart command.
#include "core/rules/settings_rules.h"

#include "core/base/text.h"

std::u16string settings_path_for(std::u16string_view exe_path) {
    // The search runs over the whole path, not only the file name: an executable without an
    // extension in a folder such as "my.tools" keeps its settings in "my.ini" beside that folder.
    const size_t dot = exe_path.rfind(u'.');
    std::u16string path(exe_path.substr(0, dot == std::u16string_view::npos ? exe_path.size() : dot));
    return path.append(u".ini");
}

int32_t settings_int_from_text(std::u16string_view text, int32_t default_value) {
    return text.empty() ? default_value : leading_int32(text);
}

std::u16string autostart_command(std::u16string_view exe_path) {
    std::u16string command(u"\"");
    return command.append(exe_path).append(u"\" -bg");
}
