// The configuration reader on any bytes a user's editor or another program may have left
// in corvanta.ini: every read, the key listing, a section read whole, the settings load,
// and a write that must keep the file readable.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ScratchFile.h"
#include "core/IniFile.h"
#include "core/Settings.h"

namespace {

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path =
        tavoro::fuzz::ScratchFilePath("tavoro-fuzz-config", ".ini");
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavoro;
    const std::filesystem::path& path = scratchFile();
    fuzz::WriteScratchFile(path, data, size);
    // Dated long before the read, as a user's file is, so the reader may keep what it
    // parsed instead of reading the file again at every look-up.
    std::filesystem::last_write_time(
        path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    IniFile ini(path);
    Settings settings;
    CodeTables tables;
    LoadSettings(ini, settings, tables);
    for (const char* section : {"facility", "connect", "turbulence", ""}) {
        // A section read whole gives each key the value a read of that key alone gives.
        const auto whole = ini.ReadSection(section);
        std::size_t index = 0;
        for (const std::string& key : ini.ReadKeyNames(section)) {
            const std::string value = ini.ReadString(section, key, "");
            if (value.size() > IniFile::kMaxValueLength) {
                __builtin_trap();
            }
            if (index >= whole.size() || whole[index].first != key ||
                whole[index].second != value) {
                __builtin_trap();
            }
            ++index;
        }
        if (index != whole.size()) {
            __builtin_trap();
        }
    }
    LookupFacility(ini, "TWR");
    // A written value must read back as written, whatever surrounded it.
    if (ini.WriteString("ATIS", "audio", "true") && ini.ReadString("ATIS", "audio", "") != "true") {
        __builtin_trap();
    }
    return 0;
}
