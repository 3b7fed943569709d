#pragma once
// The key vocabulary: ten button slots, 46 key names and their one-byte key codes.
#include <array>
#include <cstdint>
#include <string_view>

namespace tapeloom {

// Ten key codes, one per button slot, in slot order.
using KeyBlock = std::array<std::uint8_t, 10>;

// The key names in list order; position 0 is "no assignment".
extern const std::array<std::string_view, 46> kKeyNames;

// The setting keys of the button slots, in slot order (the order of a key block).
extern const std::array<std::string_view, 10> kSlotKeys;

// Key code of a stored key name, matched ignoring ASCII case as the configuration dialog shows
// it ("joy fire" is JOY FIRE, "q" is Q); anything unknown gives 0.
std::uint8_t keyCode(std::string_view stored);

// Position of a name in kKeyNames, -1 when absent. ignoreCase compares ASCII letters only.
int keyListPosition(std::string_view name, bool ignoreCase);

} // namespace tapeloom
