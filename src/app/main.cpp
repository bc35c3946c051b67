#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "app/App.h"
#include "app/SingleInstance.h"
#include "app/TForm1.h"

namespace {

// A session that ends (logout, shutdown) or a Ctrl-C sends a signal; the handler only
// writes a byte, and the event loop then closes the main window as the user would.
int signal_pipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signal_pipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavoro");

    // A second start ends at once, with no window and no message.
    tavoro::SingleInstance instance(tavoro::SingleInstance::RuntimeFolder(), "MonMutexcorvanta2");
    if (!instance.IsFirst()) {
        return 0;
    }

    // Signals are caught before the program builds anything: from the moment the
    // simulator link opens, a signal must close the program as the user would.
    const bool catching_signals = ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0;
    if (catching_signals) {
        for (int number : {SIGTERM, SIGINT, SIGHUP}) {
            std::signal(number, onSignal);
        }
    }

    // The object window may still be open when the main window closes; the program
    // ends with the main window all the same.
    QApplication::setQuitOnLastWindowClosed(false);
    tavoro::App app({QCoreApplication::applicationDirPath(), QDir::currentPath()});
    QObject::connect(&app, &tavoro::App::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Closing runs the close step: the settings are saved, the server hears "#DP", the
    // simulator's menu and the shared block go away. A signal that came while the
    // program was being built waits in the pipe and is handled once the loop runs.
    std::unique_ptr<QSocketNotifier> signal_notifier;
    if (catching_signals) {
        signal_notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(signal_notifier.get(), &QSocketNotifier::activated, &app, [&app] {
            char byte;
            while (::read(signal_pipe[0], &byte, 1) > 0) {
            }
            app.Form1().close();
        });
    }
    app.Start();
    return application.exec();
}
