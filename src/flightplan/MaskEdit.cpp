#include "flightplan/MaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

namespace tavoro {

MaskEdit::MaskEdit(const QString& mask, QWidget* parent)
    : QLineEdit(parent), mask_(mask.toStdString()), committed_(mask_) {
    setMaxLength(static_cast<int>(mask_.size()));
    // Text reaches the box only through the mask: no drops, no menu with paste or undo.
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    last_value_ = value();
    show(0);
}

QString MaskEdit::value() const {
    return QString::fromStdString(mask_.Text());
}

void MaskEdit::setValue(const QString& text) {
    mask_.SetText(text.toStdString());
    committed_ = mask_;
    changed_by_user_ = false;
    show(0);
}

void MaskEdit::show(std::size_t cursor) {
    QLineEdit::setText(QString::fromStdString(mask_.EditText()));
    setCursorPosition(static_cast<int>(cursor));
    const QString now = value();
    if (now != last_value_) {
        last_value_ = now;
        emit valueChanged(now);
    }
}

void MaskEdit::userChanged(std::size_t cursor) {
    changed_by_user_ = true;
    show(cursor);
}

void MaskEdit::typeText(const QString& text) {
    std::size_t cursor = static_cast<std::size_t>(cursorPosition());
    if (hasSelectedText()) {
        cursor = static_cast<std::size_t>(selectionStart());
        mask_.Clear(cursor, cursor + static_cast<std::size_t>(selectedText().size()));
    }
    for (QChar c : text) {
        // Only ASCII fits a position; anything else is refused like a letter.
        if (c.unicode() < 0x80) {
            mask_.Type(cursor, static_cast<char>(c.unicode()));
        }
    }
    userChanged(cursor);
}

void MaskEdit::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        mask_ = committed_;
        changed_by_user_ = false;
        show(0);
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        typeText(QApplication::clipboard()->text());
        return;
    }
    if (event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo) ||
        event->matches(QKeySequence::Redo)) {
        return;
    }
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        std::size_t cursor = static_cast<std::size_t>(cursorPosition());
        if (hasSelectedText()) {
            cursor = static_cast<std::size_t>(selectionStart());
            mask_.Clear(cursor, cursor + static_cast<std::size_t>(selectedText().size()));
        } else if (event->key() == Qt::Key_Backspace) {
            mask_.Backspace(cursor);
        } else {
            mask_.Clear(cursor, cursor + 1);
        }
        userChanged(cursor);
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.front().isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        typeText(text);
        return;
    }
    // Moving, selecting, copying and leaving the box work as in any line edit.
    QLineEdit::keyPressEvent(event);
}

void MaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (!isReadOnly() && !event->commitString().isEmpty()) {
        typeText(event->commitString());
    }
    event->accept();
}

void MaskEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the selection on Linux desktops: through the mask too.
    if (event->button() == Qt::MiddleButton && !isReadOnly()) {
        typeText(QApplication::clipboard()->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void MaskEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // A window or menu taking the focus is not the user leaving the box: the message box
    // shown below would otherwise check it again.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason ||
        isReadOnly() || !changed_by_user_) {
        return;
    }
    const std::optional<std::size_t> missing = mask_.FirstUnfilledRequired();
    if (!missing) {
        committed_ = mask_;
        return;
    }
    QApplication::beep();
    // Taken back once the focus has settled where it was going.
    QTimer::singleShot(0, this, [this, at = *missing] {
        setFocus(Qt::OtherFocusReason);
        setCursorPosition(static_cast<int>(at));
        emit incompleteOnExit();
    });
}

}  // namespace tavoro
