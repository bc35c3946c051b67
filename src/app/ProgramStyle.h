#pragma once

#include <QProxyStyle>

namespace tavoro {

// The program's widget style: the platform's own, except that its standard icons are
// read from their images only when first drawn. The main window's menu bar builds the
// icon of its overflow button as it is created, and reading that image loads every image
// format plugin Qt has (and their libraries), a few milliseconds and a few hundred
// kilobytes of start-up for a button that shows only on a window too narrow for its menus.
class ProgramStyle : public QProxyStyle {
public:
    ProgramStyle() = default;
    // Wraps `base` (taken over) instead of the platform's default style.
    explicit ProgramStyle(QStyle* base) : QProxyStyle(base) {}

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};

}  // namespace tavoro
