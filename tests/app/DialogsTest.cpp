#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/Dialogs.h"
#include "flightplan/TForm_edit.h"
#include "support/ScriptedDialogs.h"
#include "support/Windows.h"

namespace tavoro {
namespace {

using test::WithModalWindow;

// The real dialogs, opened over a window of the test's own and answered from inside their
// event loops through their public interfaces.
class QtDialogsTest : public ::testing::Test {
protected:
    QtDialogsTest() {
        window_.setObjectName("owner");
        window_.show();
    }

    QtDialogs dialogs_;
    QWidget window_;
};

struct MessageCase {
    const char* name;
    Dialogs::MessageKind kind;
    QMessageBox::Icon icon;
    bool over_window;
};

class QtMessageTest : public QtDialogsTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(QtMessageTest, ShowsTheTextWithOneOkButton) {
    const MessageCase& c = GetParam();
    bool seen = false;
    WithModalWindow([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        seen = true;
        EXPECT_EQ(box->icon(), c.icon);
        EXPECT_EQ(box->windowTitle(), "Tavoro 3.81");
        EXPECT_EQ(box->text(), "Impossible d'écrire /x/corvanta.ini");
        EXPECT_EQ(box->parentWidget(), c.over_window ? &window_ : nullptr);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    dialogs_.ShowMessage(c.over_window ? &window_ : nullptr, c.kind, "Tavoro 3.81",
                         "Impossible d'écrire /x/corvanta.ini");
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, QtMessageTest,
    ::testing::Values(MessageCase{"warning_over_the_window", Dialogs::MessageKind::Warning,
                                  QMessageBox::Warning, true},
                      MessageCase{"critical_on_its_own", Dialogs::MessageKind::Critical,
                                  QMessageBox::Critical, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtDialogsTest, FileDialogStartsInTheFolderAndGivesThePickedFile) {
    QTemporaryDir folder;
    const QString exe = QDir(folder.path()).filePath("Prepar3D.exe");
    QFile(exe).open(QIODevice::WriteOnly);

    bool seen = false;
    WithModalWindow([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), "Simutator path?");
        EXPECT_EQ(dialog->parentWidget(), nullptr);
        EXPECT_EQ(dialog->directory(), QDir(folder.path()));
        EXPECT_EQ(dialog->nameFilters(), QStringList{"simulateur (*.exe *.EXE)"});
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        dialog->selectFile(exe);
        // As the dialog's own "Open" button: QFileDialog checks the file before it closes.
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(
        dialogs_.OpenFile(nullptr, "Simutator path?", folder.path(), "simulateur (*.exe *.EXE)"),
        exe);
    EXPECT_TRUE(seen);
}

TEST_F(QtDialogsTest, CancelledFileDialogGivesNothing) {
    bool seen = false;
    WithModalWindow([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->parentWidget(), &window_);
        dialog->reject();
    });
    EXPECT_EQ(dialogs_.OpenFile(&window_, "Plan?", QDir::homePath(), "plan (*.pln)"), QString());
    EXPECT_TRUE(seen);
}

TEST_F(QtDialogsTest, EntryIsTheEntryDialogOverTheWindowForOneQuestion) {
    struct Step {
        const char* typed;  // nullptr: "annuler"
        std::optional<QString> expected;
    };
    for (const Step& step :
         {Step{"lfpg/resmi", QString("lfpg/resmi")}, Step{nullptr, std::nullopt}}) {
        // Named copies: a lambda may not capture a structured binding under every compiler.
        const char* typed = step.typed;
        const std::optional<QString>& expected = step.expected;
        bool seen = false;
        WithModalWindow([&](QWidget* modal) {
            auto* dialog = qobject_cast<TForm_edit*>(modal);
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_EQ(dialog->objectName(), "Form_edit");
            EXPECT_EQ(dialog->parentWidget(), &window_);
            EXPECT_EQ(dialog->windowTitle(), "Entrer la route");
            EXPECT_EQ(dialog->Label1->text(), "Entrez les points");
            EXPECT_EQ(dialog->Edit1->text(), "LFPG");
            EXPECT_EQ(dialog->width(), 340);
            EXPECT_EQ(dialog->Edit1->width(), 300);
            if (typed) {
                dialog->Edit1->setText(typed);
                dialog->Button_ok->click();
            } else {
                dialog->Button_anul->click();
            }
        });
        EXPECT_EQ(
            dialogs_.EnterLine(&window_, "Entrer la route", 340, 300, "Entrez les points", "LFPG"),
            expected);
        EXPECT_TRUE(seen);
        // Each question has a dialog of its own, gone with its answer.
        EXPECT_TRUE(window_.findChildren<TForm_edit*>().isEmpty());
    }
}

TEST_F(QtDialogsTest, EntryWhoseWindowGoesIsCancelled) {
    auto* window = new QWidget;
    window->show();
    WithModalWindow([&](QWidget* modal) {
        ASSERT_NE(qobject_cast<TForm_edit*>(modal), nullptr);
        delete window;
    });
    EXPECT_EQ(dialogs_.EnterLine(window, "FP déposés", 170, 120, "Entrez la date", ""),
              std::nullopt);
}

// The stand-in the other tests answer dialogs with: it must keep each answer for the
// dialog it was meant for, so a dialog out of turn fails a test rather than shifting
// every later answer.
TEST(ScriptedDialogsTest, AnswersEachDialogInTurnAndCancelsTheOthers) {
    using Kind = test::ScriptedDialogs::Kind;
    test::ScriptedDialogs dialogs;
    QWidget window;
    dialogs.QueueFile("/sim/FSX.exe");
    dialogs.QueueLine("lfpg/resmi");
    dialogs.QueueCancel(Kind::EnterLine);
    dialogs.QueueOk(Kind::Critical);
    std::vector<Kind> seen;
    dialogs.on_asked = [&](const test::ScriptedDialogs::Asked& asked) {
        seen.push_back(asked.kind);
    };

    EXPECT_EQ(dialogs.EnterLine(&window, "Entrer la route", 340, 300, "Entrez les points", "x"),
              std::nullopt);
    EXPECT_EQ(dialogs.OpenFile(nullptr, "Simutator path?", "/home", "simulateur (*.exe *.EXE)"),
              "/sim/FSX.exe");
    EXPECT_EQ(dialogs.EnterLine(&window, "Entrer la route", 340, 300, "Entrez les points", ""),
              QString("lfpg/resmi"));
    dialogs.ShowMessage(&window, Dialogs::MessageKind::Warning, "Tavoro 3.81", "out of turn");
    EXPECT_EQ(dialogs.EnterLine(nullptr, "FP déposés", 170, 120, "Entrez la date", "09/12/2026"),
              std::nullopt);
    dialogs.ShowMessage(nullptr, Dialogs::MessageKind::Critical, "Tavoro 3.81", "stop");

    using Asked = test::ScriptedDialogs::Asked;
    EXPECT_EQ(
        dialogs.asked(),
        (std::vector<Asked>{
            {Kind::EnterLine, &window, "Entrer la route", "Entrez les points", "x", false},
            {Kind::OpenFile, nullptr, "Simutator path?", "/home", "simulateur (*.exe *.EXE)", true},
            {Kind::EnterLine, &window, "Entrer la route", "Entrez les points", "", true},
            {Kind::Warning, &window, "Tavoro 3.81", "out of turn", "", false},
            {Kind::EnterLine, nullptr, "FP déposés", "Entrez la date", "09/12/2026", true},
            {Kind::Critical, nullptr, "Tavoro 3.81", "stop", "", true},
        }));
    EXPECT_EQ(dialogs.unexpected(),
              (QStringList{"Entrer la route: Entrez les points", "Tavoro 3.81: out of turn"}));
    EXPECT_FALSE(dialogs.pending());
    EXPECT_EQ(seen, (std::vector<Kind>{Kind::EnterLine, Kind::OpenFile, Kind::EnterLine,
                                       Kind::Warning, Kind::EnterLine, Kind::Critical}));
}

}  // namespace
}  // namespace tavoro
