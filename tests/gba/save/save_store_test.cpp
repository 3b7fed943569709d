// The save memory's store on a simulated flash chip: states of any size go in and come back,
// a slot saved over keeps its old state until the new one is whole (power cut at every step),
// a state that does not fit changes nothing, damaged headers never lead outside the pool, and
// the settings log remembers the entry started last.
#include "flash_chip.h"

#include "spectrum/machine_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSector = TPL_SAVE_SECTOR_SIZE;
constexpr std::uint32_t kFirstPart = kSector - TPL_STATE_HEADER_SIZE;
constexpr std::uint32_t kPool = TPL_SAVE_STATE_SECTORS * kSector - TPL_STATE_HEADER_SIZE;

SaveOwner owner(std::uint32_t id, const char* name) {
    SaveOwner o{};
    o.entry_id = id;
    o.entry_index = static_cast<std::uint16_t>(id & 0xFF);
    // All 16 bytes for a long name, without the 0: the store must end it itself.
    std::memcpy(o.name, name, std::min(std::strlen(name) + 1, sizeof o.name));
    return o;
}

// A state-like payload that carries its own checksum in its last four bytes, so a mixture of
// two states is recognised (as the machine states' checksum does it).
Bytes payload(std::uint32_t size, std::uint32_t seed) {
    Bytes b(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& byte : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = static_cast<std::uint8_t>(x);
    }
    if (size >= 8) {
        std::uint32_t crc = zx_crc32(0, b.data(), size - 4);
        std::memcpy(b.data() + size - 4, &crc, 4);
    }
    return b;
}

bool whole(const Bytes& b) {
    std::uint32_t crc;
    std::memcpy(&crc, b.data() + b.size() - 4, 4);
    return zx_crc32(0, b.data(), static_cast<std::uint32_t>(b.size()) - 4) == crc;
}

struct Store {
    FlashChip chip;
    SaveMedium medium = chip.medium();
    SaveDirectory dir{};
    Store() { save_store_scan(&medium, &dir); }
    // A copy is another chip with the same contents (and its own medium).
    Store(const Store& other) : chip(other.chip), medium(chip.medium()), dir(other.dir) {}
    int write(int slot, const Bytes& state, std::uint32_t id = 1, const char* name = "Game") {
        SaveOwner o = owner(id, name);
        return save_store_write(&medium, &dir, slot, &o, state.data(),
                                static_cast<std::uint32_t>(state.size()));
    }
    Bytes read(int slot) {
        Bytes out(kPool);
        out.resize(save_store_read(&medium, &dir, slot, out.data(), kPool));
        return out;
    }
    void rescan() { save_store_scan(&medium, &dir); }
};

TEST(SaveStore, BlankMemoryHoldsNothing) {
    Store s;
    for (const auto& slot : s.dir.slots)
        EXPECT_EQ(slot.status, SAVE_SLOT_EMPTY);
    EXPECT_EQ(s.dir.damaged_headers, 0);
    EXPECT_EQ(save_store_room(&s.dir, 0), kPool);
    EXPECT_TRUE(s.read(0).empty());
    std::uint16_t index;
    std::uint32_t id;
    EXPECT_EQ(save_settings_last_played(&s.medium, &index, &id), 0);
}

