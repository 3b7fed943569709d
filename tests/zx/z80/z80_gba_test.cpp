// The GBA build of the core, run in mGBA: the instruction vectors image and the benchmark image
// (built by the cross build) leave a mailbox in EWRAM that these tests read.
#include <mgba/flags.h> // must come first: fixes the layout of struct mCore

#include <mgba-util/vfs.h>
#include <mgba/core/core.h>
#include <mgba/core/log.h>

extern "C" {
#include "bench_driver.h"
#include "z80_mailbox.h"
}

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void quietLog(mLogger*, int, mLogLevel, const char*, va_list) {}
mLogger quietLogger = {quietLog, nullptr};

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Boots an image headless and runs it until its mailbox says done.
class GbaRun {
  public:
    explicit GbaRun(const std::string& imagePath) : image_(readFile(imagePath)) {
        mLogSetDefaultLogger(&quietLogger);
        core_ = mCoreCreate(mPLATFORM_GBA);
        core_->init(core_);
        mCoreInitConfig(core_, nullptr);
        core_->setVideoBuffer(core_, video_.data(), 240);
        loaded_ = !image_.empty() &&
                  core_->loadROM(core_, VFileFromConstMemory(image_.data(), image_.size()));
        core_->reset(core_);
    }
    ~GbaRun() {
        mCoreConfigDeinit(&core_->config);
        core_->deinit(core_);
    }
    GbaRun(const GbaRun&) = delete;
    GbaRun& operator=(const GbaRun&) = delete;

    bool loaded() const { return loaded_; }

    // Runs frame by frame (at most maxFrames) until the mailbox reports done; nullptr if not.
    const Z80Mailbox* runToMailbox(int maxFrames) {
        for (int frame = 0; frame < maxFrames; frame++) {
            core_->runFrame(core_);
            const Z80Mailbox* box = findMailbox();
            if (box && box->done == 1)
                return box;
        }
        return nullptr;
    }

  private:
    const Z80Mailbox* findMailbox() {
        size_t size = 0;
        auto* ewram = static_cast<const uint8_t*>(mCoreGetMemoryBlock(core_, 0x02000000, &size));
        for (size_t off = 0; ewram && off + sizeof(Z80Mailbox) <= size; off += 4)
            if (std::memcmp(ewram + off, Z80_MAILBOX_MAGIC, 8) == 0)
                return reinterpret_cast<const Z80Mailbox*>(ewram + off);
        return nullptr;
    }

    std::vector<uint8_t> image_;
    std::vector<uint32_t> video_ = std::vector<uint32_t>(240 * 160);
    mCore* core_ = nullptr;
    bool loaded_ = false;
};

std::vector<std::string> vectorNames() {
    std::ifstream in(std::string(TAPELOOM_SHARED_DIR) + "/z80-tests/tests.in");
    std::vector<std::string> names;
    std::string line;
    bool expectName = true;
    while (std::getline(in, line)) {
        if (line.empty()) {
            expectName = true;
        } else if (expectName) {
            names.push_back(line);
            expectName = false;
        }
    }
    return names;
}

TEST(Z80OnGba, EveryVectorPassesOnTheArmBuild) {
    GbaRun gba(std::string(Z80_GBA_IMAGES_DIR) + "/z80_vectors.gba");
    ASSERT_TRUE(gba.loaded());
    const Z80Mailbox* box = gba.runToMailbox(3000);
    ASSERT_NE(box, nullptr) << "the image did not finish";
    std::vector<std::string> names = vectorNames();
    std::string failures;
    for (uint32_t k = 0; k < box->failed && k < Z80_MAILBOX_FAILURES; k++) {
        uint32_t index = box->failure_case[k];
        char diff[16];
        std::snprintf(diff, sizeof diff, "%05x", static_cast<unsigned>(box->failure_diff[k]));
        failures +=
            (index < names.size() ? names[index] : std::to_string(index)) + "(" + diff + ") ";
    }
    EXPECT_EQ(box->cases, 1356u);
    EXPECT_EQ(box->passed, 1356u) << box->failed << " cases fail: " << failures;
    // LDIR/LDDR bulk copies in every alignment (the GBA copies halfwords where it can).
    EXPECT_EQ(box->copies, 288u);
    EXPECT_EQ(box->copies_failed, 0u);
    // Code running across a page boundary, with the pages in buffers apart from each other.
    EXPECT_EQ(box->crossing_diff, 0u);
    // Port handlers that remap memory, the page of the running code included.
    EXPECT_EQ(box->remap_diff, 0u);
    // Two CPUs watching different ranges in turn, and a watch taken away.
    EXPECT_EQ(box->watch_diff, 0u);
    // The checks of z80_checks.h, as on the host: a bit per failed step.
    EXPECT_EQ(box->io_timing, 0u) << "port handlers' T-states";
    EXPECT_EQ(box->latch, 0u) << "output latch";
    EXPECT_EQ(box->store_marks, 0u) << "watched blocks of each kind of store";
    EXPECT_EQ(box->limits, 0u) << "HALT, EI, run limit in repeated instructions";
    EXPECT_EQ(box->page_end_after_io, 0u) << "code running off its page after a port handler";
    EXPECT_EQ(box->in_cache, 0u) << "input cache: bytes still true";
    EXPECT_EQ(box->in_asked, 6u) << "the fast path answers the second read from its cache";
}

TEST(Z80OnGba, BenchmarkMatchesTheHostAndReportsSpeed) {
    std::vector<uint8_t> program = readFile(Z80_BENCH_PROGRAM);
    ASSERT_FALSE(program.empty());
    GbaRun gba(std::string(Z80_GBA_IMAGES_DIR) + "/z80_bench.gba");
    ASSERT_TRUE(gba.loaded());
    const Z80Mailbox* box = gba.runToMailbox(3000);
    ASSERT_NE(box, nullptr) << "the benchmark did not finish";

    // The same frames on the host core must leave the same registers and memory.
    std::vector<uint8_t> memory(0x10000);
    Z80 z;
    z80_bench_setup(&z, memory.data(), program.data(), unsigned(program.size()));
    for (uint32_t frame = 0; frame < box->frames; frame++)
        z80_bench_frame(&z);
    EXPECT_EQ(box->checksum, z80_bench_checksum(&z, memory.data()));

    double cyclesPerT = double(box->cycles) / box->tstates;
    double spectrumSeconds = box->frames / 50.08; // 69,888 T-states per frame
    double gbaSeconds = box->cycles / 16777216.0;
    std::printf("Z80 benchmark: %u frames, %u T-states in %u GBA cycles: %.3f cycles per T-state, "
                "%.1f %% of Spectrum real time\n",
                unsigned(box->frames), unsigned(box->tstates), unsigned(box->cycles), cyclesPerT,
                100.0 * spectrumSeconds / gbaSeconds);
    RecordProperty("cycles_per_tstate", std::to_string(cyclesPerT));
}

} // namespace
