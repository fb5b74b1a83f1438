#pragma once
// One JSON object, written field by field in order.

#include <cstdint>
#include <optional>
#include <string>

namespace fw {

std::string jsonString(const std::string& text);

class JsonObject {
public:
    JsonObject& add(const char* name, const std::string& value);
    JsonObject& add(const char* name, const char* value) { return add(name, std::string(value)); }
    JsonObject& add(const char* name, std::int64_t value);
    JsonObject& add(const char* name, std::size_t value)
    {
        return add(name, static_cast<std::int64_t>(value));
    }
    JsonObject& add(const char* name, int value)
    {
        return add(name, static_cast<std::int64_t>(value));
    }
    JsonObject& add(const char* name, double value);
    JsonObject& add(const char* name, bool value);
    JsonObject& add(const char* name, const JsonObject& value);
    // An array of already-written JSON values.
    JsonObject& addArray(const char* name, const std::string& joinedValues);
    JsonObject& addNull(const char* name);
    // The text when set, else null.
    JsonObject& addOptional(const char* name, const std::optional<std::string>& value);

    std::string text() const { return "{" + body_ + "}"; }

private:
    JsonObject& raw(const char* name, const std::string& json);
    std::string body_;
};

} // namespace fw
