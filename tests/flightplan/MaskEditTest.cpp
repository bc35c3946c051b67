#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "flightplan/MaskEdit.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::RunEventsFor;
using test::WaitUntil;

// Two masked boxes in a window, as the plan panel puts them: the departure time and the
// level. The window is shown and active, so focus moves as the user moves it.
class MaskEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window_);
        zulu_ = new MaskEdit("!90:00;0;_", &window_);
        level_ = new MaskEdit("000;1;_", &window_);
        layout->addWidget(zulu_);
        layout->addWidget(level_);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return window_.isActiveWindow(); }));
        zulu_->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(WaitUntil([&] { return zulu_->hasFocus(); }));
    }

    QWidget window_;
    MaskEdit* zulu_ = nullptr;
    MaskEdit* level_ = nullptr;
};

TEST_F(MaskEditTest, TypedDigitsFillTheMaskAndReadBack) {
    QSignalSpy changes(zulu_, &MaskEdit::valueChanged);
    EXPECT_EQ(zulu_->text(), "__:__");
    EXPECT_EQ(zulu_->value(), "");
    QTest::keyClicks(zulu_, "0a9:30");
    EXPECT_EQ(zulu_->text(), "09:30");
    EXPECT_EQ(zulu_->value(), "0930");
    EXPECT_TRUE(zulu_->changedByUser());
    // One change a digit; the letter and the ":" typed after the hours change nothing.
    ASSERT_EQ(changes.size(), 4);
    EXPECT_EQ(changes.last().at(0).toString(), "0930");

    QTest::keyClick(zulu_, Qt::Key_Backspace);
    EXPECT_EQ(zulu_->text(), "09:3_");
    EXPECT_EQ(zulu_->value(), "093 ");
}

TEST_F(MaskEditTest, TypedTextReplacesTheSelection) {
    zulu_->setValue("0930");
    zulu_->selectAll();
    QTest::keyClicks(zulu_, " 7");
    EXPECT_EQ(zulu_->text(), "_7:__");
    EXPECT_EQ(zulu_->value(), "7  ");
}

TEST_F(MaskEditTest, PastedTextGoesThroughTheMask) {
    QApplication::clipboard()->setText("12a:34");
    QTest::keyClick(zulu_, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(zulu_->text(), "12:34");
    EXPECT_EQ(zulu_->value(), "1234");
    EXPECT_TRUE(zulu_->changedByUser());
}

TEST_F(MaskEditTest, SystemWritesAreChangesButNotTheUsers) {
    QSignalSpy changes(level_, &MaskEdit::valueChanged);
    level_->setValue("55");
    EXPECT_EQ(level_->text(), "55_");
    EXPECT_EQ(level_->value(), "55 ");
    EXPECT_FALSE(level_->changedByUser());
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.at(0).at(0).toString(), "55 ");
    // Writing the same value again is no change.
    level_->setValue("55");
    EXPECT_EQ(changes.size(), 1);
}

TEST_F(MaskEditTest, LeavingAChangedIncompleteBoxTakesTheFocusBack) {
    QSignalSpy incomplete(zulu_, &MaskEdit::incompleteOnExit);
    QTest::keyClicks(zulu_, "09");
    QTest::keyClick(zulu_, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return incomplete.size() == 1; }));
    EXPECT_TRUE(zulu_->hasFocus());
    // On the first unfilled required position: the first minute digit.
    EXPECT_EQ(zulu_->cursorPosition(), 3);

    // Escape gives back the box as it was before the user's changes; it may then be left.
    QTest::keyClick(zulu_, Qt::Key_Escape);
    EXPECT_EQ(zulu_->text(), "__:__");
    EXPECT_FALSE(zulu_->changedByUser());
    QTest::keyClick(zulu_, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return level_->hasFocus(); }));
    RunEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(incomplete.size(), 1);
}

TEST_F(MaskEditTest, UnchangedOrCompleteBoxesAreLeftFreely) {
    QSignalSpy zulu_incomplete(zulu_, &MaskEdit::incompleteOnExit);
    QSignalSpy level_incomplete(level_, &MaskEdit::incompleteOnExit);
    // The level box starts unfilled but the user does not change it.
    QTest::keyClick(zulu_, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return level_->hasFocus(); }));
    QTest::keyClick(level_, Qt::Key_Backtab);
    ASSERT_TRUE(WaitUntil([&] { return zulu_->hasFocus(); }));
    // The time box with its hour digit left out is complete.
    QTest::keyClicks(zulu_, " 930");
    QTest::keyClick(zulu_, Qt::Key_Tab);
    ASSERT_TRUE(WaitUntil([&] { return level_->hasFocus(); }));
    RunEventsFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(level_->hasFocus());
    EXPECT_EQ(zulu_incomplete.size(), 0);
    EXPECT_EQ(level_incomplete.size(), 0);
    EXPECT_EQ(zulu_->value(), "930");
}

TEST_F(MaskEditTest, ReadOnlyBoxTakesNoKeystrokes) {
    zulu_->setValue("1415");
    zulu_->setReadOnly(true);
    QTest::keyClicks(zulu_, "22");
    QTest::keyClick(zulu_, Qt::Key_Backspace);
    EXPECT_EQ(zulu_->value(), "1415");
}

}  // namespace
}  // namespace tavoro
