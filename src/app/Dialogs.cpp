#include "app/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

#include "flightplan/TForm_edit.h"

namespace tavoro {

void QtDialogs::ShowMessage(QWidget* parent, MessageKind kind, const QString& caption,
                            const QString& text) {
    switch (kind) {
        case MessageKind::Warning:
            QMessageBox::warning(parent, caption, text);
            break;
        case MessageKind::Critical:
            QMessageBox::critical(parent, caption, text);
            break;
    }
}

QString QtDialogs::OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                            const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

std::optional<QString> QtDialogs::EnterLine(QWidget* parent, const QString& caption,
                                            int window_width, int entry_width,
                                            const QString& prompt, const QString& initial_text) {
    // One dialog per question, owned by its parent while it is open: should the parent go
    // while the dialog waits, the dialog goes with it and the answer is "annuler".
    QPointer<TForm_edit> dialog = new TForm_edit(parent);
    std::optional<QString> entered =
        tavoro::EnterLine(*dialog, caption, window_width, entry_width, prompt, initial_text);
    delete dialog.data();
    return entered;
}

}  // namespace tavoro
