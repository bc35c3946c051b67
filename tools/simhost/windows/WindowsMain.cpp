// The stand-in simulator built for Windows: the FSUIPC exchange through its window and
// the named mapping, the SimConnect calls on a named pipe for the stand-in library, and
// the same commands on standard input as on Linux.
#include <windows.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMetaObject>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "simhost/Commands.h"
#include "simhost/HostMain.h"
#include "simhost/SimConnectServer.h"
#include "simhost/SimModel.h"
#include "simhost/SimState.h"
#include "simhost/windows/WindowsFsuipcServer.h"

namespace {

using tavoro::simhost::CommandChannel;
using tavoro::simhost::FsuipcVersions;
using tavoro::simhost::MakeCommandChannel;
using tavoro::simhost::ParseHex;
using tavoro::simhost::PrintLine;
using tavoro::simhost::SimConnectServer;
using tavoro::simhost::SimModel;
using tavoro::simhost::SimState;
using tavoro::simhost::WindowsFsuipcServer;

constexpr char kDescription[] =
    "Stand-in flight simulator for the Tavoro pilot client on Windows: serves the FSUIPC\n"
    "exchange through a window of class UIPCMAIN (FS98MAIN with --fallback-window) and\n"
    "the SimConnect calls of the stand-in SimConnect.dll on a named pipe.\n"
    "\n"
    "Commands on standard input, one per line, as on Linux (set, menu, metar, simconnect,\n"
    "dump, quit; see the Linux stand-in's --help), and one more:\n"
    "  stall MS             the simulator stops answering for MS milliseconds (its\n"
    "                       window does not handle messages meanwhile), then \"ok\"";

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavoro-simhost");

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    QCommandLineOption pipe_option(
        "pipe", "Name of the SimConnect pipe (default: $TAVORO_SIM_PIPE, else tavoro-simconnect).",
        "NAME",
        qEnvironmentVariableIsEmpty("TAVORO_SIM_PIPE") ? QStringLiteral("tavoro-simconnect")
                                                       : qEnvironmentVariable("TAVORO_SIM_PIPE"));
    QCommandLineOption fsuipc_option(
        "fsuipc-version", "What offset 0x3304 answers, in hexadecimal.", "HEX", "0x40000000");
    QCommandLineOption sim_option("sim-version",
                                  "What offset 0x3308 answers, in hexadecimal: high word "
                                  "0xFADE, low word the simulator (8: FSX).",
                                  "HEX", "0xFADE0008");
    QCommandLineOption fallback_option(
        "fallback-window", "Serve the FSUIPC exchange on FS98MAIN instead of UIPCMAIN.");
    parser.addOptions({pipe_option, fsuipc_option, sim_option, fallback_option});
    parser.process(app);

    const auto fsuipc_version = ParseHex(parser.value(fsuipc_option));
    const auto sim_version = ParseHex(parser.value(sim_option));
    if (!fsuipc_version || !sim_version) {
        std::fprintf(stderr, "error: versions are 32-bit hexadecimal numbers\n");
        return 1;
    }

    SimState state;
    tavoro::simhost::ParkAtDefaultAirport(state.aircraft);
    SimModel model(state);
    WindowsFsuipcServer fsuipc(model, FsuipcVersions{*fsuipc_version, *sim_version});
    const QString window_class = parser.isSet(fallback_option) ? "FS98MAIN" : "UIPCMAIN";
    if (QString error = fsuipc.Listen(window_class); !error.isEmpty()) {
        std::fprintf(stderr, "error: %s\n", qPrintable(error));
        return 1;
    }
    SimConnectServer simconnect(state);
    simconnect.SetBeforeCall([&model] { model.Update(); });
    const QString pipe = parser.value(pipe_option);
    if (QString error = simconnect.Listen(pipe); !error.isEmpty()) {
        std::fprintf(stderr, "warning: SimConnect: %s\n", qPrintable(error));
    }

    const std::unique_ptr<CommandChannel> commands = MakeCommandChannel(model, simconnect);
    auto run = [&](const std::string& line) {
        if (line.rfind("stall ", 0) == 0) {
            int milliseconds = 0;
            const char* first = line.data() + 6;
            const char* last = line.data() + line.size();
            auto [stop, error] = std::from_chars(first, last, milliseconds);
            if (error != std::errc() || stop != last || milliseconds < 0) {
                PrintLine("error: stall takes a number of milliseconds");
                return;
            }
            // The window's thread sleeps: a client's message waits unanswered.
            ::Sleep(static_cast<DWORD>(milliseconds));
            PrintLine("ok");
            return;
        }
        const tavoro::simhost::CommandResult result = commands->Run(line);
        PrintLine(result.answer);
        if (result.quit) {
            QCoreApplication::quit();
        }
    };
    // Standard input is read on a thread of its own (a console or a pipe cannot be waited
    // on by the event loop here); each line is run on the main thread. At its end the
    // stand-in keeps serving.
    std::thread reader([&app, &run] {
        std::string line;
        while (std::getline(std::cin, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            QMetaObject::invokeMethod(
                &app, [&run, line] { run(line); }, Qt::QueuedConnection);
            if (line == "quit") {
                break;
            }
        }
    });
    reader.detach();

    PrintLine("serving on pipe " + pipe.toStdString() + " and window " +
              window_class.toStdString());
    const int code = app.exec();
    // The reader may still wait on standard input; the process ends without it.
    std::fflush(stdout);
    ::ExitProcess(static_cast<UINT>(code));
}
