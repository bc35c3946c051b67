#include <gtest/gtest.h>

#include <QStringList>

#include "atc/Protocol.h"
#include "sim/AiObjects.h"
#include "sim/TForm_objet.h"
#include "support/FakeSimulator.h"

namespace tavoro {
namespace {

QStringList lines(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

// The object window over a table filled through the sub-commands, as the server fills it.
class ObjectViewTest : public ::testing::Test {
protected:
    ObjectViewTest() { simconnect.Open("MYAPP"); }

    void create(const std::string& send_id, std::uint32_t sim_id) {
        objects.Create(
            SplitText("$ControlAI:CREATE:" + send_id + ":Ferry boat:1:2:3:0:0:0:0:0", ':'));
        objects.ObjectIdAssigned(sim_id);
        objects.AfterDispatch();
    }

    test::FakeSimConnect library;
    SimConnectClient simconnect{library};
    AircraftState aircraft;
    AiObjects objects{simconnect, aircraft, {}};
    TForm_objet form{objects, aircraft};
};

TEST_F(ObjectViewTest, TheObjectMenuShowsTheTableAndTheClock) {
    create("AF1", 1000);
    create("AF2", 1001);
    objects.ObjectRemoved(1000);
    aircraft.zulu_seconds = 3601;
    // The window was last showing filed plans.
    form.ShowPlanLayout();
    form.AppendLog("earlier line");

    form.objet1Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Objets tranf\xc3\xa9r\xc3\xa9s"));
    EXPECT_EQ(form.Label1->text(), "fs_zulu: 3601   1:0:1");
    EXPECT_EQ(lines(form.ListBox1), (QStringList{"1000  false", "1001 AF2 true"}));
    EXPECT_FALSE(form.ListBox1->isHidden());
    EXPECT_FALSE(form.ListBox2->isHidden());
    EXPECT_EQ(form.Memo1->geometry(), QRect(192, 40, 290, 353));
    EXPECT_EQ(form.Memo1->toPlainText(), "earlier line");

    // A second look shows the table as it is then, not twice.
    create("AF3", 1002);
    form.objet1Click();
    EXPECT_EQ(lines(form.ListBox1), (QStringList{"1002 AF3 true", "1001 AF2 true"}));
}

TEST_F(ObjectViewTest, PickingAnObjectShowsItsRoute) {
    create("AF1", 1000);
    create("AF2", 1001);
    objects.Route(SplitText("$ControlAI:ROUTE:AF2:45.5:-7.25:1200:6:250", ':'));
    objects.Start(SplitText("$ControlAI:START:AF2:3600", ':'));
    form.objet1Click();

    form.ListBox1->setCurrentRow(1);
    EXPECT_EQ(lines(form.ListBox2), (QStringList{"route complete start: 3600",
                                                 "0: 45.50000, -7.25000, 1200.00000, 250,6"}));
    form.ListBox1->setCurrentRow(0);
    EXPECT_EQ(lines(form.ListBox2), QStringList{"route  start: 0"});
}

}  // namespace
}  // namespace tavoro
