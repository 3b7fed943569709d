#include "control_config.h"

#include "settings_keys.h"
#include "text.h"

namespace tapeloom {

namespace {

using namespace ini;

std::string_view boxValueOfSlot(const KeyBoxPicks& picks, std::string_view slotKey) {
    for (std::size_t box = 0; box < kKeyBoxSlots.size(); ++box) {
        if (kKeyBoxSlots[box] == slotKey)
            return keyBoxValue(picks[box]);
    }
    return {};
}

} // namespace

int matchingItem(std::span<const std::string> items, std::string_view value) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (equalsIgnoringCase(items[i], value))
            return static_cast<int>(i);
    }
    return -1;
}

std::string_view keyBoxValue(int pick) {
    if (pick < 0 || pick >= static_cast<int>(kKeyNames.size()))
        return {};
    return kKeyNames[static_cast<std::size_t>(pick)];
}

std::vector<std::string> schemeChoices(const SettingsFile& settings) {
    std::vector<std::string> schemes;
    for (int n = 0;; ++n) {
        std::string preset =
            settings.read(kPresetListSection, std::string(kPresetListKey) + std::to_string(n), "");
        if (preset.empty())
            break;
        schemes.push_back(std::move(preset));
    }
    schemes.emplace_back(kCustomScheme);
    return schemes;
}

bool isCustomScheme(std::string_view schemeValue) {
    return schemeValue == kCustomScheme;
}

KeyBoxes keyBoxesFor(const SettingsFile& settings, std::string_view sectionKey,
                     std::string_view schemeValue) {
    KeyBoxes boxes;
    boxes.custom = isCustomScheme(schemeValue);
    const std::string section = boxes.custom ? std::string(sectionKey) : presetSection(schemeValue);
    for (std::size_t box = 0; box < kKeyBoxSlots.size(); ++box)
        boxes.picks[box] =
            keyListPosition(settings.read(section, kKeyBoxSlots[box], kUnassigned), true);
    return boxes;
}

ConfigurationView openConfiguration(const SettingsFile& settings, const CatalogueEntry& entry) {
    ConfigurationView view;
    view.schemes = schemeChoices(settings);
    view.displayName = entry.displayName;
    view.scheme = matchingItem(view.schemes, entry.scheme);
    const std::string_view schemeValue =
        view.scheme < 0 ? std::string_view() : view.schemes[static_cast<std::size_t>(view.scheme)];
    view.keys = keyBoxesFor(settings, entry.sectionKey(), schemeValue);
    return view;
}

KeyBoxes chooseScheme(SettingsFile& settings, std::string_view sectionKey, std::string_view scheme,
                      const KeyBoxPicks& shown) {
    KeyBoxes boxes{isCustomScheme(scheme), shown};
    if (!boxes.custom) {
        boxes = keyBoxesFor(settings, sectionKey, scheme);
        // A preset replaces the entry's own assignment for good.
        for (std::string_view slotKey : kSlotDeleteOrder)
            settings.remove(sectionKey, slotKey);
    } else {
        // The keys the boxes show (a preset's, right after one) become the entry's own.
        for (std::string_view slotKey : kSlotDeleteOrder)
            settings.write(sectionKey, slotKey, boxValueOfSlot(shown, slotKey));
    }
    settings.write(sectionKey, kSchemeKey, scheme);
    return boxes;
}

void chooseKey(SettingsFile& settings, std::string_view sectionKey, std::size_t box, int pick) {
    if (box < kKeyBoxSlots.size())
        settings.write(sectionKey, kKeyBoxSlots[box], keyBoxValue(pick));
}

std::optional<Message> closeRefusal(std::string_view displayName) {
    if (isBlankDisplayName(displayName))
        return kBlankNameMessage;
    return std::nullopt;
}

void closeConfiguration(SettingsFile& settings, std::string_view sectionKey,
                        std::string_view displayName) {
    settings.write(sectionKey, kDisplayNameKey, displayName);
}

} // namespace tapeloom
