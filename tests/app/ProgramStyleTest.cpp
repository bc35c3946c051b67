#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QStyleFactory>
#include <QToolButton>

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

TEST(ProgramStyleTest, TheMenuBarsOverflowButtonShowsTheStylesIcon) {
    std::unique_ptr<QStyle> plain(QStyleFactory::create("Fusion"));
    ProgramStyle style(QStyleFactory::create("Fusion"));
    QMainWindow window;
    window.setStyle(&style);
    QMenuBar* bar = window.menuBar();
    auto* overflow = bar->findChild<QToolButton*>("qt_menubar_ext_button");
    ASSERT_NE(overflow, nullptr);
    EXPECT_EQ(imageOf(overflow->icon()),
              imageOf(plain->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton)));
    window.setStyle(nullptr);
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
