// The checks of z80_checks.h on the host core; the GBA test image runs the same code on the ARM
// fast path (z80_gba_test.cpp). A result is a bit per failed step, 0 when all is right.
extern "C" {
#include "z80_checks.h"
}

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Checks : ::testing::Test {
    Z80 z{};
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, 0);
    std::vector<uint8_t> page = std::vector<uint8_t>(0x4000, 0);
};

TEST_F(Checks, PortHandlersSeeTheStartOfTheirIoCycle) {
    EXPECT_EQ(z80_check_io_timing(&z, memory.data()), 0u);
}

TEST_F(Checks, TheLatchDropsRepeatsLogsChangesAndCallsWhenFull) {
    EXPECT_EQ(z80_check_latch(&z, memory.data()), 0u);
}

TEST_F(Checks, EveryKindOfStoreMarksTheBlocksItWrote) {
    EXPECT_EQ(z80_check_store_marks(&z, memory.data()), 0u);
}

TEST_F(Checks, HaltEiAndTheLimitInsideRepeatedInstructions) {
    EXPECT_EQ(z80_check_limits(&z, memory.data()), 0u);
}

TEST_F(Checks, TheInputCacheNeverAnswersWithAByteNoLongerTrue) {
    unsigned asked = 0;
    EXPECT_EQ(z80_check_in_cache(&z, memory.data(), &asked), 0u);
    EXPECT_EQ(asked, 8u) << "the C loop asks the handler every time";
}

TEST_F(Checks, CodeRunsOffItsPageAfterAPortHandler) {
    EXPECT_EQ(z80_check_page_end_after_io(&z, memory.data(), page.data()), 0u);
}

} // namespace