TEST(SaveStore, StatesOfEverySizeComeBackAfterAScan) {
    // Around the sector boundaries, one byte, and the whole pool.
    const std::uint32_t sizes[] = {
        1, kFirstPart - 1, kFirstPart, kFirstPart + 1, kFirstPart + kSector, 3 * kSector, kPool};
    int n = 0;
    for (std::uint32_t size : sizes) {
        SCOPED_TRACE(size);
        Store s;
        Bytes state = payload(size, ++n);
        ASSERT_EQ(s.write(2, state, 0xC0FFEE, "A long name of 20 chars"), SAVE_WRITE_OK);
        s.rescan();
        const SaveSlot& slot = s.dir.slots[2];
        ASSERT_EQ(slot.status, SAVE_SLOT_USED);
        EXPECT_EQ(slot.owner.entry_id, 0xC0FFEEu);
        EXPECT_EQ(slot.owner.entry_index, 0xEE);
        EXPECT_STREQ(slot.owner.name, "A long name of ") << "15 characters kept";
        EXPECT_EQ(slot.sector_count,
                  static_cast<int>((size + TPL_STATE_HEADER_SIZE + kSector - 1) / kSector));
        EXPECT_EQ(s.read(2), state);
        Bytes small(size - 1);
        EXPECT_EQ(save_store_read(&s.medium, &s.dir, 2, small.data(), size - 1), 0u)
            << "refused rather than cut";
    }
    Store s;
    EXPECT_EQ(s.write(0, payload(kPool + 1, 9)), SAVE_WRITE_NO_ROOM);
    EXPECT_EQ(s.chip.erases + s.chip.programs, 0);
}

TEST(SaveStore, SlotsShareThePoolAndAFullPoolChangesNothing) {
    Store s;
    const std::uint32_t tenSectors = 10 * kSector - TPL_STATE_HEADER_SIZE;
    Bytes a = payload(tenSectors, 1), b = payload(tenSectors, 2), c = payload(tenSectors, 3);
    ASSERT_EQ(s.write(0, a, 1, "A"), SAVE_WRITE_OK);
    ASSERT_EQ(s.write(1, b, 2, "B"), SAVE_WRITE_OK);
    ASSERT_EQ(s.write(2, c, 3, "C"), SAVE_WRITE_OK);
    EXPECT_EQ(save_store_room(&s.dir, 3), kSector - TPL_STATE_HEADER_SIZE);
    Bytes before = s.chip.bytes;
    EXPECT_EQ(s.write(3, payload(2 * kSector, 4), 4, "D"), SAVE_WRITE_NO_ROOM);
    EXPECT_EQ(s.chip.bytes, before);
    // Saving over slot 1 may use its own sectors too: eleven of them now.
    Bytes bigger = payload(tenSectors + kSector, 5);
    ASSERT_EQ(s.write(1, bigger, 2, "B"), SAVE_WRITE_OK);
    s.rescan();
    EXPECT_EQ(s.read(0), a);
    EXPECT_EQ(s.read(1), bigger);
    EXPECT_EQ(s.read(2), c);
    EXPECT_EQ(s.dir.slots[3].status, SAVE_SLOT_EMPTY);
}

// A state written in pieces as it is made lands as one written whole; read back from any place
// across sectors it is the same; more or fewer bytes than announced write no header, and the old
// state stays.
TEST(SaveStore, AStateWrittenAndReadInPieces) {
    Bytes old = payload(3000, 9);
    Bytes state = payload(7 * kSector + 123, 8);
    Store whole, pieces;
    ASSERT_EQ(whole.write(0, old), SAVE_WRITE_OK);
    ASSERT_EQ(pieces.write(0, old), SAVE_WRITE_OK);
    ASSERT_EQ(whole.write(0, state), SAVE_WRITE_OK);
    SaveOwner o = owner(1, "Game");
    SaveStream w;
    const auto length = static_cast<std::uint32_t>(state.size());
    ASSERT_EQ(save_store_begin(&pieces.medium, &pieces.dir, 0, &o, length, &w), SAVE_WRITE_OK);
    std::uint32_t done = 0;
    for (std::uint32_t n : {1u, 7u, kFirstPart - 8, kSector, 1u, kSector + 17, 40000u})
        if (done < length) {
            n = std::min(n, length - done);
            ASSERT_TRUE(save_store_put(&w, state.data() + done, n));
            done += n;
        }
    ASSERT_EQ(done, length);
    ASSERT_EQ(save_store_finish(&w), SAVE_WRITE_OK);
    EXPECT_EQ(pieces.chip.bytes, whole.chip.bytes);
    pieces.rescan();
    for (std::uint32_t at : {0u, kFirstPart - 3, kFirstPart, 3 * kSector + 5, length - 9}) {
        Bytes part(9);
        save_store_read_at(&pieces.medium, &pieces.dir, 0, at, part.data(), 9);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), state.begin() + at)) << at;
    }

    for (long extra : {-1L, 1L}) {
        Store s;
        ASSERT_EQ(s.write(0, old), SAVE_WRITE_OK);
        Bytes longer = payload(length + 1, 8);
        ASSERT_EQ(save_store_begin(&s.medium, &s.dir, 0, &o, length, &w), SAVE_WRITE_OK);
        bool took = save_store_put(&w, longer.data(), static_cast<std::uint32_t>(length + extra));
        EXPECT_EQ(took, extra < 0);
        EXPECT_EQ(save_store_finish(&w), SAVE_WRITE_FAILED);
        s.rescan();
        EXPECT_EQ(s.read(0), old) << extra;
    }
}

