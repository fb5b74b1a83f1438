#include "cli/json.h"

#include <cstdio>

namespace fw {

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char u[8];
                std::snprintf(u, sizeof u, "\\u%04x", c);
                out += u;
            } else {
                // Text is passed on as the system gave it (UTF-8 paths stay UTF-8).
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::raw(const char* name, const std::string& json)
{
    if (!body_.empty())
        body_ += ",";
    body_ += jsonString(name) + ":" + json;
    return *this;
}

JsonObject& JsonObject::add(const char* name, const std::string& value)
{
    return raw(name, jsonString(value));
}

JsonObject& JsonObject::add(const char* name, std::int64_t value)
{
    return raw(name, std::to_string(value));
}

JsonObject& JsonObject::add(const char* name, double value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", value);
    return raw(name, buf);
}

JsonObject& JsonObject::add(const char* name, bool value)
{
    return raw(name, value ? "true" : "false");
}

JsonObject& JsonObject::add(const char* name, const JsonObject& value)
{
    return raw(name, value.text());
}

JsonObject& JsonObject::addArray(const char* name, const std::string& joinedValues)
{
    return raw(name, "[" + joinedValues + "]");
}

JsonObject& JsonObject::addNull(const char* name)
{
    return raw(name, "null");
}

JsonObject& JsonObject::addOptional(const char* name, const std::optional<std::string>& value)
{
    return value ? add(name, *value) : addNull(name);
}

} // namespace fw
