#include "App.h"

#include <QDir>

#include "TForm1.h"
#include "TForm_edit.h"
#include "TForm_objet.h"

namespace tavoro {

App::App(const AppPaths& paths, ReverseLookup reverse_lookup)
    : ini_(QDir(paths.executable_folder)
               .filePath(QString::fromLatin1(kConfigFileName.data(), kConfigFileName.size()))
               .toStdString()),
      link_(settings_, identity_, state_, std::move(reverse_lookup)),
      dispatcher_(link_) {
    link_.SetDispatcher([this](const FieldList& fields) { dispatcher_.DispatchLine(fields); });

    // The main window first: its creation step reads the configuration.
    form1_ = std::make_unique<TForm1>(MainWindowContext{
        ini_, settings_, code_tables_, link_, paths.executable_folder, paths.working_folder,
        /*open_simulator_link=*/{}});
    form_edit_ = std::make_unique<TForm_edit>(form1_.get());
    form_objet_ = std::make_unique<TForm_objet>();

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