// Saving over a slot, with the power lost after every number of chip operations: after the
// next start the slot holds the old state or the new one, whole. With room for both that is
// always so; when the new state needs the old one's sectors, a cut may leave a state whose own
// checksum fails, but never one that passes and is wrong.
TEST(SaveStore, APowerCutWhileSavingLeavesTheOldOrTheNewState) {
    for (bool tight : {false, true}) {
        SCOPED_TRACE(tight ? "needs the old sectors" : "room for both");
        Bytes old = payload(kFirstPart + kSector + 100, 1);
        Bytes fresh = payload(tight ? 20 * kSector : kFirstPart + 50, 2);
        Store base;
        ASSERT_EQ(base.write(0, old), SAVE_WRITE_OK);
        if (tight) { // another slot takes most of the rest
            ASSERT_EQ(base.write(1, payload(9 * kSector, 3), 7, "Other"), SAVE_WRITE_OK);
        }
        Store count = base;
        count.chip.operationsLeft = 1L << 30;
        ASSERT_EQ(count.write(0, fresh), SAVE_WRITE_OK);
        long operations = (1L << 30) - count.chip.operationsLeft;
        int sawOld = 0, sawNew = 0;
        std::vector<long> cuts;
        for (long cut = 0; cut < operations; cut += tight ? 97 : 1)
            cuts.push_back(cut);
        cuts.push_back(operations); // not cut at all
        for (long cut : cuts) {
            Store s = base;
            s.chip.operationsLeft = cut;
            s.write(0, fresh);
            s.chip.operationsLeft = -1;
            s.rescan(); // switched on again
            Bytes got = s.read(0);
            if (got == old)
                ++sawOld;
            else if (got == fresh)
                ++sawNew;
            else {
                ASSERT_TRUE(tight) << "cut after " << cut;
                ASSERT_TRUE(got.empty() || !whole(got)) << "cut after " << cut;
            }
            if (tight) {
                EXPECT_EQ(s.read(1), payload(9 * kSector, 3)) << "the other slot is untouched";
            }
        }
        EXPECT_GT(sawOld, 0);
        EXPECT_GT(sawNew, 0);
    }
}

