// The recommendation mail's subject and body.
#include "core/rules/recommendation.h"

#include "core/base/text.h"

std::u16string recommendation_subject(std::u16string_view subject_template) {
    return std::u16string(subject_template) + u" :" + kProgramName;
}

std::u16string recommendation_body(std::u16string_view body_template, std::u16string_view site_address) {
    std::u16string body;
    for (size_t i = 0; i < body_template.size(); ++i) {
        if (body_template[i] == u'\\' && i + 1 < body_template.size() &&
            (body_template[i + 1] == u'r' || body_template[i + 1] == u'n')) {
            body += body_template[++i] == u'r' ? u'\r' : u'\n';
            continue;
        }
        body += body_template[i];
    }
    const std::u16string page = std::u16string(site_address) + u"?site=Freeware/" + kProgramName;
    body = replace_all(body, u"#AP#", kProgramName);
    body = replace_all(body, u"#IN#", page);
    return replace_all(body, u"#DL#", site_address);
}
