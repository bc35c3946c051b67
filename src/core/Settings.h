#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/IniFile.h"

namespace tavoro {

// The configuration values read once at start-up. Texts are the file's bytes.
struct Settings {
    std::string sim_dir;
    bool atis_audio = false;
    std::string ts_dir;
    std::string ts_address;
    std::string ts_password;
    std::string ts_nickname;
    std::string server_name;
    std::string server_address;
    std::string server_port;
    std::string server_password;
    std::string plan_folder;
    int report_interval_ms = 0;
};

// A code-to-text table of one configuration section: key names in file order and,
// at the same position, each key's text.
struct CodeTable {
    std::string section;
    std::vector<std::string> keys;
    std::vector<std::string> texts;

    // The text of the first key equal to `code` ignoring letter case.
    std::optional<std::string> Lookup(std::string_view code) const;
};

// The nine sections, in load order.
inline constexpr std::array<std::string_view, 9> kCodeTableSections = {
    "turbulence", "shear",     "conditions descriptor",   "conditions phenomena",
    "cloud typ",  "cloud top", "precipitation intensity", "precipitation typ",
    "icing rate",
};

using CodeTables = std::array<CodeTable, kCodeTableSections.size()>;

// The configuration file's name; it lives in the executable's folder.
inline constexpr std::string_view kConfigFileName = "corvanta.ini";

// What start-up read, or where it stopped.
struct LoadResult {
    // Set when [envoi] avion is not a whole number: the message to show the user.
    // Loading stopped there, so the code tables are empty.
    std::optional<std::string> conversion_error;
    // Set when the file is there but cannot be read. Start-up then runs on the defaults,
    // as for a missing file, and every save fails and leaves the file alone; the user must
    // be told, or the defaults would pass for what the file holds.
    bool unreadable = false;
};

// Reads every setting and the code tables in the fixed start-up order.
LoadResult LoadSettings(const IniFile& ini, Settings& settings, CodeTables& tables);

// Writes back, in this order and in one rewrite of the file, [ATIS] audio, the four [TS]
// keys, [connect] serveur and adresse. The port, the password, the report interval and the
// tables are never written. Returns false when the file could not be written; it then
// holds none of them.
bool SaveSettings(IniFile& ini, const Settings& settings);

// [FSX] DIR, written as soon as the user picks the simulator executable.
bool SaveSimulatorFolder(IniFile& ini, const std::string& folder);

// [FSX_plan] path, written as soon as the user picks a plan in another folder.
bool SavePlanFolder(IniFile& ini, const std::string& folder);

// The facility text of a station's facility code, read from the file at each call
// so that edits to [facility] show without a restart; "error" when the key is absent.
std::string LookupFacility(const IniFile& ini, std::string_view facility_code);

}  // namespace tavoro
