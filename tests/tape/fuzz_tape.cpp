// Any bytes, read as a .tap and (behind the TZX signature) as a .tzx: reading either fails with
// TapeError or gives blocks inside the file, and playing them gives edges in time order, ends
// or stops, and keeps its progress within the tape.
#include "tape_pulses.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tapeloom;
    static const std::uint8_t kSignature[] = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
    for (bool asTzx : {false, true}) {
        std::vector<std::uint8_t> bytes;
        if (asTzx && (size < 8 || std::memcmp(data, kSignature, 8) != 0))
            bytes.assign(kSignature, kSignature + sizeof kSignature);
        bytes.insert(bytes.end(), data, data + size);
        try {
            TapeFile tape = TapeFile::parse(bytes, "fuzz");
            for (const TapeBlock& block : tape.blocks())
                if (block.offset + block.size > bytes.size() ||
                    block.dataOffset + block.dataSize > bytes.size())
                    std::abort();
            for (PauseLevels pauses : {PauseLevels::Finished, PauseLevels::Held}) {
                TapePlayer player(tape, {.machine48K = asTzx, .pauses = pauses, .start = 0});
                std::uint64_t last = 0;
                for (int edges = 0; edges < 20000; ++edges) {
                    std::uint64_t edge = player.nextEdge();
                    if (edge == TapePlayer::kNever) {
                        // Stopped or ended: play again a little later (a level change at once
                        // would give two edges at one time).
                        std::uint64_t later = player.stopTime() + 1000;
                        player.levelAt(later);
                        if (!player.play(later))
                            break;
                        continue;
                    }
                    if (edge < last || (edge == last && edge < kTapeForever && edges > 0))
                        std::abort();
                    last = edge;
                    bool level = player.level();
                    player.advance();
                    if (player.level() == level)
                        std::abort();
                }
                TapePosition position = player.position();
                if (position.played > position.total || position.block >= tape.blocks().size())
                    std::abort();
            }
        } catch (const TapeError&) {
        }
    }
    return 0;
}
