#pragma once
// Version record values; on Linux they are constants of the build.
#include "version_number.h"

#include <string_view>

namespace tapeloom {

inline constexpr std::string_view kProductName = "Tapeloom";
inline constexpr std::string_view kInternalName = "TPL";
inline constexpr std::string_view kFileVersion = TAPELOOM_VERSION;
inline constexpr std::string_view kComments = "ARM Powered ZX Spectrum Emulator for the GBA (tm)";
inline constexpr std::string_view kCopyright = "Copyright (C) 2026 the Tapeloom developers";

} // namespace tapeloom
