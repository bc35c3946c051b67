#include "sim/TForm_objet.h"

#include <QResizeEvent>

#include "core/Text.h"

namespace tavoro {

TForm_objet::TForm_objet(const AiObjects& objects, const AircraftState& aircraft, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ListBox1(new QListWidget(this)),
      ListBox2(new QListWidget(this)),
      Memo1(new QPlainTextEdit(this)),
      Label1(new QLabel(this)),
      objects_(objects),
      aircraft_(aircraft) {
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
    // Clicks and keyboard moves both pick an object; filling the route twice is harmless.
    connect(ListBox1, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ListBox1Click(ListBox1->row(item)); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, &TForm_objet::ListBox1Click);
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

void TForm_objet::ShowFiledPlans(const QString& caption) {
    ShowPlanLayout();
    setWindowTitle(caption);
    Memo1->clear();
    show();
}

void TForm_objet::AppendFiledPlan(const QString& line) {
    Memo1->appendPlainText(line);
    if (isVisible() && ListBox1->isHidden()) {
        update();
    }
}

void TForm_objet::objet1Click() {
    ShowObjectLayout();
    Label1->setText(ToDisplay(ZuluLabelText(aircraft_.zulu_seconds)));
    ListBox1->clear();
    for (const AiObject& object : objects_.ai_objects()) {
        ListBox1->addItem(ToDisplay(ObjectListLine(object)));
    }
    setWindowTitle(QStringLiteral("Objets tranférés"));
    show();
}

void TForm_objet::ListBox1Click(int row) {
    // -1 comes while the list is refilled. Rows past the table cannot come, as the table
    // never shrinks, but are refused all the same.
    if (row < 0 || static_cast<std::size_t>(row) >= objects_.ai_objects().size()) {
        return;
    }
    ListBox2->clear();
    for (const std::string& line : RouteLines(objects_.ai_objects()[row])) {
        ListBox2->addItem(ToDisplay(line));
    }
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
