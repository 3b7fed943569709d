// The settings parser on any bytes: parsing what toText() wrote must give the same text back.
#include "settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto first = tapeloom::SettingsFile::fromText(input);
    std::string text = first.toText();
    auto second = tapeloom::SettingsFile::fromText(text);
    if (second.toText() != text || second.sectionCount() != first.sectionCount())
        std::abort();
    for (const auto& name : first.sectionNames())
        if (second.sectionExists(name) != first.sectionExists(name))
            std::abort();
    return 0;
}
