// The Info page: version, system and the maker's details.
#pragma once

// Puts the page's texts on its controls; the system line only when the page is being shown.
void apply_info_texts(bool with_system_line);
