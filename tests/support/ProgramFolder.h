#pragma once

#include <QString>
#include <memory>
#include <string>

#include "app/App.h"
#include "app/Dialogs.h"
#include "support/SimHostProcess.h"
#include "support/TempConfig.h"

namespace tavoro::test {

// A program folder of its own for running the whole client against the stand-ins: a
// simulator folder with its executable, so start-up asks nothing, and a configuration
// that points at the stand-in ATC server.
class ProgramFolder {
public:
    // [envoi] avion is `report_interval_ms`; `extra` is appended to the configuration.
    ProgramFolder(quint16 server_port, int report_interval_ms, const std::string& extra = "");

    QString path() const { return config_.folder(); }

    // The client linked to the stand-in simulator `host`, asking the user through
    // `dialogs`, its timers from `timers`, not yet shown.
    std::unique_ptr<App> MakeApp(const SimHostProcess& host, Dialogs& dialogs,
                                 TimerFactory& timers) const;

private:
    TempConfig config_;
};

}  // namespace tavoro::test
