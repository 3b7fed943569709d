// Reading tapes: the blocks of programs saved by pasmo and converted by tapeconv, what every
// block kind says, and bad tapes: each fault named with the file and the block, every cut of a
// tape caught at the block it cuts.
#include "errors.h"
#include "tape_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

using namespace tapeloom;
using namespace tapeloom::tapetest;

namespace {

std::string readError(const Bytes& bytes, std::string_view name) {
    try {
        TapeFile::parse(bytes, name);
    } catch (const TapeError& error) {
        return error.what();
    }
    return "(read)";
}

// A tape with every kind of block, recordings and tables included.
Bytes allKinds() {
    Tzx tzx;
    tzx.standard(1000, romBlock(0x00, Bytes(17, 'a')))
        .turbo({2000, 600, 700, 800, 1600, 3000}, 6, 0, {1, 2, 3})
        .tone(2168, 10)
        .pulses({667, 735})
        .pureData(855, 1710, 8, 100, {0x55, 0xAA})
        .direct(79, 0, 8, {0x0F, 0xF0})
        .csw(5, 44100, 1, cswRle({10, 20, 70000}))
        .csw(5, 44100, 2, deflate(cswRle({10, 20, 30})))
        .generalized(0, {{0, {500}}}, {{0, 4}}, {{0, {300, 300}}, {0, {600, 600}}}, 8, {0xA5})
        .pause(10)
        .loopStart(2)
        .tone(100, 2)
        .loopEnd()
        .stopIf48K()
        .setLevel(false)
        .text(0x21, "Side A")
        .raw({0x22})
        .text(0x30, "Loading\rscreen")
        .raw({0x31, 5, 3, 'H', 'i', '!'})
        .raw({0x32, 16, 0, 3, 0x00, 4, 'G', 'a', 'm', 'e', 0x03, 4, '1', '9', '8', '4', 0xFF, 1,
              'x'})
        .raw({0x33, 1, 0, 3, 1})
        .raw({0x35, 'P', 'O', 'K', 'E', 'S', ' ', ' ', ' ', ' ', ' ', ' ',
              ' ',  ' ', ' ', ' ', ' ', 2,   0,   0,   0,   7,   8})
        .raw({0x4B, 3, 0, 0, 0, 1, 2, 3}) // unknown: skipped by its length
        .raw({0x23, 2, 0})
        .raw({0x5A, 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20})
        .standard(0, romBlock(0xFF, {9, 8, 7}));
    return tzx.bytes();
}

} // namespace

TEST(TapeFile, ReadsTheBlocksPasmoAndTapeconvSave) {
    TempDir dir;
    const std::string program = "        org 40000\nstart:  ld a, 7\n        out (254), a\n"
                                "        ret\n        defb 1, 2, 3\nend start\n";
    writeFile(dir / "p.asm", Bytes(program.begin(), program.end()));
    ASSERT_TRUE(
        run("cd '" + (dir / "").string() +
            "' && pasmo --tapbas p.asm p.tap && pasmo p.asm p.bin && tapeconv p.tap p.tzx"));
    const Bytes code = readFile(dir / "p.bin");
    TapeFile tap = TapeFile::read(dir / "p.tap");
    TapeFile tzx = TapeFile::read(dir / "p.tzx");
    EXPECT_FALSE(tap.isTzx());
    EXPECT_TRUE(tzx.isTzx());
    for (const TapeFile* tape : {&tap, &tzx}) {
        SCOPED_TRACE(tape->name());
        const auto& blocks = tape->blocks();
        ASSERT_EQ(blocks.size(), 4u);
        EXPECT_EQ(blocks[0].info, "Program: \"loader    \" LINE 10");
        EXPECT_EQ(blocks[2].info,
                  "Bytes: \"p.tap     \" CODE 40000," + std::to_string(code.size()));
        EXPECT_EQ(blocks[3].info, "Data: " + std::to_string(code.size()) + " bytes");
        const std::uint32_t rom =
            TapeBlock::kRomData | TapeBlock::kRomTiming | TapeBlock::kChecksumOk;
        EXPECT_EQ(blocks[2].flags, rom | TapeBlock::kHeader);
        EXPECT_EQ(blocks[3].flags, rom);
        for (const TapeBlock& block : blocks) {
            EXPECT_EQ(block.description, "Standard speed data");
            EXPECT_EQ(block.pauseMs, 1000);
        }
        auto data = tape->dataOf(blocks[3]);
        EXPECT_EQ(Bytes(data.begin() + 1, data.end() - 1), code);
        EXPECT_EQ(blocks[3].pilotCount, 3223);
        EXPECT_EQ(blocks[2].pilotCount, 8063);
    }
    EXPECT_EQ(tap.duration(), tzx.duration());
    EXPECT_EQ(tap.blocks()[1].offset, 21u); // length word of the second .tap block
}

