#pragma once
// The text of a Windows profile (INI) file, read and changed the way the
// profile functions do it: section and key names match without regard to
// case, blanks around names and values do not count, and a change touches
// only the one key line, keeping every other byte of the file.

#include <string>
#include <string_view>

namespace fw {

// The value of `key` in the first section named `section` (later sections
// of the same name do not count); empty when the section or the key is
// missing. A line without "=" is a key with the empty value. A value in matching quotes
// comes back without them, as the profile functions give it.
std::string iniLookup(std::string_view text, std::string_view section, std::string_view key);

// `text` with `key` in `section` set to `value`: the key's line in the first
// section of that name is replaced, or a new line is added after the
// section's last key line, or a new section is added at the end. New lines use the file's own line end
// (CRLF or LF); `newFileEol` is used when the text has no line end yet.
// `value` is taken up to its first line break or NUL, so that it stays one
// line of the file.
std::string iniReplace(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value, std::string_view newFileEol);

} // namespace fw
