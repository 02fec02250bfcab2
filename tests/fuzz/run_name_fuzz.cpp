// Fuzzes the reading of run file names: any name either is no run file, or reads back into parts
// that make exactly that name again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/run/names.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string name;
    for (size_t i = 0; i + 1 < size; i += 2)
        name += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    // Plain bytes too, so the corpus can hold readable names.
    std::u16string bytes(data, data + size);
    for (const std::u16string& candidate : {name, bytes}) {
        const auto parsed = parse_run_file_name(candidate);
        if (!parsed)
            continue;
        std::u16string again = file_name_head(parsed->files_type, parsed->marks);
        append_number(again, parsed->number, parsed->width);
        again += file_name_tail(parsed->tag);
        if (parsed->partial)
            again += kPartialSuffix;
        if (again != candidate || parsed->number < 1 || parsed->number > kMostFiles || parsed->width < 3 ||
            parsed->width > 10 || !parsed->marks.shape.canonical() ||
            (parsed->files_type != 2 && !parsed->marks.shape.plain()) ||
            (parsed->marks.per_folder != 0 && parsed->marks.per_folder < 2))
            std::abort();
    }
    return 0;
}
