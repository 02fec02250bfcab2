// The JSON of --json.
#include "cli/json_writer.h"

#include <cmath>
#include <cstdio>

void JsonWriter::separate() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back())
            out_ += ',';
        first_.back() = false;
    }
}

JsonWriter& JsonWriter::begin_object() {
    separate();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::end_object() {
    out_ += '}';
    first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::begin_array() {
    separate();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::end_array() {
    out_ += ']';
    first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    quote(std::u16string(name.begin(), name.end()));
    out_ += ':';
    after_key_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::u16string_view text) {
    separate();
    quote(text);
    return *this;
}

void JsonWriter::quote(std::u16string_view text) {
    out_ += '"';
    for (const char16_t c : text) {
        if (c == u'"' || c == u'\\') {
            out_ += '\\';
            out_ += static_cast<char>(c);
        } else if (c == u'\n') {
            out_ += "\\n";
        } else if (c == u'\r') {
            out_ += "\\r";
        } else if (c == u'\t') {
            out_ += "\\t";
        } else if (c < 0x20 || c > 0x7E) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out_ += escape;
        } else {
            out_ += static_cast<char>(c);
        }
    }
    out_ += '"';
}

JsonWriter& JsonWriter::ascii(std::string_view text) {
    return value(std::u16string(text.begin(), text.end()));
}

JsonWriter& JsonWriter::value(uint64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number, int decimals) {
    if (!std::isfinite(number))
        return null();
    separate();
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, number);
    out_ += text;
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}
