#pragma once

#include <QProxyStyle>

namespace tavoro {

// The program's widget style: `base`, except that the menu bar's overflow icon is read
// from its image only when first drawn. The main window's menu bar builds that icon as it
// is created, and reading the image loads every image format plugin Qt has (and their
// libraries), a few milliseconds and a few hundred kilobytes of start-up for a button that
// shows only on a window too narrow for its menus.
class ProgramStyle : public QProxyStyle {
public:
    // Takes `base` over; nullptr wraps the platform's default style.
    explicit ProgramStyle(QStyle* base) : QProxyStyle(base) {}

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace tavoro
