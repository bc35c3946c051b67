#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <fstream>

#include "platform/linux/LocalFsuipcTransport.h"
#include "platform/linux/LocalSimConnect.h"

namespace tavoro::test {

ProgramFolder::ProgramFolder(quint16 server_port, int report_interval_ms,
                             const std::string& extra) {
    QDir(dir_.path()).mkpath("sim");
    QFile(QDir(dir_.path()).filePath("sim/FSX.exe")).open(QIODevice::WriteOnly);
    std::ofstream(QDir(dir_.path()).filePath("corvanta.ini").toStdString())
        << "[FSX]\nDIR=" << QDir(dir_.path()).filePath("sim").toStdString()
        << "/\n[envoi]\navion=" << report_interval_ms
        << "\n[connect]\nserveur=Tavoro\nadresse=127.0.0.1\nport=" << server_port
        << "\npassword=pw\n"
        << extra;
}

std::unique_ptr<App> ProgramFolder::MakeApp(const SimHostProcess& host, Dialogs& dialogs,
                                            TimerFactory& timers) const {
    const std::string folder = host.folder().toStdString();
    // No reverse lookup: the status bar then shows the bare "connecté ".
    return std::make_unique<App>(
        AppPaths{dir_.path(), dir_.path()}, dialogs,
        [](const QHostAddress&, QObject*, std::function<void(const QString&)> done) {
            done(QString());
        },
        SimulatorPlatform{std::make_unique<LocalFsuipcTransport>(folder),
                          std::make_unique<LocalSimConnect>(folder)},
        timers);
}

}  // namespace tavoro::test
