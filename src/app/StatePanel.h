#pragma once

#include <QFrame>
#include <QLabel>

#include "core/Palette.h"

namespace tavoro {

// A small clickable panel that shows a link state by its colour, its bevel and a
// caption: the simulator, server and transponder buttons of the main window.
class StatePanel : public QFrame {
    Q_OBJECT

public:
    StatePanel(const QString& object_name, const QString& caption, QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const;
    void setColour(Rgb colour);
    Rgb colour() const { return colour_; }
    void setBevel(Bevel bevel);
    Bevel bevel() const { return bevel_; }

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* label_;
    Rgb colour_ = kRed;
    Bevel bevel_ = Bevel::Raised;
};

}  // namespace tavoro
