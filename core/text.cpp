#include "text.h"

namespace tapeloom {

namespace {
char lowerOf(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperOf(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Length of the UTF-8 sequence a lead byte starts, 0 for a byte that cannot lead one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}
bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}
} // namespace

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerOf(c);
    return out;
}

std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = upperOf(c);
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerOf(a[i]) != lowerOf(b[i]))
            return false;
    return true;
}

std::string_view cutName(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (!isContinuation(byteAt(maxBytes)))
        return text.substr(0, maxBytes);
    // Walk back to the lead byte of the sequence that straddles the cut.
    std::size_t start = maxBytes;
    while (start > 0 && maxBytes - start < 3 && isContinuation(byteAt(start)))
        --start;
    std::size_t length = sequenceLength(byteAt(start));
    bool straddles = length != 0 && start + length > maxBytes;
    for (std::size_t i = start + 1; straddles && i < start + length && i < text.size(); ++i)
        straddles = isContinuation(byteAt(i));
    return text.substr(0, straddles ? start : maxBytes);
}

std::string nameField(std::string_view text, std::size_t width) {
    std::string field(cutName(text, width));
    field.resize(width, ' ');
    return field;
}

} // namespace tapeloom
