#pragma once

#include <QLineEdit>
#include <QString>

#include "flightplan/MaskedText.h"

namespace tavoro {

// A masked box: a line edit that takes its keystrokes through MaskedText, shows the mask's
// blank character in unfilled positions and reads back the mask's text. Leaving the box
// after changing it while a required position is unfilled beeps, takes the focus back with
// the cursor on that position and emits incompleteOnExit, for the caller's message; Escape
// gives back the text the box had before the user's changes.
class MaskEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit MaskEdit(const QString& mask, QWidget* parent = nullptr);

    // The box's text as the mask reads it back.
    QString value() const;
    // Writes the box as the system does: not a change of the user's, so not checked.
    void setValue(const QString& text);
    // True once the user changed the box, until the system writes it or Escape undoes it.
    bool changedByUser() const { return changed_by_user_; }

signals:
    // The text read back changed, typed or written by the system.
    void valueChanged(const QString& value);
    // The user left the box changed and incomplete; the focus is back in it.
    void incompleteOnExit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void typeText(const QString& text);
    void show(std::size_t cursor);
    void userChanged(std::size_t cursor);

    MaskedText mask_;
    // The box before the user's changes, which Escape brings back.
    MaskedText committed_;
    QString last_value_;
    bool changed_by_user_ = false;
};

}  // namespace tavoro
