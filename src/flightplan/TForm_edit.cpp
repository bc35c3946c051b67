#include "flightplan/TForm_edit.h"

namespace tavoro {

TForm_edit::TForm_edit(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      Label1(new QLabel(this)),
      Edit1(new QLineEdit(this)),
      Button_ok(new QPushButton("OK", this)),
      Button_anul(new QPushButton("annuler", this)) {
    setObjectName("Form_edit");
    Label1->setObjectName("Label1");
    Edit1->setObjectName("Edit1");
    Button_ok->setObjectName("Button_ok");
    Button_anul->setObjectName("Button_anul");
    // Fixed places, as the dialog was drawn; the buttons are a little taller than
    // drawn so their captions fit today's fonts.
    Label1->move(16, 16);
    Edit1->setGeometry(16, 40, 120, 21);
    Button_ok->setGeometry(24, 72, 48, 22);
    Button_anul->setGeometry(80, 72, 64, 22);
    Button_ok->setDefault(true);
    setFixedHeight(104);
    resize(162, 104);
    connect(Button_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button_anul, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<QString> EnterLine(TForm_edit& dialog, const QString& caption, int window_width,
                                 int entry_width, const QString& prompt,
                                 const QString& initial_text) {
    dialog.setWindowTitle(caption);
    dialog.resize(window_width, dialog.height());
    dialog.Edit1->resize(entry_width, dialog.Edit1->height());
    dialog.Label1->setText(prompt);
    dialog.Label1->adjustSize();
    dialog.Edit1->setText(initial_text);
    dialog.Edit1->setFocus();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Edit1->text();
}

}  // namespace tavoro
