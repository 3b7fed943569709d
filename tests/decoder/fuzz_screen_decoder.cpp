// Any bytes, read as .SNA and as .Z80: decoding ends, stays in its buffer, and draws only
// palette colours.
#include "screen_decoder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tapeloom::ByteView bytes(data, size);
    const auto& tables = tapeloom::previewTables();
    for (const char* name : {"f.z80", "f.SNA"}) {
        const tapeloom::SpectrumScreen screen = tapeloom::decodeScreenBytes(name, bytes);
        for (std::uint32_t pixel : screen.pixels) {
            bool known = false;
            for (int i = 0; i < 8; ++i)
                known = known || pixel == tables.normalPalette[static_cast<std::size_t>(i)] ||
                        pixel == tables.brightPalette[static_cast<std::size_t>(i)];
            if (!known)
                std::abort();
        }
    }
    return 0;
}
