#include "TForm_objet.h"

#include <QResizeEvent>

namespace tavoro {

TForm_objet::TForm_objet(QWidget* parent)
    : QWidget(parent, Qt::Window),
      ListBox1(new QListWidget(this)),
      ListBox2(new QListWidget(this)),
      Memo1(new QPlainTextEdit(this)),
      Label1(new QLabel(this)) {
    setObjectName("Form_objet");
    ListBox1->setObjectName("ListBox1");
    ListBox2->setObjectName("ListBox2");
    Memo1->setObjectName("Memo1");
    Label1->setObjectName("Label1");
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label1->setGeometry(8, 8, 474, 24);
    ListBox1->setGeometry(8, 40, 176, 160);
    ListBox2->setGeometry(8, 208, 176, 185);
    resize(490, 401);
    ShowObjectLayout();
}

void TForm_objet::AppendLog(const QString& line) {
    Memo1->appendPlainText(line);
}

void TForm_objet::ShowObjectLayout() {
    ListBox1->show();
    ListBox2->show();
    Memo1->setGeometry(192, 40, 290, 353);
}

void TForm_objet::ShowPlanLayout() {
    ListBox1->hide();
    ListBox2->hide();
    Memo1->setGeometry(0, 0, width(), height());
}

void TForm_objet::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TForm_objet::FormResize() {
    // isHidden, not isVisible: the rule holds while the window itself is not shown.
    if (ListBox1->isHidden()) {
        Memo1->setGeometry(0, 0, width(), height());
    }
}

}  // namespace tavoro
