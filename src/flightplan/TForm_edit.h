#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <optional>

namespace tavoro {

// The one-line entry dialog: a prompt, an entry line, "OK" and "annuler". It has no
// behaviour of its own; EnterLine configures and reads it.
class TForm_edit : public QDialog {
    Q_OBJECT

public:
    explicit TForm_edit(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* Button_ok;
    QPushButton* Button_anul;
};

// Shows `dialog` modally with the given caption, window and entry widths, prompt and
// initial text; gives the entered text on "OK", nothing on "annuler".
std::optional<QString> EnterLine(TForm_edit& dialog, const QString& caption, int window_width,
                                 int entry_width, const QString& prompt,
                                 const QString& initial_text);

}  // namespace tavoro
