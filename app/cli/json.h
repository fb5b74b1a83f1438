#pragma once
// JSON for firmware-cli's results: fields in the order they are added, the
// same text in every locale, and text that is not UTF-8 (a file name of
// Latin-1 bytes) written with each invalid byte as U+FFFD.

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace fw {

using Json = nlohmann::ordered_json;

// One line of JSON, without the line end.
std::string jsonText(const Json& value);

// The text when set, else null.
inline Json jsonOptional(const std::optional<std::string>& text)
{
    return text ? Json(*text) : Json(nullptr);
}

} // namespace fw
