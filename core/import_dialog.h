#pragma once
// The texts and choices of the "Import Tarn INI" dialog around the import of inject_ini.h.
#include "build_messages.h"
#include "inject_ini.h"

#include <string_view>

namespace tapeloom {

// The file-open dialog: its title, and one filter entry that lets only INJECT.INI show.
inline constexpr std::string_view kInjectOpenTitle = "Select Tarn INJECT.INI";
inline constexpr std::string_view kInjectFilterName = "Tarn INJECT.INI";
inline constexpr std::string_view kInjectFileName = "INJECT.INI";

// Import is offered while at least one of the two boxes is checked.
inline bool importOffered(const ImportOptions& options) {
    return options.update || options.add;
}

// The closing report; text is importReport()'s and must outlive the message.
inline Message importReportMessage(std::string_view text) {
    return {kImportReportCaption, text, Buttons::Ok, Icon::None};
}

} // namespace tapeloom
