#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <iostream>
#include <string>

#include "SimConnectServer.h"
#include "SimRendezvous.h"
#include "SimState.h"

// Minimal start so the pieces can be tried; the full command channel comes next.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    std::string folder = tavoro::SimRendezvousFolder();
    const QStringList args = app.arguments();
    if (qsizetype at = args.indexOf("--dir"); at >= 0 && at + 1 < args.size()) {
        folder = args[at + 1].toStdString();
    }
    if (std::string error = tavoro::PreparePrivateFolder(folder); !error.empty()) {
        std::cerr << "error: " << error << std::endl;
        return 1;
    }
    tavoro::simhost::SimState state;
    tavoro::simhost::SimConnectServer simconnect(state);
    simconnect.Listen(QString::fromStdString(folder + "/SimConnect"));
    std::cout << "serving in " << folder << std::endl;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line) || line == "quit") {
            app.quit();
        }
    });
    return app.exec();
}
