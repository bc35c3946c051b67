#include "core/Settings.h"

#include "core/Numbers.h"
#include "core/Text.h"

namespace tavoro {

std::optional<std::string> CodeTable::Lookup(std::string_view code) const {
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (EqualsIgnoringCase(keys[i], code)) {
            return texts[i];
        }
    }
    return std::nullopt;
}

LoadResult LoadSettings(const IniFile& ini, Settings& settings, CodeTables& tables) {
    LoadResult result;
    result.unreadable = ini.Unreadable();
    settings.sim_dir = ini.ReadString("FSX", "DIR", "ERROR");
    // Letter case counts: "True" is not true.
    settings.atis_audio = ini.ReadString("ATIS", "audio", "ERROR") == "true";
    settings.ts_dir = ini.ReadString("TS", "DIR", "error");
    settings.ts_address = ini.ReadString("TS", "adresse", "error");
    settings.ts_password = ini.ReadString("TS", "password", "error");
    settings.ts_nickname = ini.ReadString("TS", "nickname", "error");
    settings.server_name = ini.ReadString("connect", "serveur", "error");
    settings.server_address = ini.ReadString("connect", "adresse", "error");
    settings.server_port = ini.ReadString("connect", "port", "error");
    settings.server_password = ini.ReadString("connect", "password", "error");
    settings.plan_folder = ini.ReadString("FSX_plan", "path", "error");

    std::string interval = ini.ReadString("envoi", "avion", "error");
    try {
        settings.report_interval_ms = ParseWholeNumber(interval);
    } catch (const ConversionError& error) {
        result.conversion_error = error.what();
        return result;
    }

    for (std::size_t t = 0; t < kCodeTableSections.size(); ++t) {
        CodeTable& table = tables[t];
        table.section = std::string(kCodeTableSections[t]);
        table.keys.clear();
        table.texts.clear();
        // Keys and texts from one read of the section: a look-up per key would make a
        // long table cost the square of its length.
        for (auto& [key, text] : ini.ReadSection(table.section)) {
            table.keys.push_back(std::move(key));
            table.texts.push_back(std::move(text));
        }
    }
    return result;
}

bool SaveSettings(IniFile& ini, const Settings& settings) {
    // One rewrite for the seven keys: a close step cut short leaves them all as they were or
    // all as they are now, never some of each.
    const IniEntry entries[] = {
        {"ATIS", "audio", settings.atis_audio ? "true" : "false"},
        {"TS", "DIR", settings.ts_dir},
        {"TS", "adresse", settings.ts_address},
        {"TS", "password", settings.ts_password},
        {"TS", "nickname", settings.ts_nickname},
        {"connect", "serveur", settings.server_name},
        {"connect", "adresse", settings.server_address},
    };
    return ini.WriteStrings(entries);
}

bool SaveSimulatorFolder(IniFile& ini, const std::string& folder) {
    return ini.WriteString("FSX", "DIR", folder);
}

bool SavePlanFolder(IniFile& ini, const std::string& folder) {
    return ini.WriteString("FSX_plan", "path", folder);
}

std::string LookupFacility(const IniFile& ini, std::string_view facility_code) {
    return ini.ReadString("facility", facility_code, "error");
}

}  // namespace tavoro
