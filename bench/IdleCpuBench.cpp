// The processor time the client takes while it waits: built as the program builds itself
// (its own dialogs and event-loop timers), linked to the stand-in simulator and logged in
// to the stand-in ATC server, each a process of its own, then left alone for a few
// seconds with nothing happening at either end. The time is this process's own (user and
// system, every thread), so the stand-ins' share is not in it; nothing but the client and
// the event loop runs here while it is measured. Prints the share of one processor.
// Usage: idle_cpu_bench [SECONDS]

#include <sys/resource.h>

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/App.h"
#include "app/Dialogs.h"
#include "app/TForm1.h"
#include "support/AtcServerProcess.h"
#include "support/EventLoop.h"
#include "support/SimHostProcess.h"
#include "support/TempConfig.h"

namespace {

double ProcessorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tavoro;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    test::SimHostProcess host;
    test::AtcServerProcess server;
    if (!host.started() || !server.started()) {
        std::fprintf(stderr, "a stand-in did not start (simulator %d, server %d)\n", host.started(),
                     server.started());
        return 1;
    }
    // The program folder as a pilot's: the simulator found, the stand-in server, a report
    // every five seconds.
    test::TempConfig config;
    config.Write("[FSX]\nDIR=" + config.MakeSimulatorFolder() +
                 "\n[envoi]\navion=5000\n[ATIS]\naudio=false\n[connect]\nserveur=Tavoro\n"
                 "adresse=127.0.0.1\nport=" +
                 std::to_string(server.port()) + "\npassword=pw\n");
    qputenv("TAVORO_SIM_DIR", host.folder().toUtf8());

    QtDialogs dialogs;
    App app({config.folder(), config.folder()}, dialogs);
    app.Start();
    if (!test::WaitUntil([&] { return app.test_view().sim_link.sim_link_up(); })) {
        std::fprintf(stderr, "the simulator link did not open\n");
        return 1;
    }
    TForm1* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "Form1") {
            window = qobject_cast<TForm1*>(widget);
        }
    }
    if (window == nullptr) {
        std::fprintf(stderr, "no main window\n");
        return 1;
    }
    QTest::mouseClick(window->Panel_server, Qt::LeftButton);
    if (!test::WaitUntil([&] { return app.test_view().link.logged_in(); })) {
        std::fprintf(stderr, "the login was not accepted\n");
        return 1;
    }
    // Settled: the first polls, the first report and the login's answers are behind it.
    test::RunEventsFor(std::chrono::seconds(1));

    // The program's own event loop, as it runs: the helpers that wait for a condition
    // poll the loop every millisecond, which would be measured with the client.
    const double processor_before = ProcessorSeconds();
    const auto wall_before = std::chrono::steady_clock::now();
    QEventLoop idle;
    QTimer::singleShot(std::chrono::seconds(seconds), &idle, &QEventLoop::quit);
    idle.exec();
    const double processor = ProcessorSeconds() - processor_before;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    const bool still_up =
        app.test_view().sim_link.sim_link_up() && app.test_view().link.logged_in();

    std::printf(
        "idle, linked and logged in: %.3f s of processor time in %.1f s, %.2f %% of one "
        "processor%s\n",
        processor, wall, 100 * processor / wall,
        still_up ? "" : " (the link or the login was lost meanwhile)");
    app.Close();
    test::RunEventsFor(std::chrono::milliseconds(200));
    return still_up ? 0 : 1;
}
