#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>

#include "AtcServer.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavoro-atcserver");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Stand-in ATC server for the Tavoro pilot client.\n"
        "Listens on 127.0.0.1, prints every received line with a timestamp, answers logins.\n"
        "Commands on standard input, one per line:\n"
        "  send LINE   push LINE (CR LF added) to every connected client\n"
        "  drop        close every client connection\n"
        "  quit        close every connection and end");
    parser.addHelpOption();
    QCommandLineOption port_option("port", "TCP port to listen on (0: any free port).", "N",
                                   "6809");
    QCommandLineOption password_option(
        "password", "Refuse logins whose password differs from this one.", "PASSWORD");
    parser.addOption(port_option);
    parser.addOption(password_option);
    parser.process(app);

    AtcServer::Options options;
    bool port_ok = false;
    uint port = parser.value(port_option).toUInt(&port_ok);
    if (!port_ok || port > 65535) {
        std::fprintf(stderr, "error: --port takes a number from 0 to 65535\n");
        return 2;
    }
    options.port = static_cast<quint16>(port);
    options.password = parser.value(password_option).toUtf8();

    QTextStream out(stdout);
    AtcServer server(options, out);
    if (!server.Listen()) {
        return 1;
    }

    // Standard input is read as it comes; at its end the server keeps serving, so it
    // can run in the background with no terminal.
    QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (!server.Command(line)) {
                QCoreApplication::quit();
                return;
            }
        }
    });
    return app.exec();
}
