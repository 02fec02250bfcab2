// Writing one JSON object for --json: keys in the order they are written, text as plain ASCII
// (everything else as \u escapes, so no code page can garble it), numbers in the C locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class JsonWriter {
public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    // The key of the next member of the object that is open.
    JsonWriter& key(std::string_view name);

    JsonWriter& value(std::u16string_view text);
    JsonWriter& value(const char16_t* text) { return value(std::u16string_view(text)); }
    JsonWriter& ascii(std::string_view text); // a text known to be ASCII (words of the schema)
    JsonWriter& value(uint64_t number);
    JsonWriter& value(int64_t number);
    JsonWriter& value(int32_t number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(double number, int decimals); // null when it is no finite number
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out_; }
    // What was written since the last take, for an object written out as it grows; the open
    // objects and arrays stay open.
    std::string take() { return std::exchange(out_, {}); }

private:
    void separate();
    void quote(std::u16string_view text);

    std::string out_;
    std::vector<bool> first_; // per open object or array: no member written yet
    bool after_key_ = false;
};
