#pragma once
// A decoded screen as a PNG file (8-bit RGB, no compression), for the command line.
#include "screen_decoder.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tapeloom {

std::vector<std::uint8_t> encodePng(const SpectrumScreen& screen);
// Throws FileError("Cannot create file " + path) or FileError("Stream write error").
void writePng(const std::filesystem::path& path, const SpectrumScreen& screen);

} // namespace tapeloom
