#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tavoro {

// The modal questions and messages the program puts to the user. Each call returns once
// the user has answered; `parent` is the window the dialog belongs to, or nullptr for one
// that stands on its own.
class Dialogs {
public:
    enum class MessageKind { Warning, Critical };

    virtual ~Dialogs() = default;

    // A message box with its single OK button.
    virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& caption,
                             const QString& text) = 0;
    // The file picked, starting in `folder` with the files of `filter` shown; the empty
    // text when the user cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                             const QString& filter) = 0;
    // The one-line entry dialog with its window and entry widths: the text entered on
    // "OK", nothing on "annuler".
    virtual std::optional<QString> EnterLine(QWidget* parent, const QString& caption,
                                             int window_width, int entry_width,
                                             const QString& prompt,
                                             const QString& initial_text) = 0;
};

// The real dialogs: Qt's message boxes and file dialog, and the entry dialog TForm_edit.
class QtDialogs : public Dialogs {
public:
    void ShowMessage(QWidget* parent, MessageKind kind, const QString& caption,
                     const QString& text) override;
    QString OpenFile(QWidget* parent, const QString& caption, const QString& folder,
                     const QString& filter) override;
    std::optional<QString> EnterLine(QWidget* parent, const QString& caption, int window_width,
                                     int entry_width, const QString& prompt,
                                     const QString& initial_text) override;
};

}  // namespace tavoro