TEST(TapeFile, DescribesEveryBlockKind) {
    TapeFile tape = TapeFile::parse(allKinds(), "all.tzx");
    std::vector<std::pair<std::string, std::string>> seen;
    for (const TapeBlock& block : tape.blocks())
        seen.emplace_back(block.description, block.info);
    std::vector<std::pair<std::string, std::string>> expected{
        {"Standard speed data", "Header of type 97: \"aaaaaaaaaa\""},
        {"Turbo speed data", "3 bytes"},
        {"Pure tone", "10 pulses of 2168 T-states"},
        {"Pulse sequence", "2 pulses"},
        {"Pure data", "2 bytes"},
        {"Direct recording", "16 samples of 79 T-states"},
        {"CSW recording", "3 pulses at 44100 Hz, RLE"},
        {"CSW recording", "3 pulses at 44100 Hz, Z-RLE"},
        {"Generalized data", "1 pilot run, 8 data symbols"},
        {"Pause", "10 ms"},
        {"Loop start", "2 repetitions"},
        {"Pure tone", "2 pulses of 100 T-states"},
        {"Loop end", ""},
        {"Stop the tape if in 48K mode", ""},
        {"Set signal level", "low"},
        {"Group start", "Side A"},
        {"Group end", ""},
        {"Text description", "Loading\nscreen"},
        {"Message", "Hi! (5 s)"},
        {"Archive info", "Title: Game\nYear: 1984\nComment: x"},
        {"Hardware type", "1 entry"},
        {"Custom info", "POKES, 2 bytes"},
        {"Unknown block 0x4B", ""},
        {"Jump to block (not followed)", ""},
        {"Glue", ""},
        {"Standard speed data", "Data: 3 bytes"},
    };
    EXPECT_EQ(seen, expected);
    const TapeBlock& last = tape.blocks().back();
    EXPECT_EQ(Bytes(tape.dataOf(last).begin(), tape.dataOf(last).end()), romBlock(0xFF, {9, 8, 7}));
    EXPECT_EQ(last.offset + last.size, tape.bytes().size());
    // Durations: pure data's 16 bits and 100 ms; 70030 samples at 44.1 kHz and 5 ms.
    EXPECT_EQ(tape.blocks()[4].duration, 2 * (8 * 855 + 8 * 1710) + 100 * 3500u);
    EXPECT_EQ(tape.blocks()[6].duration, (70030ull * 3500000 + 22050) / 44100 + 5 * 3500);
    EXPECT_EQ(tape.blocks()[8].duration, 4 * 500u + 4 * 600 + 4 * 1200);
}

