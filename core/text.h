#pragma once
// Byte-string helpers. Names are byte strings; only the ASCII letters change case.
#include <cstddef>
#include <string>
#include <string_view>

namespace tapeloom {

std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The first maxBytes bytes of text, moved back to the start of a UTF-8 sequence that would be
// cut in two (a name field of the GBA menu never ends in half a character). Bytes that do not
// form UTF-8 are cut exactly at maxBytes.
std::string_view cutName(std::string_view text, std::size_t maxBytes);

// cutName, then filled up with spaces to exactly width bytes.
std::string nameField(std::string_view text, std::size_t width);

} // namespace tapeloom
