#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

class QWidget;

namespace tavoro::test {

// Answers the modal dialogs and message boxes a window opens, from the test, while the
// window's code waits in the dialog's own event loop. Answers are queued in the order
// the dialogs are expected; a dialog that comes with no answer queued is recorded and
// cancelled, so a test never hangs on it.
class ModalAnswerer {
public:
    // Gets the modal widget and does what a user would (fill, click, accept, reject);
    // it must close the dialog.
    using Answer = std::function<void(QWidget* modal)>;

    ModalAnswerer();
    ~ModalAnswerer();

    void Queue(Answer answer);
    // Ready-made answers.
    void QueueAccept();                       // a message box's default button, or OK
    void QueueReject();                       // cancel
    void QueueOpenFile(const QString& path);  // pick a file in a file dialog
    void QueueText(const QString& text);      // type into the entry dialog and press OK

    // What each dialog showed: a message box's text, another dialog's window title.
    const QStringList& shown() const { return shown_; }
    // Dialogs that found no answer waiting.
    const QStringList& unexpected() const { return unexpected_; }
    bool pending() const { return !answers_.empty(); }

private:
    void poll();

    QTimer timer_;
    std::deque<Answer> answers_;
    QStringList shown_;
    QStringList unexpected_;
};

}  // namespace tavoro::test
