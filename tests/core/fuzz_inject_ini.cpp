// Any bytes as INJECT.INI, imported into a settings file that already holds a few sections: the
// saved text must read back as the same sections and values, so no record can inject a line or a
// section, and every imported section must hold the twelve keys.
#include "inject_ini.h"
#include "settings_file.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tapeloom;
    SettingsFile settings = SettingsFile::fromText(
        "[TPL]\r\nVersion=1.0.1.0\r\n[Settings]\r\nLastDir=/games/\r\n[game]\r\nFilename=Game\r\n");
    const InjectFile file = parseInjectFile(ByteView(data, size));
    if (file.records.size() > file.recordCount || file.recordCount > file.records.size() + 1)
        std::abort();
    const ImportResult result = importInjectRecords(file, settings, {true, true});
    if (result.updated + result.added + result.skipped != static_cast<int>(file.recordCount))
        std::abort();

    const std::string text = settings.toText();
    const SettingsFile reread = SettingsFile::fromText(text);
    if (reread.sectionNames() != settings.sectionNames() || reread.toText() != text)
        std::abort();
    if (reread.read("Settings", "LastDir", "") != "/games/" ||
        reread.read("TPL", "Version", "") != "1.0.1.0")
        std::abort();
    for (const InjectRecord& record : file.records) {
        if (record.sectionKey.empty())
            continue;
        if (reread.read(record.sectionKey, "Control", "") != "Custom" ||
            reread.read(record.sectionKey, "Start", "") != "<unassigned>")
            std::abort();
    }
    return 0;
}
