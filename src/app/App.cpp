#include "App.h"

#include <QDir>

#include "TForm1.h"
#include "TForm_edit.h"
#include "TForm_objet.h"
#include "Text.h"

namespace tavoro {

App::App(const AppPaths& paths, ReverseLookup reverse_lookup, SimulatorPlatform simulator)
    : ini_(QDir(paths.executable_folder)
               .filePath(QString::fromLatin1(kConfigFileName.data(), kConfigFileName.size()))
               .toStdString()),
      simulator_(std::move(simulator)),
      fsuipc_(*simulator_.fsuipc),
      simconnect_(*simulator_.simconnect),
      sim_link_(fsuipc_, simconnect_, state_, identity_, failure_state_),
      link_(settings_, identity_, state_, std::move(reverse_lookup)),
      dispatcher_(link_, settings_, identity_) {
    link_.SetDispatcher([this](const FieldList& fields) { dispatcher_.DispatchLine(fields); });
    // A simulator that stopped answering takes the pilot off the network with it.
    connect(&sim_link_, &SimulatorLink::logOffRequested, this, [this] {
        if (link_.socket_connected()) {
            link_.DisconnectFromServer();
        }
    });

    // The main window first: its creation step reads the configuration and opens the
    // simulator link.
    form1_ = std::make_unique<TForm1>(
        MainWindowContext{ini_, settings_, code_tables_, link_, sim_link_, state_, identity_,
                          paths.executable_folder, paths.working_folder});
    form_edit_ = std::make_unique<TForm_edit>(form1_.get());
    form_objet_ = std::make_unique<TForm_objet>();

    SimMessageActions actions;
    actions.log = [this](const std::string& line) { form_objet_->AppendLog(ToDisplay(line)); };
    actions.show_window = [this] { form1_->Afficher(); };
    actions.hide_window = [this] { form1_->Masquer(); };
    // Closing ends the program; it waits until the dispatch in hand has returned.
    actions.close_window = [this] {
        QMetaObject::invokeMethod(form1_.get(), &QWidget::close, Qt::QueuedConnection);
    };
    sim_link_.SetMessageActions(std::move(actions));

    // What the lines received while logged in reach.
    DispatchTargets targets;
    dispatcher_.SetTargets(std::move(targets));

    connect(form1_.get(), &TForm1::closed, this, [this] {
        form_objet_->close();
        emit finished();
    });
}

App::~App() = default;

void App::Start() {
    form1_->showMinimized();
}

}  // namespace tavoro
