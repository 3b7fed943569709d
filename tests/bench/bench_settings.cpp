// A settings file with N snapshot sections: load, resolve the keys of every section, save.
// Usage: bench_settings [N...]   (default 1000 10000)
#include "clock.h"
#include "files.h"
#include "image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tapeloom;

namespace {

std::string settingsText(int sections) {
    std::string text = "[TPL]\r\nVersion=1.0.1.0\r\n\r\n[Control Defaults]\r\nDefault0=Kempston"
                       "\r\n\r\n[Control_Kempston]\r\n";
    for (auto slot : kSlotKeys)
        text += std::string(slot) + "=JOY FIRE\r\n";
    text += "\r\n";
    for (int i = 0; i < sections; ++i) {
        std::string name = "snapshot number " + std::to_string(i);
        text += "[" + name + "]\r\nFilename=" + name.substr(0, 15) + "\r\n";
        if (i % 2 == 0) {
            text += "Control=Kempston\r\n";
        } else {
            text += "Control=Custom\r\n";
            for (std::size_t s = 0; s < kSlotKeys.size(); ++s)
                text +=
                    std::string(kSlotKeys[s]) + "=" + std::string(kKeyNames[s * 4 + 1]) + "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000};
    const test::TempDir temp;
    const std::filesystem::path path = temp.path() / "TPL.INI";

    for (int n : sizes) {
        std::ofstream(path, std::ios::binary) << settingsText(n);
        SettingsFile settings;
        double load = test::bestMilliseconds(3, [&] { settings = SettingsFile::open(path); });
        unsigned checksum = 0;
        double resolve = test::bestMilliseconds(3, [&] {
            for (const auto& name : settings.sectionNames())
                for (auto code : resolveKeys(settings, name))
                    checksum += code;
        });
        double save = test::bestMilliseconds(3, [&] { settings.save(); });
        std::printf("%6d sections: load %.2f ms, resolve all %.2f ms, save %.2f ms, "
                    "total %.2f ms (%.2f us per section) [%u]\n",
                    n, load, resolve, save, load + resolve + save,
                    (load + resolve + save) * 1000.0 / n, checksum);
    }
    return 0;
}
