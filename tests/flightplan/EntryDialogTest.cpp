#include <gtest/gtest.h>

#include <QTest>
#include <optional>

#include "flightplan/TForm_edit.h"
#include "support/Windows.h"

namespace tavoro {
namespace {

using test::WithModalWindow;

enum class Answer { Ok, Annuler, EnterKey, EscapeKey };

struct EntryCase {
    const char* name;
    const char* caption;
    int window_width;
    int entry_width;
    const char* prompt;
    const char* initial_text;
    const char* typed;  // replaces the initial text; nullptr leaves it
    Answer answer;
    std::optional<QString> expected;
};

// One dialog asked every question in turn, as the program reuses it: each question sets
// the whole dialog again, whatever the previous one left.
TEST(EntryDialogTest, GivesTheTextOnOkOnly) {
    const EntryCase cases[] = {
        {"route", "Entrer la route", 340, 300, "Entrez les points", "", "lfpg/resmi", Answer::Ok,
         QString("lfpg/resmi")},
        {"date_cancelled", "FP déposés", 170, 120, "Entrez la date", "09/12/2026", "10/12/2026",
         Answer::Annuler, std::nullopt},
        {"initial_text_kept", "FP déposés", 170, 120, "Entrez la date", "09/12/2026", nullptr,
         Answer::Ok, QString("09/12/2026")},
        {"enter_is_ok", "Entrer la route", 340, 300,
         "Entrez les points de la route, séparés par des espaces", "LFPG", "LFPG DCT",
         Answer::EnterKey, QString("LFPG DCT")},
        {"escape_is_annuler", "Entrer la route", 340, 300, "Entrez les points", "LFPG", "x",
         Answer::EscapeKey, std::nullopt},
    };
    TForm_edit dialog;
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool seen = false;
        WithModalWindow([&](QWidget* modal) {
            ASSERT_EQ(modal, &dialog);
            seen = true;
            EXPECT_EQ(dialog.windowTitle(), c.caption);
            EXPECT_EQ(dialog.Label1->text(), c.prompt);
            // The prompt is shown whole, however long it is.
            EXPECT_EQ(dialog.Label1->size(), dialog.Label1->sizeHint());
            EXPECT_EQ(dialog.Edit1->text(), c.initial_text);
            EXPECT_EQ(dialog.focusWidget(), dialog.Edit1);
            EXPECT_EQ(dialog.width(), c.window_width);
            EXPECT_EQ(dialog.Edit1->width(), c.entry_width);
            if (c.typed) {
                dialog.Edit1->setText(c.typed);
            }
            switch (c.answer) {
                case Answer::Ok:
                    dialog.Button_ok->click();
                    break;
                case Answer::Annuler:
                    dialog.Button_anul->click();
                    break;
                case Answer::EnterKey:
                    QTest::keyClick(dialog.Edit1, Qt::Key_Return);
                    break;
                case Answer::EscapeKey:
                    QTest::keyClick(dialog.Edit1, Qt::Key_Escape);
                    break;
            }
        });
        EXPECT_EQ(
            EnterLine(dialog, c.caption, c.window_width, c.entry_width, c.prompt, c.initial_text),
            c.expected);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(dialog.isVisible());
    }
}

}  // namespace
}  // namespace tavoro
