#include "tape_test_support.h"

#include <libspectrum.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <stdexcept>
#include <unistd.h>

namespace tapeloom::tapetest {

std::ostream& operator<<(std::ostream& out, const LevelRun& run) {
    return out << run.duration << (run.level ? " high" : " low");
}

Tzx::Tzx() : bytes_{'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20} {}

Tzx& Tzx::id(std::uint8_t id) {
    bytes_.push_back(id);
    return *this;
}
Tzx& Tzx::u16(unsigned value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}
Tzx& Tzx::u24(std::uint32_t value) {
    u16(value & 0xFFFF);
    bytes_.push_back(static_cast<std::uint8_t>(value >> 16));
    return *this;
}
Tzx& Tzx::u32(std::uint32_t value) {
    u16(value & 0xFFFF);
    return u16(value >> 16);
}
Tzx& Tzx::append(const Bytes& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

Tzx& Tzx::standard(std::uint16_t pauseMs, const Bytes& data) {
    return id(0x10).u16(pauseMs).u16(static_cast<unsigned>(data.size())).append(data);
}

Tzx& Tzx::turbo(std::initializer_list<std::uint16_t> timing, std::uint8_t usedBits,
                std::uint16_t pauseMs, const Bytes& data) {
    id(0x11);
    for (std::uint16_t value : timing)
        u16(value);
    bytes_.push_back(usedBits);
    return u16(pauseMs).u24(static_cast<std::uint32_t>(data.size())).append(data);
}

Tzx& Tzx::tone(std::uint16_t length, std::uint16_t count) {
    return id(0x12).u16(length).u16(count);
}

Tzx& Tzx::pulses(std::initializer_list<std::uint16_t> lengths) {
    id(0x13).bytes_.push_back(static_cast<std::uint8_t>(lengths.size()));
    for (std::uint16_t length : lengths)
        u16(length);
    return *this;
}

Tzx& Tzx::pureData(std::uint16_t zero, std::uint16_t one, std::uint8_t usedBits,
                   std::uint16_t pauseMs, const Bytes& data) {
    id(0x14).u16(zero).u16(one).bytes_.push_back(usedBits);
    return u16(pauseMs).u24(static_cast<std::uint32_t>(data.size())).append(data);
}

Tzx& Tzx::direct(std::uint16_t period, std::uint16_t pauseMs, std::uint8_t usedBits,
                 const Bytes& samples) {
    id(0x15).u16(period).u16(pauseMs).bytes_.push_back(usedBits);
    return u24(static_cast<std::uint32_t>(samples.size())).append(samples);
}

Tzx& Tzx::csw(std::uint16_t pauseMs, std::uint32_t rate, std::uint8_t compression,
              const Bytes& data) {
    id(0x18).u32(static_cast<std::uint32_t>(10 + data.size())).u16(pauseMs).u24(rate);
    bytes_.push_back(compression);
    return u32(0).append(data);
}

Tzx& Tzx::generalized(std::uint16_t pauseMs, const std::vector<Symbol>& pilotSymbols,
                      const std::vector<std::pair<std::uint8_t, std::uint16_t>>& pilotStream,
                      const std::vector<Symbol>& dataSymbols, std::uint32_t dataCount,
                      const Bytes& dataStream) {
    auto width = [](const std::vector<Symbol>& symbols) {
        std::size_t most = 0;
        for (const Symbol& s : symbols)
            most = std::max(most, s.pulses.size());
        return most;
    };
    Tzx body;
    body.bytes_.clear();
    body.u16(pauseMs).u32(static_cast<std::uint32_t>(pilotStream.size()));
    body.bytes_.push_back(static_cast<std::uint8_t>(width(pilotSymbols)));
    body.bytes_.push_back(static_cast<std::uint8_t>(pilotSymbols.size()));
    body.u32(dataCount);
    body.bytes_.push_back(static_cast<std::uint8_t>(width(dataSymbols)));
    body.bytes_.push_back(static_cast<std::uint8_t>(dataSymbols.size()));
    auto table = [&](const std::vector<Symbol>& symbols) {
        for (const Symbol& s : symbols) {
            body.bytes_.push_back(s.polarity);
            for (std::size_t p = 0; p < width(symbols); ++p)
                body.u16(p < s.pulses.size() ? s.pulses[p] : 0);
        }
    };
    if (!pilotStream.empty()) {
        table(pilotSymbols);
        for (auto [symbol, repeats] : pilotStream) {
            body.bytes_.push_back(symbol);
            body.u16(repeats);
        }
    }
    if (dataCount != 0) {
        table(dataSymbols);
        body.append(dataStream);
    }
    return id(0x19).u32(static_cast<std::uint32_t>(body.bytes_.size())).append(body.bytes_);
}

Tzx& Tzx::pause(std::uint16_t ms) {
    return id(0x20).u16(ms);
}
Tzx& Tzx::loopStart(std::uint16_t repetitions) {
    return id(0x24).u16(repetitions);
}
Tzx& Tzx::loopEnd() {
    return id(0x25);
}
Tzx& Tzx::stopIf48K() {
    return id(0x2A).u32(0);
}
Tzx& Tzx::setLevel(bool high) {
    id(0x2B).u32(1).bytes_.push_back(high ? 1 : 0);
    return *this;
}
Tzx& Tzx::text(std::uint8_t blockId, std::string_view text) {
    id(blockId).bytes_.push_back(static_cast<std::uint8_t>(text.size()));
    return append(Bytes(text.begin(), text.end()));
}
Tzx& Tzx::raw(const Bytes& block) {
    return append(block);
}

Bytes romBlock(std::uint8_t flag, const Bytes& payload) {
    Bytes block{flag};
    block.insert(block.end(), payload.begin(), payload.end());
    std::uint8_t sum = 0;
    for (std::uint8_t byte : block)
        sum ^= byte;
    block.push_back(sum);
    return block;
}

Bytes cswRle(const std::vector<std::uint32_t>& samples) {
    Bytes rle;
    for (std::uint32_t n : samples) {
        if (n > 0 && n < 256) {
            rle.push_back(static_cast<std::uint8_t>(n));
            continue;
        }
        rle.push_back(0);
        for (int i = 0; i < 4; ++i)
            rle.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    }
    return rle;
}

Bytes deflate(const Bytes& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes packed(size);
    if (compress(packed.data(), &size, data.data(), static_cast<uLong>(data.size())) != Z_OK)
        throw std::runtime_error("zlib compress failed");
    packed.resize(size);
    return packed;
}

Bytes cswFile(std::uint32_t rate, std::uint8_t compression, const Bytes& data) {
    std::string signature = "Compressed Square Wave\x1A";
    Bytes file(signature.begin(), signature.end());
    Bytes header{2, 0};
    for (int i = 0; i < 4; ++i)
        header.push_back(static_cast<std::uint8_t>(rate >> (8 * i)));
    header.insert(header.end(), {0, 0, 0, 0, compression, 0, 0});
    header.resize(header.size() + 16); // encoding application
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

namespace {

void addRun(std::vector<LevelRun>& runs, std::uint64_t duration, bool level) {
    if (duration == 0)
        return;
    if (!runs.empty() && runs.back().level == level)
        runs.back().duration += duration;
    else
        runs.push_back({duration, level});
}

} // namespace

std::vector<LevelRun> playRuns(const TapeFile& tape, PauseLevels pauses, bool machine48K) {
    TapePlayer::Options options;
    options.pauses = pauses;
    options.machine48K = machine48K;
    TapePlayer player(tape, options);
    std::vector<LevelRun> runs;
    std::uint64_t from = 0;
    for (;;) {
        if (player.nextEdge() == TapePlayer::kNever) {
            player.levelAt(player.stopTime());
            if (player.state() == TapePlayer::State::Ended)
                break;
            addRun(runs, player.stopTime() - from, player.level());
            from = player.stopTime();
            player.play(from);
            continue;
        }
        addRun(runs, player.nextEdge() - from, player.level());
        from = player.nextEdge();
        player.advance();
    }
    addRun(runs, player.stopTime() - from, player.level());
    return runs;
}

std::vector<LevelRun> tape2pulsesRuns(const std::filesystem::path& path) {
    TempDir dir;
    auto out = dir / "pulses.txt";
    if (!run("tape2pulses '" + path.string() + "' '" + out.string() + "' >/dev/null 2>&1"))
        throw std::runtime_error("tape2pulses failed on " + path.string());
    std::ifstream in(out);
    std::vector<LevelRun> runs;
    std::uint64_t length = 0;
    std::string colon;
    int level = 0;
    while (in >> length >> colon >> level)
        addRun(runs, length, level != 0);
    return runs;
}

std::vector<LevelRun> libspectrumRuns(const std::filesystem::path& path) {
    Bytes bytes = readFile(path);
    libspectrum_init();
    libspectrum_tape* tape = libspectrum_tape_alloc();
    if (libspectrum_tape_read(tape, bytes.data(), bytes.size(), LIBSPECTRUM_ID_UNKNOWN,
                              path.c_str()) != LIBSPECTRUM_ERROR_NONE)
        throw std::runtime_error("libspectrum cannot read " + path.string());
    std::vector<LevelRun> runs;
    bool level = false;
    int flags = 0;
    while ((flags & LIBSPECTRUM_TAPE_FLAGS_TAPE) == 0) {
        libspectrum_dword length = 0;
        libspectrum_tape_get_next_edge(&length, &flags, tape);
        if (flags & LIBSPECTRUM_TAPE_FLAGS_NO_EDGE)
            ;
        else if (flags & LIBSPECTRUM_TAPE_FLAGS_LEVEL_LOW)
            level = false;
        else if (flags & LIBSPECTRUM_TAPE_FLAGS_LEVEL_HIGH)
            level = true;
        else
            level = !level;
        addRun(runs, length, level);
    }
    libspectrum_tape_free(tape);
    return runs;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tapeloom-tape-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace tapeloom::tapetest
