#include <cstdio>
#include <string>

#include "core/IniFile.h"
#include "core/Settings.h"

// settings-save-loop FILE: runs the close step's save over and over, its seven keys taking
// their new and their old values in turn, and says "ready" after the first complete save.
// The texts end in "-new" or "-old" and [ATIS] audio is true or false with them.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings-save-loop FILE\n");
        return 2;
    }
    tavoro::IniFile ini(argv[1]);
    tavoro::Settings versions[2];
    for (int v = 0; v < 2; ++v) {
        const std::string suffix = v == 0 ? "-new" : "-old";
        tavoro::Settings& settings = versions[v];
        settings.atis_audio = v == 0;
        settings.ts_dir = "ts-dir" + suffix;
        settings.ts_address = "ts-address" + suffix;
        settings.ts_password = "ts-password" + suffix;
        settings.ts_nickname = "ts-nickname" + suffix;
        settings.server_name = "server-name" + suffix;
        settings.server_address = "server-address" + suffix;
    }
    for (unsigned long i = 0;; ++i) {
        if (!tavoro::SaveSettings(ini, versions[i % 2])) {
            return 1;
        }
        if (i == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
