#pragma once
// Every message the build shows: caption, text ('\r' is a line break), buttons and icon.
#include <string_view>

namespace tapeloom {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Exclamation, Stop };
enum class Answer { Ok, Yes, No };

struct Message {
    std::string_view caption;
    std::string_view text;
    Buttons buttons;
    Icon icon;
};

inline constexpr Message kNoEntriesWarning{
    "Warning", "No ROMS selected!\rThis will create a PogoShell resource.", Buttons::Ok,
    Icon::None};
inline constexpr Message kMissingFolderError{
    "ERROR!",
    "You have not setup a path for this binary!\rPlease check the Options-->Settings menu "
    "option.",
    Buttons::Ok, Icon::Exclamation};
inline constexpr Message kReplaceCatalogueQuestion{
    "Warning", "TPL binary already exists.\rReplace?", Buttons::YesNo, Icon::Exclamation};
inline constexpr Message kReplacePluginQuestion{
    "Warning", "TPL Pogoshell binary already exists.\rReplace?", Buttons::YesNo, Icon::Exclamation};
inline constexpr Message kCatalogueCreated{"TPL", "TPL binary created. Have fun!", Buttons::Ok,
                                           Icon::None};
inline constexpr Message kPluginCreated{"TPL", "TPL4POGO binary created. Have fun!", Buttons::Ok,
                                        Icon::None};

} // namespace tapeloom
