#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

#include "app/Dialogs.h"

namespace tavoro::test {

// Plays the user at the program's dialogs: records each dialog as it is asked and answers
// it at once with the next queued answer. A dialog the next answer is not meant for (none
// is queued, or it is for another kind of dialog) is recorded as unexpected and answered
// as cancelled, so a test never hangs on it; the queued answer waits for its own dialog.
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Warning, Critical, OpenFile, EnterLine };

    struct Asked {
        Kind kind;
        const QWidget* parent;
        QString caption;
        // The message; the file dialog's start folder; the entry's prompt.
        QString text;
        // The file dialog's filter; the entry's initial text; empty for a message.
        QString detail;
        bool expected;

        bool operator==(const Asked&) const = default;
    };

    // Acknowledges the next message box, which must be of `kind`.
    void QueueOk(Kind kind);
    // Picks `path` in the next file dialog.
    void QueueFile(const QString& path);
    // Types `text` into the next entry dialog and presses "OK".
    void QueueLine(const QString& text);
    // Cancels the next dialog, which must be of `kind`.
    void QueueCancel(Kind kind);

    // Every dialog asked so far, in order.
    const std::vector<Asked>& asked() const { return asked_; }
    // The dialogs that found no answer meant for them, as "caption: text".
    QStringList unexpected() const;
    // Answers still waiting for their dialog.
    bool pending() const { return !answers_.empty(); }

    // Called with each dialog as it is asked, before it is answered: a test checks there
    // what the program has done by then.
    std::function<void(const Asked&)> on_asked;

    void ShowMessage(QWidget* parent, MessageKind kind, const QString& caption,
                     const QString& text) override;
    QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override;
    std::optional<QString> EnterLine(QWidget* parent, const QString& caption, int window_width,
                                     int entry_width, const QString& prompt,
                                     const QString& initial_text) override;

private:
    struct Answer {
        Kind kind;
        bool cancelled;
        QString value;
    };

    // The answer to a dialog of `kind`, after recording it; nothing when it is cancelled.
    std::optional<QString> ask(Kind kind, const QWidget* parent, const QString& caption,
                               const QString& text, const QString& detail);

    std::deque<Answer> answers_;
    std::vector<Asked> asked_;
};

void PrintTo(const ScriptedDialogs::Asked& asked, std::ostream* out);

}  // namespace tavoro::test