TEST(TapeFile, BadTapesNameTheFileAndTheBlock) {
    auto tzx = [](std::initializer_list<std::uint8_t> blocks) {
        Tzx file;
        return file.raw(blocks).bytes();
    };
    // Two pilot symbols, one pilot run of `symbol`, `symbols` data symbols.
    auto gdb = [](unsigned symbols, std::uint32_t count, std::uint8_t symbol, Bytes stream) {
        return Tzx()
            .generalized(0, {{0, {500}}, {0, {600}}}, {{symbol, 1}},
                         std::vector<Tzx::Symbol>(symbols, {0, {300}}), count, stream)
            .bytes();
    };
    struct Case {
        std::string name;
        Bytes bytes;
        std::string error;
    };
    const std::vector<Case> cases{
        {"e.tap", {}, "e.tap: the file is empty"},
        {"h.tzx", Tzx().bytes(), "h.tzx: the tape holds no blocks"},
        {"h.tzx",
         {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1},
         "h.tzx: the TZX header is cut short"},
        {"c.tap",
         {2, 0, 0xFF, 0xFF, 19, 0, 0, 1, 2},
         "c.tap: block 2 at offset 4: cut short: needs 19 bytes at offset 6, the file ends at 9"},
        {"c.tap",
         {2, 0, 0xFF, 0xFF, 1},
         "c.tap: block 2 at offset 4: cut short: needs 2 bytes at offset 4, the file ends at 5"},
        {"l.tzx", tzx({0x10, 0xE8, 0x03, 0xFF, 0xFF, 0x00, 0xFF}),
         "l.tzx: block 1 (ID 0x10) at offset 10: cut short: needs 65535 bytes at offset 15, the "
         "file ends at 17"},
        {"u.tzx", tzx({0x4B, 0xF0, 0xFF, 0xFF, 0xFF, 1}),
         "u.tzx: block 1 (ID 0x4B) at offset 10: cut short: needs 4294967280 bytes at offset 15, "
         "the file ends at 16"},
        {"b.tzx", tzx({0x14, 1, 0, 2, 0, 9, 0, 0, 1, 0, 0, 0xFF}),
         "b.tzx: block 1 (ID 0x14) at offset 10: the last byte cannot have 9 used bits"},
        {"s.tzx", tzx({0x2B, 0, 0, 0, 0}),
         "s.tzx: block 1 (ID 0x2B) at offset 10: cut short: needs 1 byte at offset 15, the "
         "block's declared length ends at 15"},
        {"g.tzx", gdb(2, 1, 5, {0x80}),
         "g.tzx: block 1 (ID 0x19) at offset 10: pilot symbol 5 is not among the 2 defined"},
        {"g.tzx", gdb(3, 2, 0, {0b00110000}),
         "g.tzx: block 1 (ID 0x19) at offset 10: data symbol 3 (symbol 2 of the stream) is not "
         "among the 3 defined"},
        {"g.tzx", gdb(256, 0xFFFFFFFF, 0, {}), // 8 bits a symbol: 4 GB of stream
         "g.tzx: block 1 (ID 0x19) at offset 10: cut short: needs 4294967295 bytes at offset 806, "
         "the block's declared length ends at 806"},
        {"r.tzx", Tzx().csw(0, 0, 1, {1}).bytes(),
         "r.tzx: block 1 (ID 0x18) at offset 10: the sample rate is 0"},
        {"r.tzx", Tzx().csw(0, 44100, 3, {1}).bytes(),
         "r.tzx: block 1 (ID 0x18) at offset 10: compression 3 is neither RLE (1) nor Z-RLE (2)"},
        {"r.tzx", Tzx().csw(0, 44100, 1, {5, 0, 1, 2}).bytes(),
         "r.tzx: block 1 (ID 0x18) at offset 10: pulse 2: the data ends inside the length of a "
         "long pulse"},
        {"z.tzx", Tzx().csw(0, 44100, 2, {0x78, 0x9C, 0xFF, 0xFF, 0xFF}).bytes(),
         "z.tzx: block 1 (ID 0x18) at offset 10: pulse 1: the compressed data is damaged "
         "(invalid block type)"},
        {"z.tzx", Tzx().csw(0, 44100, 2, {0x78, 0x9C}).bytes(),
         "z.tzx: block 1 (ID 0x18) at offset 10: pulse 1: the compressed data ends early"},
        {"o.tzx", Tzx().tone(100, 1).loopStart(3).tone(100, 1).bytes(),
         "o.tzx: block 2 (ID 0x24) at offset 15: the loop has no end"},
        {"o.tzx", Tzx().loopStart(3).tone(100, 1).loopStart(2).bytes(),
         "o.tzx: block 3 (ID 0x24) at offset 18: a loop starts inside another loop"},
        {"o.tzx", Tzx().tone(100, 1).loopEnd().bytes(),
         "o.tzx: block 2 (ID 0x25) at offset 15: a loop ends that never started"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readError(c.bytes, c.name), c.error);
    // A file of one-byte blocks would take 200 times its size in memory.
    Bytes groupEnds = Tzx().bytes();
    groupEnds.resize(groupEnds.size() + (1 << 18) + 1, 0x22);
    EXPECT_EQ(readError(groupEnds, "m.tzx"),
              "m.tzx: block 262145 (ID 0x22) at offset 262154: a tape has at most 262144 blocks");
}

// Cut anywhere, a tape is read (when the cut falls between blocks) or the error names the
// block the cut falls in; nothing is read from beyond the cut.
TEST(TapeFile, EveryCutNamesTheBlockItCuts) {
    const Bytes whole = allKinds();
    TapeFile tape = TapeFile::parse(whole, "cut.tzx");
    std::vector<std::size_t> starts;
    for (const TapeBlock& block : tape.blocks())
        starts.push_back(block.offset);
    for (std::size_t size = 11; size < whole.size(); ++size) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        auto after = std::upper_bound(starts.begin(), starts.end(), size);
        std::size_t index = static_cast<std::size_t>(after - starts.begin()) - 1;
        std::string error = readError(cut, "cut.tzx");
        if (size == starts[index]) {
            // Between blocks: only the missing end of a loop can make it a bad tape.
            if (error != "(read)") {
                EXPECT_NE(error.find("the loop has no end"), std::string::npos) << error;
            }
            continue;
        }
        char where[64];
        std::snprintf(where, sizeof where,
                      "cut.tzx: block %zu (ID 0x%02X) at offset %zu: ", index + 1,
                      tape.blocks()[index].id, starts[index]);
        EXPECT_EQ(error.rfind(where, 0), 0u) << "cut at " << size << ": " << error;
    }
}

TEST(TapeFile, ReadingAFileNamesIt) {
    TempDir dir;
    auto error = [](const std::filesystem::path& path) -> std::string {
        try {
            TapeFile::read(path);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(read)";
    };
    EXPECT_EQ(error(dir / "missing.tap"), "Cannot open file " + (dir / "missing.tap").string());
    std::filesystem::create_directory(dir / "folder.tzx");
    EXPECT_EQ(error(dir / "folder.tzx"), "Cannot open file " + (dir / "folder.tzx").string());
    // The content decides, except that a .tzx must be one.
    Bytes tap = romBlock(0xFF, {1, 2});
    tap.insert(tap.begin(), {4, 0});
    writeFile(dir / "game.TZX", tap);
    EXPECT_EQ(error(dir / "game.TZX"),
              "game.TZX: not a TZX file (it does not begin with \"ZXTape!\")");
    writeFile(dir / "game.tap", Tzx().tone(100, 1).bytes());
    EXPECT_TRUE(TapeFile::read(dir / "game.tap").isTzx());
    // A named pipe is refused at once rather than waited on for a writer.
    ASSERT_EQ(::mkfifo((dir / "pipe.tap").c_str(), 0600), 0);
    EXPECT_EQ(error(dir / "pipe.tap"), "Cannot open file " + (dir / "pipe.tap").string());
}
