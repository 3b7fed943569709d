#pragma once
// The configuration dialog's rules for one catalogue entry: the scheme list, which keys the ten
// boxes show in preset and in custom mode, and what choosing a scheme, picking a key and
// closing write to the entry's section of TPL.INI. The window only moves these values in and
// out of its controls.
#include "build_messages.h"
#include "catalogue.h"
#include "keys.h"
#include "settings_file.h"
#include "settings_keys.h"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tapeloom {

using ini::kCustomScheme;

// Refuses the close while the display name is blank.
inline constexpr Message kBlankNameMessage{
    "TPL Error", "ROM Name cannot be blank. Enter a valid ROM name.", Buttons::Ok, Icon::None};

// The slot keys of the ten key boxes, in the order the dialog reads and shows them.
inline constexpr std::array<std::string_view, 10> kKeyBoxSlots = {
    "Back Left", "Back Right", "DPad Left", "DPad Right", "DPad Up",
    "DPad Down", "Start",      "Select",    "Button A",   "Button B"};

// What each key box has selected, in kKeyBoxSlots order: a position in kKeyNames, or -1 for
// no selection.
using KeyBoxPicks = std::array<int, 10>;

// The keys the boxes show, and whether they are open for editing (custom mode).
struct KeyBoxes {
    bool custom = false;
    KeyBoxPicks picks{};
};

struct ConfigurationView {
    std::vector<std::string> schemes; // the presets in list order, then "Custom"
    int scheme = -1;                  // the selected item of schemes, -1 for none
    std::string displayName;
    KeyBoxes keys;
};

// The first item equal to value ignoring ASCII case; -1 when none is.
int matchingItem(std::span<const std::string> items, std::string_view value);

// A box's value: the text of the selected key name, or "" with no selection.
std::string_view keyBoxValue(int pick);

// Control Defaults / Default0, Default1, ... up to the first empty or missing one, then
// "Custom".
std::vector<std::string> schemeChoices(const SettingsFile& settings);

// Custom mode only for exactly "Custom": a scheme value is always an item's own text.
bool isCustomScheme(std::string_view schemeValue);

// The boxes for a scheme value: custom mode shows the entry's own section, preset mode the
// section "Control_" + scheme; a missing key shows "<unassigned>", an unknown name nothing.
KeyBoxes keyBoxesFor(const SettingsFile& settings, std::string_view sectionKey,
                     std::string_view schemeValue);

// Opening: reads everything the dialog shows for the entry; writes nothing.
ConfigurationView openConfiguration(const SettingsFile& settings, const CatalogueEntry& entry);

// The user picks scheme S. A preset shows its keys and deletes the entry's ten slot keys; "Custom"
// keeps the boxes as shown and writes their values as the entry's slot keys. Then Control = S.
// The caller sets the entry's scheme column to S. Returns what the boxes show next.
KeyBoxes chooseScheme(SettingsFile& settings, std::string_view sectionKey, std::string_view scheme,
                      const KeyBoxPicks& shown);

// The user picks a key in box `box` (an index into kKeyBoxSlots): its slot key gets the value.
void chooseKey(SettingsFile& settings, std::string_view sectionKey, std::size_t box, int pick);

// The message that refuses the close, when the name is blank (spaces are not blank).
std::optional<Message> closeRefusal(std::string_view displayName);

// Closing: Filename = the name as typed. The caller then renames the entry through the
// catalogue's rename rule, which cuts it to 15 bytes and writes Filename once more.
void closeConfiguration(SettingsFile& settings, std::string_view sectionKey,
                        std::string_view displayName);

} // namespace tapeloom
