#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "Aircraft.h"
#include "Dispatcher.h"
#include "ServerLink.h"
#include "Settings.h"
#include "Text.h"

namespace {

QString styleFor(tavoro::Rgb colour, tavoro::Bevel bevel) {
    return QStringLiteral("background-color: rgb(%1, %2, %3); border: 2px %4;")
        .arg(colour.r)
        .arg(colour.g)
        .arg(colour.b)
        .arg(bevel == tavoro::Bevel::Raised ? "outset" : "inset");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    // Everything that lives for the whole run is created here and handed to its users.
    tavoro::IniFile ini(QDir(QCoreApplication::applicationDirPath())
                            .filePath(QString::fromUtf8(tavoro::kConfigFileName.data()))
                            .toStdString());
    tavoro::Settings settings;
    tavoro::CodeTables code_tables;
    tavoro::AircraftIdentity identity;
    tavoro::AircraftState state;
    tavoro::ServerLink link(settings, identity, state);
    tavoro::Dispatcher dispatcher(link);
    link.SetDispatcher([&dispatcher](const tavoro::FieldList& f) { dispatcher.DispatchLine(f); });

    QMainWindow window;
    window.setWindowTitle("Tavoro 3.81");
    auto* central = new QWidget(&window);
    auto* layout = new QVBoxLayout(central);
    auto* panel_server = new QPushButton("ATC server", central);
    panel_server->setObjectName("Panel_server");
    layout->addWidget(panel_server);
    window.setCentralWidget(central);
    QLabel* status[2] = {new QLabel(&window), new QLabel(&window)};
    status[0]->setMinimumWidth(100);
    status[1]->setMinimumWidth(200);
    window.statusBar()->addWidget(status[0]);
    window.statusBar()->addWidget(status[1]);

    auto repaint = [&] {
        panel_server->setStyleSheet(styleFor(link.panelColour(), link.panelBevel()));
    };
    repaint();
    QObject::connect(&link, &tavoro::ServerLink::panelChanged, &window, repaint);
    QObject::connect(&link, &tavoro::ServerLink::statusMessage, &window,
                     [&](int panel, const QString& text) { status[panel]->setText(text); });
    QObject::connect(&link, &tavoro::ServerLink::errorMessage, &window,
                     [&](const QString& text) { QMessageBox::critical(&window, "Tavoro", text); });
    QObject::connect(panel_server, &QPushButton::clicked, &link, [&] {
        if (link.socket_connected()) {
            link.DisconnectFromServer();
        } else {
            link.ConnectToServer();
        }
    });

    tavoro::LoadResult loaded = tavoro::LoadSettings(ini, settings, code_tables);
    if (loaded.conversion_error) {
        QMessageBox::critical(nullptr, "Tavoro", tavoro::ToDisplay(*loaded.conversion_error));
    } else {
        link.SetReportInterval(settings.report_interval_ms);
    }

    window.resize(400, 150);
    window.show();
    int result = app.exec();
    tavoro::SaveSettings(ini, settings);
    if (link.logged_in()) {
        link.DisconnectFromServer();
    }
    return result;
}
