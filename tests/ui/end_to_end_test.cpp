// The real games, added through the window and packed by "Create TPL", boot in mGBA and are
// listed by the cartridge's menu.
#include "data_items.h"
#include "gba/menu_state.h"
#include "harness.h"
#include "text_layer.h"
#include "window_fixture.h"

#include <QDir>
#include <QFile>
#include <QPushButton>

using tapeloom::test::textRow;

TEST_F(WindowTest, CreatedCartridgeBootsAndListsTheAddedGames) {
    const QString games = QStringLiteral(TAPELOOM_SHARED_DIR "/games");
    ASSERT_TRUE(QFile::exists(games + "/znake.sna")) << games.toStdString();
    const QString out = path("cartridge");
    writeSettings("[Control Defaults]\nDefault0=Kempston\n[Control_Kempston]\n"
                  "Button A=JOY FIRE\nDPad Up=JOY UP\nDPad Down=JOY DOWN\n"
                  "[Settings]\nTPLBinary=" +
                  toStd(out) + "\n[znake]\nFilename=Znake\n");
    open();
    prompts_.fileChoices.push_back({games + "/znake.sna", games + "/snake-asm.z80"});
    find<QPushButton>("Add")->click();
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(cell(0, 0), "Znake");
    EXPECT_EQ(cell(1, 0), "snake-asm");

    find<QPushButton>("Create")->click();
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(prompts_.messages[0].text, "TPL binary created. Have fun!");
    EXPECT_TRUE(prompts_.errors.isEmpty());

    // Emulator, two records and the end record, then both games whole and in list order.
    const QByteArray cartridge = readWhole(out + "/tpl.gba");
    const auto emulator = tapeloom::findDataItem("tpl");
    ASSERT_TRUE(emulator.has_value());
    const QByteArray snapshots =
        readWhole(games + "/znake.sna") + readWhole(games + "/snake-asm.z80");
    ASSERT_EQ(cartridge.size(),
              static_cast<qsizetype>(emulator->size()) + 3 * 32 + snapshots.size());
    EXPECT_TRUE(cartridge.endsWith(snapshots));

    gbatest::Gba gba(std::vector<std::uint8_t>(cartridge.begin(), cartridge.end()));
    const int frames = gba.runUntil(
        [](gbatest::Gba& running) {
            const auto state = running.readStruct<MenuState>(MENU_STATE_ADDRESS);
            return state.magic == MENU_STATE_MAGIC && state.screen == MENU_SCREEN_LIST;
        },
        120);
    ASSERT_GE(frames, 0);
    gba.runFrames(2);
    EXPECT_EQ(gba.readStruct<MenuState>(MENU_STATE_ADDRESS).entry_count, 2u);
    EXPECT_NE(textRow(gba, 2).find("Znake"), std::string::npos) << textRow(gba, 2);
    EXPECT_NE(textRow(gba, 3).find("snake-asm"), std::string::npos) << textRow(gba, 3);
}
