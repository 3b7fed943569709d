#include "keys.h"

#include "text.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace tapeloom {

// clang-format off
const std::array<std::string_view, 46> kKeyNames = {
    "<unassigned>",
    "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
    "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z",
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "SPACE", "ENTER", "SHIFT", "SYM SHIFT",
    "JOY LEFT", "JOY RIGHT", "JOY UP", "JOY DOWN", "JOY FIRE"};
// clang-format on

const std::array<std::string_view, 10> kSlotKeys = {
    "Button A",  "Button B", "Select",    "Start",      "DPad Right",
    "DPad Left", "DPad Up",  "DPad Down", "Back Right", "Back Left"};

namespace {

// Codes 1-40 number the Spectrum keys by half-row from the inner key outwards; 41-45 are the
// Kempston lines in bit order (right, left, down, up, fire).
constexpr std::array<std::uint8_t, 26> kLetterCodes = {
    35, 1,  37, 33, 28, 32, 31, 6,  13, 7,  8,  9,  3,   // A-M
    2,  14, 15, 30, 27, 34, 26, 12, 36, 29, 38, 11, 39}; // N-Z
constexpr std::array<std::uint8_t, 10> kDigitCodes = {20, 25, 24, 23, 22, 21, 16, 17, 18, 19};

struct NamedCode {
    std::string_view name;
    std::uint8_t code;
};
// Sorted by name for a binary search. Only whole names match, so "SHIFT" is never found inside
// "SYM SHIFT" and the order of comparison cannot change a result.
constexpr std::array<NamedCode, 9> kNamedCodes = {{{"ENTER", 10},
                                                   {"JOY DOWN", 43},
                                                   {"JOY FIRE", 45},
                                                   {"JOY LEFT", 42},
                                                   {"JOY RIGHT", 41},
                                                   {"JOY UP", 44},
                                                   {"SHIFT", 40},
                                                   {"SPACE", 5},
                                                   {"SYM SHIFT", 4}}};
static_assert(std::is_sorted(kNamedCodes.begin(), kNamedCodes.end(),
                             [](auto a, auto b) { return a.name < b.name; }));

} // namespace

std::uint8_t keyCode(std::string_view stored) {
    // The configuration dialog finds "joy fire" in its list; the packer reads it the same way.
    const std::string upper = asciiUpper(stored);
    const std::string_view keyName = upper;
    if (keyName.size() == 1) {
        char c = keyName[0];
        if (c >= '0' && c <= '9')
            return kDigitCodes[static_cast<std::size_t>(c - '0')];
        if (c >= 'A' && c <= 'Z')
            return kLetterCodes[static_cast<std::size_t>(c - 'A')];
        return 0;
    }
    auto found =
        std::lower_bound(kNamedCodes.begin(), kNamedCodes.end(), keyName,
                         [](const NamedCode& a, std::string_view b) { return a.name < b; });
    return found != kNamedCodes.end() && found->name == keyName ? found->code : 0;
}

int keyListPosition(std::string_view name, bool ignoreCase) {
    static const auto positions = [] {
        std::unordered_map<std::string, int> exact, folded;
        for (std::size_t i = 0; i < kKeyNames.size(); ++i) {
            exact.emplace(std::string(kKeyNames[i]), static_cast<int>(i));
            folded.emplace(asciiLower(kKeyNames[i]), static_cast<int>(i));
        }
        return std::array{exact, folded};
    }();
    const auto& map = positions[ignoreCase ? 1 : 0];
    auto found = map.find(ignoreCase ? asciiLower(name) : std::string(name));
    return found == map.end() ? -1 : found->second;
}

} // namespace tapeloom
