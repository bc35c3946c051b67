#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>

#include "atcserver/AtcServer.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavoro-atcserver");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString("Stand-in ATC server for the Tavoro pilot client.\n"
                "Listens on 127.0.0.1 and prints every received line with a timestamp.\n"
                "Answers a login with #TMserver ($ERserver when --password differs), then\n"
                "announces its stations (#AA and % lines); answers $CQ...:STATION:ATIS with\n"
                "the station's #TM lines and its #TMAUDIO line; keeps each client's last\n"
                "position report (@N or @S). Keeps each pilot's filed plan ($FP, 17 fields;\n"
                "any other count is refused with a #TMSERVER text) and answers it with\n"
                "$ACUDEPOT; answers $CQ...:SERVER:DEPOTFPA:TOUS (or :DATE, the date as the\n"
                "pilot filed it) with one $DEPOTFP line per filed plan.\n\n") +
        AtcServer::kCommandHelp +
        "\nStations file (--stations): one station a line, fields separated by '|', blanks\n"
        "around a field ignored, blank lines and lines starting with '#' ignored:\n"
        "  CALLSIGN|FREQ|FACILITY|RANGE|RATING|LAT|LON|ALT|ATIS LINE|...|SPOKEN TEXT\n"
        "FREQ is the frequency without its leading 1 (18.700 for 118.700), FACILITY a key\n"
        "of the client's [facility] section, RANGE the visual range in nautical miles,\n"
        "RATING a whole number, LAT and LON decimal degrees with '.', ALT whole feet.\n"
        "Every field after ALT is an ATIS line, except the last, the spoken text (may be\n"
        "empty: no #TMAUDIO line). No field may hold ':'. A bad line stops the server.");
    parser.addHelpOption();
    QCommandLineOption port_option("port", "TCP port to listen on (0: any free port).", "N",
                                   "6809");
    QCommandLineOption password_option(
        "password", "Refuse logins whose password differs from this one.", "PASSWORD");
    QCommandLineOption stations_option(
        "stations", "Announce the stations of FILE to every client that logs in.", "FILE");
    parser.addOption(port_option);
    parser.addOption(password_option);
    parser.addOption(stations_option);
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
    if (parser.isSet(stations_option)) {
        StationsFile stations = ReadStationsFile(parser.value(stations_option));
        if (!stations.errors.isEmpty()) {
            for (const QString& error : stations.errors) {
                std::fprintf(stderr, "error: %s\n", qPrintable(error));
            }
            return 2;
        }
        options.stations = std::move(stations.stations);
    }

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
