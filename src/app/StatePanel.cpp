#include "app/StatePanel.h"

#include <QHBoxLayout>
#include <QMouseEvent>

namespace tavoro {

StatePanel::StatePanel(const QString& object_name, const QString& caption, QWidget* parent)
    : QFrame(parent), label_(new QLabel(caption, this)) {
    setObjectName(object_name);
    setFrameShape(QFrame::Panel);
    setLineWidth(2);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    label_->setAlignment(Qt::AlignCenter);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(label_);
    setColour(kRed);
    setBevel(Bevel::Raised);
}

void StatePanel::setCaption(const QString& caption) {
    label_->setText(caption);
}

QString StatePanel::caption() const {
    return label_->text();
}

void StatePanel::setColour(Rgb colour) {
    colour_ = colour;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(colour.r, colour.g, colour.b));
    // Dark text on the light colours, light text on green, as on the original panels.
    QColor text = colour == kGreen ? Qt::white : Qt::black;
    palette.setColor(QPalette::WindowText, text);
    setPalette(palette);
}

void StatePanel::setBevel(Bevel bevel) {
    bevel_ = bevel;
    setFrameShadow(bevel == Bevel::Raised ? QFrame::Raised : QFrame::Sunken);
}

void StatePanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QFrame::mouseReleaseEvent(event);
}

}  // namespace tavoro
