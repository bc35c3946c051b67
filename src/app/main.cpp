#include <QApplication>
#include <QDir>
#include <QStyleFactory>

#include "app/App.h"
#include "app/Dialogs.h"
#include "app/ProgramStyle.h"
#include "platform/InstanceLock.h"
#include "platform/SessionEnd.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavoro");
    // The style Qt chose (the platform's, or the one named on the command line), with its
    // images read when first drawn.
    QApplication::setStyle(
        new tavoro::ProgramStyle(QStyleFactory::create(QApplication::style()->name())));

    // A second start ends at once, with no window and no message.
    tavoro::InstanceLock instance(tavoro::InstanceLock::RuntimeFolder(), "MonMutexcorvanta2");
    if (!instance.IsFirst()) {
        return 0;
    }

    // The session's end is watched before the program builds anything: from the moment
    // the simulator link opens, it must close the program as the user would.
    tavoro::SessionEndWatcher session_end;

    // The object window may still be open when the main window closes; the program
    // ends with the main window all the same.
    QApplication::setQuitOnLastWindowClosed(false);
    tavoro::QtDialogs dialogs;
    tavoro::App app({QCoreApplication::applicationDirPath(), QDir::currentPath()}, dialogs);
    QObject::connect(&app, &tavoro::App::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    // Closing runs the close step: the settings are saved, the server hears "#DP", the
    // simulator's menu and the shared block go away. An end that came while the program
    // was being built is delivered once the loop runs.
    QObject::connect(&session_end, &tavoro::SessionEndWatcher::sessionEnding, &app,
                     [&app] { app.Close(); });
    app.Start();
    return application.exec();
}
