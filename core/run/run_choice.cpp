// Reading a run's options from texts, and the line that names those that are not the defaults.
#include "core/run/run_choice.h"

#include <vector>

#include "core/base/text.h"
#include "core/lang/catalogue.h"
#include "core/lang/text_ids.h"
#include "core/run/file_type.h"

namespace {

std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t'))
        text.remove_suffix(1);
    return text;
}

template <typename T> bool read_into(T& target, std::u16string_view text, NumberRange range) {
    const std::optional<int64_t> number = whole_number(trimmed(text));
    if (!number || !range.holds(*number))
        return false;
    target = static_cast<T>(*number);
    return true;
}

std::u16string number_text(uint64_t n) { return format_ascii("%llu", static_cast<unsigned long long>(n)); }

} // namespace

NumberRange range_of(RunChoiceField field) {
    switch (field) {
    case RunChoiceField::seed:
        return kSeedRange;
    case RunChoiceField::compress:
        return kCompressRange;
    case RunChoiceField::dedupe:
        return kDedupeRange;
    case RunChoiceField::jobs:
        return kJobsRange;
    case RunChoiceField::dedupe_unit:
    case RunChoiceField::none:
        break;
    }
    return {0, 0};
}

std::u16string dedupe_unit_label(int32_t unit) {
    if (unit == kDedupeUnitFile)
        return text(kTextWholeFiles);
    return unit < 20 ? number_text(uint64_t{1} << (unit - 10)) + u" KB"
                     : number_text(uint64_t{1} << (unit - 20)) + u" MB";
}

RunChoiceField read_run_choice(const RunChoiceTexts& texts, RunChoice& choice) {
    choice.seed.reset();
    if (!trimmed(texts.seed).empty()) {
        uint64_t seed = 0;
        if (!read_into(seed, texts.seed, kSeedRange))
            return RunChoiceField::seed;
        choice.seed = seed;
    }
    if (!read_into(choice.shape.compress, texts.compress, kCompressRange))
        return RunChoiceField::compress;
    if (!read_into(choice.shape.dedupe, texts.dedupe, kDedupeRange))
        return RunChoiceField::dedupe;
    const std::optional<int32_t> unit = parse_dedupe_unit(to_utf8(trimmed(texts.dedupe_unit)));
    if (!unit)
        return RunChoiceField::dedupe_unit;
    choice.shape.unit = *unit;
    if (!read_into(choice.jobs, texts.jobs, kJobsRange))
        return RunChoiceField::jobs;
    return RunChoiceField::none;
}

std::u16string run_choice_summary(const RunChoice& choice, int32_t files_type) {
    std::vector<std::u16string> parts;
    if (files_type == kRandomData && choice.shape.compress != 100)
        parts.push_back(
            fill_placeholders(text(kTextCompressibleShare), {number_text(choice.shape.compress)}));
    if (files_type == kRandomData && choice.shape.dedupe != 0) {
        const std::u16string share = number_text(choice.shape.dedupe);
        if (choice.shape.unit == kDedupeUnitFile)
            parts.push_back(fill_placeholders(text(kTextDuplicateFiles), {share}));
        else if (choice.shape.unit != kDedupeUnitSmallest)
            parts.push_back(fill_placeholders(text(kTextDuplicateShareUnit),
                                              {share, dedupe_unit_label(choice.shape.unit)}));
        else
            parts.push_back(fill_placeholders(text(kTextDuplicateShare), {share}));
    }
    if (choice.seed)
        parts.push_back(fill_placeholders(text(kTextSeedIs), {number_text(*choice.seed)}));
    if (choice.jobs != 1)
        parts.push_back(fill_placeholders(text(kTextJobCount), {number_text(choice.jobs)}));
    if (choice.direct)
        parts.push_back(text(kTextPastTheCache));
    if (choice.fill)
        parts.push_back(text(kTextUntilFull));
    if (choice.sync)
        parts.push_back(text(kTextFlushEach));
    return join_texts(parts, u", ");
}
