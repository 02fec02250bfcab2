// The recommendation mail's texts, built from the catalogue's templates.
#pragma once

#include <string>
#include <string_view>

inline constexpr char16_t kProgramName[] = u"Pelmora";

// The subject: the template (kTextMailSubject), " :" and the program's name. Placeholders in the
// subject stay as written.
std::u16string recommendation_subject(std::u16string_view subject_template);

// The body: the template (kTextMailBody) with every "\r" and "\n" sequence made a real line break,
// then every "#AP#" replaced by the program's name, every "#IN#" by the program's page on the
// site and every "#DL#" by the site address.
std::u16string recommendation_body(std::u16string_view body_template, std::u16string_view site_address);
