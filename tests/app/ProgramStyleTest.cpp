#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolButton>
#include <memory>

#include "app/ProgramStyle.h"

namespace tavoro {
namespace {

QImage imageOf(const QIcon& icon) {
    return icon.pixmap(QSize(16, 16)).toImage();
}

// The icons drawn are the wrapped style's own, deferred or not.
class ProgramStyleIconTest : public ::testing::TestWithParam<QStyle::StandardPixmap> {};

TEST_P(ProgramStyleIconTest, DrawsTheWrappedStylesIcon) {
    std::unique_ptr<QStyle> plain(QStyleFactory::create("Fusion"));
    ProgramStyle style(QStyleFactory::create("Fusion"));
    const QImage expected = imageOf(plain->standardIcon(GetParam()));
    ASSERT_FALSE(expected.isNull());
    const QIcon icon = style.standardIcon(GetParam());
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(imageOf(icon), expected);
    // A copy drawn after the first draws the same.
    const QIcon copy = icon;
    EXPECT_EQ(imageOf(copy), expected);
    EXPECT_FALSE(icon.availableSizes().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Icons, ProgramStyleIconTest,
                         ::testing::Values(QStyle::SP_ToolBarHorizontalExtensionButton,
                                           QStyle::SP_DialogOkButton, QStyle::SP_ArrowUp));

// Fusion, counting how often it is asked for the overflow icon.
class CountingStyle : public QProxyStyle {
public:
    CountingStyle(int& asked) : QProxyStyle(QStyleFactory::create("Fusion")), asked_(asked) {}
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (icon == SP_ToolBarHorizontalExtensionButton) {
            ++asked_;
        }
        return QProxyStyle::standardIcon(icon, option, widget);
    }

private:
    int& asked_;
};

// As the program does: the application's style, which the menu bar's buttons take as they
// are built.
TEST(ProgramStyleTest, TheMenuBarsOverflowIconIsReadAtItsFirstDrawOnly) {
    std::unique_ptr<QStyle> plain(QStyleFactory::create("Fusion"));
    const QString previous = QApplication::style()->name();
    int asked = 0;
    QApplication::setStyle(new ProgramStyle(new CountingStyle(asked)));
    {
        QMainWindow window;
        QMenuBar* bar = window.menuBar();
        auto* overflow = bar->findChild<QToolButton*>("qt_menubar_ext_button");
        ASSERT_NE(overflow, nullptr);
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(imageOf(overflow->icon()),
                  imageOf(plain->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton)));
        imageOf(overflow->icon());
        EXPECT_EQ(asked, 1);
    }
    QApplication::setStyle(QStyleFactory::create(previous));
}

TEST(ProgramStyleTest, AnIconThatOutlivesItsStyleIsEmpty) {
    QIcon icon;
    {
        ProgramStyle style(QStyleFactory::create("Fusion"));
        icon = style.standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    }
    EXPECT_TRUE(icon.isNull());
    EXPECT_TRUE(icon.pixmap(QSize(16, 16)).isNull());
}

}  // namespace
}  // namespace tavoro
