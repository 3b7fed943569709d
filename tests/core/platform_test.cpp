#include "files.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace tapeloom {
namespace {

using test::readText;
using test::TempDir;
using test::writeText;

// Puts a stand-in desktop handler first on PATH for the length of a test.
class FakeHandler {
  public:
    explicit FakeHandler(const std::filesystem::path& folder, const std::string& script) {
        if (!script.empty()) {
            writeText(folder / "xdg-open", script);
            std::filesystem::permissions(folder / "xdg-open", std::filesystem::perms::owner_all);
        }
        const char* old = std::getenv("PATH");
        saved_ = old ? old : "";
        ::setenv("PATH", folder.c_str(), 1);
    }
    ~FakeHandler() { ::setenv("PATH", saved_.c_str(), 1); }

  private:
    std::string saved_;
};

TEST(StartDocument, MissingScriptGivesTheSystemsText) {
    TempDir dir;
    EXPECT_EQ(startDocument(dir.path() / "GO.BAT", dir.path()), "No such file or directory");
}

// The handler waits for a signal the test gives only after startDocument() has returned, so a
// start that waited for the handler would be seen as a timeout.
TEST(StartDocument, StartsTheHandlerInTheWorkingFolderWithoutWaiting) {
    TempDir dir, bin;
    writeText(dir.path() / "GO.BAT", "echo");
    FakeHandler handler(bin.path(), "#!/bin/sh\nPATH=/usr/bin:/bin\nseen=timeout\n"
                                    "for i in $(seq 100); do\n"
                                    "  if [ -f go ]; then seen=go; break; fi; sleep 0.05\ndone\n"
                                    "{ pwd; echo \"$1\"; echo $seen; } > started.tmp\n"
                                    "mv started.tmp started\n");
    EXPECT_EQ(startDocument(dir.path() / "GO.BAT", dir.path()), "");
    writeText(dir.path() / "go", "");
    for (int i = 0; i < 400 && !std::filesystem::exists(dir.path() / "started"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(readText(dir.path() / "started"),
              dir.str() + "\n" + (dir.path() / "GO.BAT").string() + "\ngo\n");
}

TEST(StartDocument, MissingHandlerIsReported) {
    TempDir dir, bin;
    writeText(dir.path() / "GO.BAT", "echo");
    FakeHandler handler(bin.path(), "");
    EXPECT_EQ(startDocument(dir.path() / "GO.BAT", dir.path()), "No such file or directory");
}

} // namespace
} // namespace tapeloom
