#include "support/ProgramFolder.h"

#include "platform/linux/LocalFsuipcTransport.h"
#include "platform/linux/LocalSimConnect.h"

namespace tavoro::test {

ProgramFolder::ProgramFolder(quint16 server_port, int report_interval_ms,
                             const std::string& extra) {
    config_.Write("[FSX]\nDIR=" + config_.MakeSimulatorFolder() +
                  "\n[envoi]\navion=" + std::to_string(report_interval_ms) +
                  "\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" +
                  std::to_string(server_port) + "\npassword=pw\n" + extra);
}

std::unique_ptr<App> ProgramFolder::MakeApp(const SimHostProcess& host, Dialogs& dialogs,
                                            TimerFactory& timers) const {
    const std::string folder = host.folder().toStdString();
    // No reverse lookup: the status bar then shows the bare "connecté ".
    return std::make_unique<App>(
        AppPaths{config_.folder(), config_.folder()}, dialogs,
        [](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
            done(QString());
        },
        SimulatorPlatform{std::make_unique<LocalFsuipcTransport>(folder),
                          std::make_unique<LocalSimConnect>(folder),
                          {}},
        timers);
}

}  // namespace tavoro::test