TEST(SaveStore, TheNewestGenerationWinsAndDamagedHeadersStayInThePool) {
    Store s;
    Bytes a = payload(500, 1), b = payload(600, 2);
    ASSERT_EQ(s.write(0, a), SAVE_WRITE_OK);
    std::uint8_t first = s.dir.slots[0].sectors[0];
    Bytes withA = s.chip.bytes;
    ASSERT_EQ(s.write(0, b), SAVE_WRITE_OK);
    // The old header given up (its mark zeroed) is not read again...
    s.rescan();
    EXPECT_EQ(s.read(0), b);
    // ...and if giving it up was cut short, the newer generation still wins.
    std::memcpy(s.chip.bytes.data() + first * kSector, withA.data() + first * kSector, 4);
    s.rescan();
    EXPECT_EQ(s.read(0), b);
    EXPECT_EQ(s.dir.damaged_headers, 0);

    // Every way of spoiling a header: checksum, sector list, length, slot. None is read, none
    // leads outside the pool; the sectors stay free for new states.
    struct Spoil {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
        bool fixChecksum;
    };
    const Spoil spoils[] = {
        {"checksum", 76, 0x55, false},
        {"own sector", 40, 5, true},
        {"sector 0", 41, 0, true},
        {"sector past the pool", 41, 32, true},
        {"a sector twice", 41, 0xFF, true},
        {"length", 14, 0x7F, true},
        {"no sectors", 7, 0, true},
        {"slot", 6, 9, true},
        {"version", 4, 2, true},
    };
    for (const Spoil& spoil : spoils) {
        SCOPED_TRACE(spoil.what);
        Store t;
        ASSERT_EQ(t.write(1, payload(kFirstPart + 10, 4)), SAVE_WRITE_OK);
        std::uint8_t* header = t.chip.bytes.data() + t.dir.slots[1].sectors[0] * kSector;
        if (std::string(spoil.what) == "a sector twice")
            header[41] = header[40];
        else
            header[spoil.offset] = spoil.value;
        if (spoil.fixChecksum) {
            std::uint32_t crc = zx_crc32(0, header, 76);
            std::memcpy(header + 76, &crc, 4);
        }
        t.rescan();
        EXPECT_NE(t.dir.slots[1].status, SAVE_SLOT_USED);
        EXPECT_TRUE(t.read(1).empty());
        EXPECT_EQ(save_store_room(&t.dir, 0), kPool);
    }
    Store d;
    ASSERT_EQ(d.write(3, payload(100, 5)), SAVE_WRITE_OK);
    d.chip.bytes[d.dir.slots[3].sectors[0] * kSector + 20] ^= 1;
    d.rescan();
    EXPECT_EQ(d.dir.slots[3].status, SAVE_SLOT_DAMAGED) << "its slot is told";
    EXPECT_EQ(d.dir.damaged_headers, 1);
}

TEST(SaveSettings, TheLogKeepsTheLastEntryAndStartsOverWhenFull) {
    Store s;
    std::uint16_t index = 0;
    std::uint32_t id = 0;
    ASSERT_EQ(save_settings_set_last_played(&s.medium, 3, 0xABCD), 1);
    ASSERT_EQ(save_settings_last_played(&s.medium, &index, &id), 1);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(id, 0xABCDu);
    int programs = s.chip.programs;
    ASSERT_EQ(save_settings_set_last_played(&s.medium, 3, 0xABCD), 1);
    EXPECT_EQ(s.chip.programs, programs) << "the same entry again is not written";

    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(save_settings_set_last_played(&s.medium, static_cast<std::uint16_t>(i), i * 7u),
                  1);
    EXPECT_EQ(s.chip.erases, 1) << "256 records to a sector";
    ASSERT_EQ(save_settings_last_played(&s.medium, &index, &id), 1);
    EXPECT_EQ(index, 299);
    EXPECT_EQ(id, 299 * 7u);

    // A record cut short by a power loss is passed over; the one before stays.
    s.chip.operationsLeft = 10;
    EXPECT_EQ(save_settings_set_last_played(&s.medium, 1000, 1), 0);
    s.chip.operationsLeft = -1;
    ASSERT_EQ(save_settings_last_played(&s.medium, &index, &id), 1);
    EXPECT_EQ(index, 299);
    ASSERT_EQ(save_settings_set_last_played(&s.medium, 1001, 2), 1);
    ASSERT_EQ(save_settings_last_played(&s.medium, &index, &id), 1);
    EXPECT_EQ(index, 1001);

    // Garbage in the settings sector reads as nothing, and a new record starts it over.
    Store g;
    std::fill_n(g.chip.bytes.begin(), kSector, 0x5A);
    EXPECT_EQ(save_settings_last_played(&g.medium, &index, &id), 0);
    ASSERT_EQ(save_settings_set_last_played(&g.medium, 2, 9), 1);
    ASSERT_EQ(save_settings_last_played(&g.medium, &index, &id), 1);
    EXPECT_EQ(index, 2);
}

} // namespace
