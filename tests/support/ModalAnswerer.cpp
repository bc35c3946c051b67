#include "support/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace tavoro::test {
namespace {

// Closes a dialog the way its own buttons would; any other modal window is closed.
void finish(QWidget* modal, bool accept) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        accept ? dialog->accept() : dialog->reject();
    } else {
        modal->close();
    }
}

}  // namespace

ModalAnswerer::ModalAnswerer() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
}

ModalAnswerer::~ModalAnswerer() {
    timer_.stop();
}

void ModalAnswerer::Queue(Answer answer) {
    answers_.push_back(std::move(answer));
}

void ModalAnswerer::QueueAccept() {
    Queue([](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QAbstractButton* button = box->defaultButton();
            if (!button) {
                button = box->buttons().value(0);
            }
            if (button) {
                button->click();
                return;
            }
        }
        finish(modal, true);
    });
}

void ModalAnswerer::QueueReject() {
    Queue([](QWidget* modal) { finish(modal, false); });
}

void ModalAnswerer::QueueOpenFile(const QString& path) {
    Queue([path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            finish(modal, false);
            return;
        }
        // Typed as a user would: selectFile alone races the dialog's directory loading.
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
            name->setText(path);
        } else {
            dialog->selectFile(path);
        }
        finish(dialog, true);
    });
}

void ModalAnswerer::QueueText(const QString& text) {
    Queue([text](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>("Edit1")) {
            edit->setText(text);
        }
        finish(modal, true);
    });
}

void ModalAnswerer::poll() {
    // Every answer closes its dialog at once, so a modal widget seen here is new.
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) {
        return;
    }
    auto* box = qobject_cast<QMessageBox*>(modal);
    shown_ << (box ? box->text() : modal->windowTitle());
    if (answers_.empty()) {
        unexpected_ << shown_.back();
        finish(modal, false);
        return;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    answer(modal);
}

}  // namespace tavoro::test
