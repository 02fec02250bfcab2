// Explorer's command line, made where it can be tested on any platform.
#include "core/run/reveal.h"

std::u16string explorer_program(const std::u16string& windows_folder) {
    return windows_folder + u"\\explorer.exe";
}

std::u16string explorer_parameters(const std::u16string& path) {
    std::u16string single;
    for (size_t i = 0; i < path.size(); ++i) {
        single += path[i];
        if (path[i] == u'\\' && i + 1 < path.size() && path[i + 1] == u'\\')
            ++i;
    }
    return u" /select,\"" + single + u"\",/e";
}
