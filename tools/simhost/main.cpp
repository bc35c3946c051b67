#include <fcntl.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/linux/SimRendezvous.h"
#include "simhost/Commands.h"
#include "simhost/FsuipcServer.h"
#include "simhost/HostMain.h"
#include "simhost/SimConnectServer.h"
#include "simhost/SimModel.h"
#include "simhost/SimState.h"

namespace {

using tavoro::simhost::CommandChannel;
using tavoro::simhost::FsuipcServer;
using tavoro::simhost::FsuipcVersions;
using tavoro::simhost::MakeCommandChannel;
using tavoro::simhost::ParseHex;
using tavoro::simhost::PrintLine;
using tavoro::simhost::SimConnectServer;
using tavoro::simhost::SimModel;
using tavoro::simhost::SimState;

constexpr char kDescription[] =
    "Stand-in flight simulator for the Tavoro pilot client: serves the FSUIPC exchange\n"
    "and the SimConnect calls through sockets in a private rendezvous folder, and flies\n"
    "one aircraft that moves along its heading at its ground speed.\n"
    "\n"
    "Commands on standard input, one per line; each answers one line, \"ok\",\n"
    "\"error: <reason>\" (and nothing changes), or the JSON line of dump:\n"
    "  set lat DEG          latitude, -90 to 90\n"
    "  set lon DEG          longitude, -180 to 180\n"
    "  set alt_ft FEET      altitude\n"
    "  set gs_kt KNOTS      ground speed, 0 or more\n"
    "  set heading DEG      true heading\n"
    "  set pitch DEG        pitch, nose up positive\n"
    "  set bank DEG         bank, right wing down positive\n"
    "  set xpd HHHH         transponder register, exactly four hexadecimal digits\n"
    "  set engines N        number of engines, 0 to 65535\n"
    "  set zulu HH:MM:SS    zulu time (the local time is left as it is)\n"
    "  set local HH:MM      local time; its seconds follow the zulu clock's\n"
    "  set ready 1|0        1: ready, 0: the simulator reports not ready\n"
    "  set title TEXT       aircraft title (the rest of the line, may be empty)\n"
    "  set type TEXT        aircraft type\n"
    "  set model TEXT       aircraft model\n"
    "  set id TEXT          identifier (callsign)\n"
    "  set airline TEXT     airline\n"
    "  set plan_path TEXT   the simulator's flight-plan path\n"
    "  menu N               the SimConnect client receives menu event N\n"
    "  metar TEXT           the current weather: the nearest station and any position\n"
    "                       observe it (an interpolated answer names the station\n"
    "                       \"????\"); a station asked by name answers its last\n"
    "                       observation, exception 15 if it never had one;\n"
    "                       \"metar\" alone: no observation anywhere\n"
    "  simconnect hold      SimConnect calls are left unanswered until release\n"
    "  simconnect release   the held calls are answered, in order\n"
    "  simconnect drop      every SimConnect connection is closed (FSUIPC goes on)\n"
    "  dump                 the whole state as one JSON line\n"
    "  quit                 remove the sockets and end\n"
    "Numbers use \".\" as the decimal point. At the end of standard input the stand-in\n"
    "keeps serving; SIGTERM, SIGINT and SIGHUP end it as quit does.";

// Signals end the stand-in through the event loop, so that the sockets are removed as
// on "quit"; the handler only writes one byte to a pipe.
int signal_pipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavoro-simhost");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("%1\n\n%2\n\n%3")
                                         .arg(kDescription, tavoro::simhost::kAiObjectTypeRule,
                                              tavoro::simhost::kObservationRule));
    parser.addHelpOption();
    QCommandLineOption dir_option(
        "dir",
        "Rendezvous folder (default: $TAVORO_SIM_DIR, else tavoro-sim in $XDG_RUNTIME_DIR, "
        "else /tmp/tavoro-sim-<uid>); created private (0700).",
        "FOLDER", QString::fromStdString(tavoro::SimRendezvousFolder()));
    QCommandLineOption fsuipc_option(
        "fsuipc-version", "What offset 0x3304 answers, in hexadecimal.", "HEX", "0x40000000");
    QCommandLineOption sim_option(
        "sim-version",
        "What offset 0x3308 answers, in hexadecimal: high word 0xFADE, low word the "
        "simulator (8: FSX).",
        "HEX", "0xFADE0008");
    QCommandLineOption fallback_option(
        "fallback-window", "Serve the FSUIPC exchange on FS98MAIN instead of UIPCMAIN.");
    parser.addOptions({dir_option, fsuipc_option, sim_option, fallback_option});
    parser.process(app);

    FsuipcVersions versions;
    auto fsuipc_version = ParseHex(parser.value(fsuipc_option));
    auto sim_version = ParseHex(parser.value(sim_option));
    if (!fsuipc_version || !sim_version) {
        std::fprintf(stderr, "error: versions are 32-bit hexadecimal numbers\n");
        return 1;
    }
    versions.fsuipc = *fsuipc_version;
    versions.sim = *sim_version;

    const std::string folder = parser.value(dir_option).toStdString();
    if (std::string error = tavoro::PreparePrivateFolder(folder); !error.empty()) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 1;
    }

    SimState state;
    tavoro::simhost::ParkAtDefaultAirport(state.aircraft);
    SimModel model(state);
    FsuipcServer fsuipc(model, folder, versions);
    const QString window =
        parser.isSet(fallback_option) ? tavoro::kFs98mainSocket : tavoro::kUipcmainSocket;
    if (QString error = fsuipc.Listen(window); !error.isEmpty()) {
        std::fprintf(stderr, "error: %s\n", qPrintable(error));
        return 1;
    }
    SimConnectServer simconnect(state);
    simconnect.SetBeforeCall([&model] { model.Update(); });
    const QString simconnect_path =
        QString::fromStdString(folder) + "/" + tavoro::kSimConnectSocket;
    if (QString error = simconnect.Listen(simconnect_path); !error.isEmpty()) {
        // The FSUIPC side is still worth serving on its own.
        std::fprintf(stderr, "warning: SimConnect: %s\n", qPrintable(error));
    }

    if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("error: pipe");
        return 1;
    }
    QSocketNotifier signal_notifier(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&signal_notifier, &QSocketNotifier::activated, &app,
                     [] { QCoreApplication::quit(); });
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(number, onSignal);
    }
    // A reader that went away (a client, or whoever reads our output) is an error on
    // that write, not the end of the simulator.
    std::signal(SIGPIPE, SIG_IGN);

    const std::unique_ptr<CommandChannel> commands = MakeCommandChannel(model, simconnect);
    // Standard input is read as it comes (several lines may arrive at once); at its end
    // the stand-in keeps serving, so it can run in the background with no terminal.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    bool quitting = false;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                input.setEnabled(false);
            }
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while (!quitting && (end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            const tavoro::simhost::CommandResult result = commands->Run(line);
            PrintLine(result.answer);
            if (result.quit) {
                quitting = true;
                input.setEnabled(false);
                QCoreApplication::quit();
            }
        }
    });

    PrintLine("serving in " + folder);
    return app.exec();
}
