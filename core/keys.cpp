#include "keys.h"

#include "text.h"
#include "tpl_format.h"

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

struct NamedCode {
    std::string_view name;
    std::uint8_t code;
};

// The cartridge format's key table, sorted by name for a binary search. Only whole names match,
// so "SHIFT" is never found inside "SYM SHIFT" and the order of comparison cannot change a result.
constexpr auto kCodesByName = [] {
#define TAPELOOM_NAMED_CODE_(constant, code, name) NamedCode{name, code},
    std::array<NamedCode, TPL_KEY_MAX> codes = {TPL_KEY_TABLE(TAPELOOM_NAMED_CODE_)};
#undef TAPELOOM_NAMED_CODE_
    std::sort(codes.begin(), codes.end(), [](auto a, auto b) { return a.name < b.name; });
    return codes;
}();

} // namespace

std::uint8_t keyCode(std::string_view stored) {
    // The configuration dialog finds "joy fire" in its list; the packer reads it the same way.
    const std::string upper = asciiUpper(stored);
    const std::string_view keyName = upper;
    auto found =
        std::lower_bound(kCodesByName.begin(), kCodesByName.end(), keyName,
                         [](const NamedCode& a, std::string_view b) { return a.name < b; });
    return found != kCodesByName.end() && found->name == keyName ? found->code : 0;
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
