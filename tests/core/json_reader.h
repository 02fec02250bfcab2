// A strict JSON reader for the tests (RFC 8259: no trailing commas, no NaN, no leading zeros, no
// raw control characters in strings, nothing after the value), so that what pelmora-cli --json
// prints is read back the way any other program would.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/base/text.h"

struct JsonValue;
using JsonObject = std::map<std::string, JsonValue>;
using JsonArray = std::vector<JsonValue>;

struct JsonValue {
    // null, true/false, a number, a string (UTF-8), an array, an object.
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<JsonArray>,
                 std::shared_ptr<JsonObject>>
        value;
    std::string number_text; // a number as written, so that 64-bit integers survive

    bool is_null() const { return std::holds_alternative<std::nullptr_t>(value); }
    bool is_bool() const { return std::holds_alternative<bool>(value); }
    bool is_number() const { return std::holds_alternative<double>(value); }
    bool is_string() const { return std::holds_alternative<std::string>(value); }
    bool is_array() const { return std::holds_alternative<std::shared_ptr<JsonArray>>(value); }
    bool is_object() const { return std::holds_alternative<std::shared_ptr<JsonObject>>(value); }

    bool boolean() const { return std::get<bool>(value); }
    double number() const { return std::get<double>(value); }
    // A whole number that must be one (throws otherwise, failing the test).
    uint64_t whole() const {
        size_t used = 0;
        const uint64_t n = std::stoull(number_text, &used);
        if (used != number_text.size() || number_text[0] == '-')
            throw std::invalid_argument("not a whole number: " + number_text);
        return n;
    }
    const std::string& string() const { return std::get<std::string>(value); }
    const JsonArray& array() const { return *std::get<std::shared_ptr<JsonArray>>(value); }
    const JsonObject& object() const { return *std::get<std::shared_ptr<JsonObject>>(value); }
    // A member of an object; throws when the key is absent.
    const JsonValue& operator[](const std::string& key) const { return object().at(key); }
    const JsonValue& operator[](size_t index) const { return array().at(index); }
};

class JsonReader {
public:
    // The one value that `text` holds, or nothing with `error` saying where it went wrong.
    static std::optional<JsonValue> parse(std::string_view text, std::string& error) {
        JsonReader reader(text);
        std::optional<JsonValue> value = reader.value();
        reader.space();
        if (value && reader.at_ != text.size())
            reader.fail("text after the value");
        if (!reader.error_.empty()) {
            error = reader.error_ + " at offset " + std::to_string(reader.at_);
            return std::nullopt;
        }
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : text_(text) {}

    std::nullopt_t fail(const std::string& why) {
        if (error_.empty())
            error_ = why;
        return std::nullopt;
    }
    void space() {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(std::string_view w) {
        if (text_.substr(at_, w.size()) != w)
            return false;
        at_ += w.size();
        return true;
    }
    bool digit() const { return at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9'; }

    std::optional<JsonValue> value() {
        if (++depth_ > 64)
            return fail("nested too deep");
        space();
        std::optional<JsonValue> result;
        if (at_ >= text_.size())
            return fail("end of text where a value was due");
        const char c = text_[at_];
        if (word("null"))
            result = JsonValue{nullptr, {}};
        else if (word("true"))
            result = JsonValue{true, {}};
        else if (word("false"))
            result = JsonValue{false, {}};
        else if (c == '"') {
            std::optional<std::string> s = string();
            if (s)
                result = JsonValue{std::move(*s), {}};
        } else if (c == '[')
            result = array();
        else if (c == '{')
            result = object();
        else if (c == '-' || (c >= '0' && c <= '9'))
            result = number();
        else
            return fail(std::string("unexpected character '") + c + "'");
        --depth_;
        return result;
    }

    std::optional<JsonValue> number() {
        const size_t start = at_;
        take('-');
        if (take('0')) {
            if (digit())
                return fail("a leading zero");
        } else if (!digit()) {
            return fail("a number without digits");
        }
        while (digit())
            ++at_;
        if (take('.')) {
            if (!digit())
                return fail("no digits after the decimal point");
            while (digit())
                ++at_;
        }
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            if (!digit())
                return fail("no digits in the exponent");
            while (digit())
                ++at_;
        }
        std::string text(text_.substr(start, at_ - start));
        return JsonValue{std::strtod(text.c_str(), nullptr), text};
    }

    // Through the program's own UTF-16 to UTF-8 conversion.
    static void append_utf8(std::string& out, uint32_t c) {
        std::u16string unit;
        if (c >= 0x10000)
            unit = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
                    static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
        else
            unit = {static_cast<char16_t>(c)};
        out += to_utf8(unit);
    }

    std::optional<uint32_t> hex4() {
        if (at_ + 4 > text_.size())
            return fail("a short \\u escape");
        uint32_t unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            unit <<= 4;
            if (h >= '0' && h <= '9')
                unit |= static_cast<uint32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                unit |= static_cast<uint32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                unit |= static_cast<uint32_t>(h - 'A' + 10);
            else
                return fail("a bad hex digit");
        }
        return unit;
    }

    std::optional<std::string> string() {
        take('"');
        std::string out;
        while (true) {
            if (at_ >= text_.size())
                return fail("an unterminated string");
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return out;
            if (c < 0x20)
                return fail("a raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size())
                return fail("an unterminated escape");
            const char e = text_[at_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::optional<uint32_t> unit = hex4();
                if (!unit)
                    return std::nullopt;
                uint32_t code = *unit;
                if (code >= 0xD800 && code < 0xDC00 && word("\\u")) {
                    std::optional<uint32_t> low = hex4();
                    if (!low || *low < 0xDC00 || *low >= 0xE000)
                        return fail("a high surrogate without its low one");
                    code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                }
                append_utf8(out, code);
                break;
            }
            default:
                return fail(std::string("an unknown escape \\") + e);
            }
        }
    }

    std::optional<JsonValue> array() {
        take('[');
        auto items = std::make_shared<JsonArray>();
        space();
        if (!take(']')) {
            do {
                std::optional<JsonValue> item = value();
                if (!item)
                    return std::nullopt;
                items->push_back(std::move(*item));
                space();
            } while (take(','));
            if (!take(']'))
                return fail("an array without its ']'");
        }
        return JsonValue{items, {}};
    }

    std::optional<JsonValue> object() {
        take('{');
        auto members = std::make_shared<JsonObject>();
        space();
        if (!take('}')) {
            do {
                space();
                if (at_ >= text_.size() || text_[at_] != '"')
                    return fail("a key that is no string");
                std::optional<std::string> key = string();
                if (!key)
                    return std::nullopt;
                space();
                if (!take(':'))
                    return fail("a key without ':'");
                std::optional<JsonValue> member = value();
                if (!member)
                    return std::nullopt;
                if (!members->emplace(std::move(*key), std::move(*member)).second)
                    return fail("a key given twice");
                space();
            } while (take(','));
            if (!take('}'))
                return fail("an object without its '}'");
        }
        return JsonValue{members, {}};
    }

    std::string_view text_;
    size_t at_ = 0;
    int depth_ = 0;
    std::string error_;
};
