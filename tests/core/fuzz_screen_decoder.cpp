// Any bytes, read as .SNA and as .Z80: decoding ends, stays in its buffer, and draws only
// palette colours.
#include "screen_decoder.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tapeloom;
    const ByteView bytes(data, size);
    const auto& tables = previewTables();
    const ScreenPage sna = readScreenPage(SnapshotKind::Sna, bytes);
    (void)sna;
    const SpectrumScreen screen = decodeScreenBytes("f.Z80", bytes);
    // Every pixel is a palette colour; a sample keeps the target fast.
    for (std::size_t i = 0; i < screen.pixels.size(); i += 61) {
        const std::uint32_t pixel = screen.pixels[i];
        bool known = false;
        for (std::size_t c = 0; c < 8; ++c)
            known = known || pixel == tables.normalPalette[c] || pixel == tables.brightPalette[c];
        if (!known)
            std::abort();
    }
    return 0;
}
