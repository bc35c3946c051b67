#include <QApplication>
#include <QDir>

#include "App.h"
#include "SingleInstance.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tavoro");

    // A second start ends at once, with no window and no message.
    tavoro::SingleInstance instance(tavoro::SingleInstance::RuntimeFolder(), "MonMutexcorvanta2");
    if (!instance.IsFirst()) {
        return 0;
    }

    // The object window may still be open when the main window closes; the program
    // ends with the main window all the same.
    QApplication::setQuitOnLastWindowClosed(false);
    tavoro::App app({QCoreApplication::applicationDirPath(), QDir::currentPath()});
    QObject::connect(&app, &tavoro::App::finished, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    app.Start();
    return application.exec();
}
