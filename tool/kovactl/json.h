// A JSON object built key by key, in the order the keys are added (so that
// the output of every read-only command has stable keys in a stable order).
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace kova::ctl {

class JsonObject {
  public:
    template <std::integral T>
    JsonObject &add(std::string_view key, T value) {
        if constexpr (std::same_as<T, bool>)
            return raw(key, value ? "true" : "false");
        else
            return raw(key, std::to_string(value));
    }
    JsonObject &add(std::string_view key, double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.6g", value);
        return raw(key, text);
    }
    JsonObject &add(std::string_view key, const char *value) { return add(key, std::string_view(value)); }
    JsonObject &add(std::string_view key, std::string_view value) { return raw(key, quote(value)); }
    JsonObject &add(std::string_view key, const JsonObject &value) { return raw(key, value.text()); }
    JsonObject &add(std::string_view key, std::span<const JsonObject> values) {
        std::string list = "[";
        for (const JsonObject &v : values)
            list += (list.size() > 1 ? "," : "") + v.text();
        return raw(key, list + "]");
    }
    JsonObject &add(std::string_view key, std::span<const std::uint32_t> values) {
        std::string list = "[";
        for (const std::uint32_t v : values)
            list += (list.size() > 1 ? "," : "") + std::to_string(v);
        return raw(key, list + "]");
    }
    std::string text() const { return "{" + body_ + "}"; }

  private:
    JsonObject &raw(std::string_view key, const std::string &value) {
        if (!body_.empty()) body_ += ",";
        body_ += quote(key) + ":" + value;
        return *this;
    }
    static std::string quote(std::string_view s) {
        std::string out = "\"";
        for (const char c : s) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += c;
            }
        }
        return out + "\"";
    }
    std::string body_;
};

// Prints one object and a newline on standard output.
inline void print_json(const JsonObject &object) {
    std::printf("%s\n", object.text().c_str());
}

} // namespace kova::ctl
