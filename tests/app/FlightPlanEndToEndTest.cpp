#include <gtest/gtest.h>

#include <QJsonArray>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
#include "flightplan/PlanPanel.h"
#include "sim/TForm_objet.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::ScriptedDialogs;
using test::WaitUntil;

// Dates go in the user's short date format, here the French one (15/06/2026): QLocale::system()
// reads the environment once, at its first use, so it is set before the program starts.
[[maybe_unused]] const bool kFrenchDates = [] {
    qputenv("LC_ALL", "fr_FR.UTF-8");
    return true;
}();

// The plan the demo's simulator holds.
const QString kSimulatorPlan = QStringLiteral(TAVORO_DEMO_PLANS "/LIRF-LIRN.pln");

QStringList itemsOf(const QListWidget& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) {
        items << list.item(i)->text();
    }
    return items;
}

bool locked(const PlanPanel& p) {
    return p.Edit_depart->isReadOnly() &&
           p.Edit_depart->palette().color(QPalette::Base) == QColor(255, 255, 0) &&
           !p.CheckBox_ifr->isEnabled() && !p.Label_fpdepose->isHidden();
}

// The whole program with the stand-in simulator, whose flight-plan path names a plan, and
// the stand-in ATC server, which keeps filed plans, acknowledges them and lists them.
class FlightPlanEndToEndTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        SimulatorSays({"set title Tavoro Trainer", "set type C172", "set model C172SP",
                       "set id F-GTAV", "set airline Aero Club", "set ready 1"});
        ASSERT_EQ(host_.Command("set plan_path " + kSimulatorPlan), "ok");
        MakeProgramFolder(60000);
    }

    // Dialogs are asked here, each answered from the queue: none may come unexpected.
    void TearDown() override {
        EXPECT_TRUE(dialogs_.unexpected().isEmpty())
            << dialogs_.unexpected().join("; ").toStdString();
        EXPECT_FALSE(dialogs_.pending());
    }

    static PlanPanel& panel() {
        auto* found = mainWindow().Panel_FP->findChild<PlanPanel*>();
        if (!found) {
            throw std::runtime_error("no plan panel");
        }
        return *found;
    }

    QStringList textsShown() {
        QStringList texts;
        for (const QJsonValue& value : host_.Dump()["texts_shown"].toArray()) {
            texts << value.toString();
        }
        return texts;
    }
};

TEST_F(FlightPlanEndToEndTest, TheSimulatorsPlanIsFiledLockedAmendedListedAndDeleted) {
    auto app = StartApp();
    TForm1& form = mainWindow();
    form.Afficher();
    ASSERT_TRUE(WaitUntil([&] { return form.Label_ID->text() == "F-GTAV/C172SP"; }));
    PlanPanel& p = panel();

    // The show step put today in the date box, in the French short format.
    ASSERT_EQ(QLocale::system().dateFormat(QLocale::ShortFormat), "dd/MM/yyyy");
    const QDate today = QDate::currentDate();
    const QString today_text = today.toString("dd/MM/yyyy");
    EXPECT_EQ(p.Edit_date->text(), today_text);

    form.Plandevol1->trigger();
    EXPECT_FALSE(form.Panel_FP->isHidden());
    EXPECT_TRUE(form.Panel_param->isHidden() && form.Panel_ATC->isHidden() &&
                form.Panel_meteo->isHidden());

    // The simulator's own plan: the active one.
    p.Button_charge->click();
    EXPECT_EQ(p.Label_titre->text(), "LIRF to LIRN");
    EXPECT_EQ(p.Edit_depart->text(), "LIRF");
    EXPECT_EQ(p.Edit_dest->text(), "LIRN");
    EXPECT_TRUE(p.CheckBox_ifr->isChecked());
    EXPECT_EQ(p.MaskEdit_fl->value(), "120");
    EXPECT_EQ(itemsOf(*p.ListBox2), (QStringList{"LAT", "PNZ"}));
    EXPECT_FALSE(p.Label_fpactif->isHidden());
    EXPECT_TRUE(p.Label_fpdepose->isHidden());

    // The pilot edits the route and fills in the rest.
    p.ListBox2->setCurrentRow(1);
    dialogs_.QueueLine("tiber");
    p.insrer1->trigger();
    EXPECT_EQ(itemsOf(*p.ListBox2), (QStringList{"LAT", "TIBER", "PNZ"}));
    QTest::keyClicks(p.MaskEdit_vitesse, "110");
    QTest::keyClicks(p.MaskEdit_act, "0930");
    QTest::keyClicks(p.MaskEdit_enroute, "0120");
    QTest::keyClicks(p.MaskEdit_fuel, "0400");
    p.Edit_alternate->setText("lirq");
    p.Edit_alternateExit();
    p.Memo1->setPlainText("RVSM");

    LogIn(*app);
    p.Button_envoi->click();
    EXPECT_TRUE(server_.WaitForReceived("$FPF-GTAV:SERVER:I:C172SP:110:LIRF:" + today_text +
                                        ":0930:120:LIRN:01:20:04:00:LIRQ: RVSM:LAT/TIBER/PNZ"))
        << server_.ReceivedLines().join("\n").toStdString();

    // The server's acknowledgement locks the panel in yellow with "Deposé"; both texts
    // reached the simulator.
    ASSERT_TRUE(WaitUntil([&] { return locked(p); }));
    EXPECT_TRUE(p.MaskEdit_fl->isReadOnly());
    EXPECT_TRUE(p.Memo1->isReadOnly());
    EXPECT_FALSE(p.Label_fpactif->isHidden());
    EXPECT_TRUE(WaitUntil([&] {
        return textsShown() == QStringList{"Plan de vol envoyé", "FP F-GTAV LIRF-LIRN depose"};
    })) << textsShown().join(" | ").toStdString();

    // Every repaint of the main window applies the state again.
    p.Edit_dest->setReadOnly(false);
    form.repaint();
    EXPECT_TRUE(p.Edit_dest->isReadOnly());

    // A controller amends the plan: the copy fills the panel, still locked.
    server_.Command("fpdepot F-GTAV level=100 route=LAT/PNZ/CMP");
    ASSERT_TRUE(WaitUntil([&] { return p.MaskEdit_fl->value() == "100"; }));
    EXPECT_EQ(itemsOf(*p.ListBox2), (QStringList{"LAT", "PNZ", "CMP"}));
    EXPECT_EQ(p.Memo1->toPlainText(), " RVSM");
    EXPECT_EQ(p.Edit_date->text(), today_text);
    EXPECT_TRUE(locked(p));

    // The filed plans, all of them, then those of today.
    const QString listed = "F-GTAV\tIFR\tC172SP\tLIRF\tLAT/PNZ/CMP\tLIRN\tFL100\t110kts\t" +
                           today_text + "\tZ09:30\t RVSM";
    TForm_objet& plans = objectWindow();
    form.tous1->trigger();
    EXPECT_FALSE(plans.isHidden());
    EXPECT_EQ(plans.windowTitle(), "Plans de vol déposés");
    EXPECT_TRUE(plans.ListBox1->isHidden());
    EXPECT_EQ(plans.Memo1->geometry(), plans.rect());
    ASSERT_TRUE(WaitUntil([&] { return plans.Memo1->toPlainText() == listed; }))
        << plans.Memo1->toPlainText().toStdString();

    dialogs_.QueueLine(today_text);
    form.pardate1->trigger();
    EXPECT_EQ(plans.windowTitle(), "Plans de vol déposés au " + today_text);
    EXPECT_TRUE(server_.WaitForReceived("$CQF-GTAV:SERVER:DEPOTFPA:" + today_text));
    ASSERT_TRUE(WaitUntil([&] { return plans.Memo1->toPlainText() == listed; }))
        << plans.Memo1->toPlainText().toStdString();
    ASSERT_EQ(dialogs_.asked().back().detail, today_text);

    // "modifier le plan" unlocks and forgets that the plan came from the simulator.
    p.Button_modif->click();
    EXPECT_FALSE(p.Edit_depart->isReadOnly());
    EXPECT_TRUE(p.Label_fpdepose->isHidden());
    EXPECT_TRUE(p.Label_fpactif->isHidden());

    // Loaded again from the simulator and deleted: the simulator's path is cleared.
    p.Button_charge->click();
    EXPECT_FALSE(p.Label_fpactif->isHidden());
    p.Button_sup->click();
    EXPECT_TRUE(p.Label_fpactif->isHidden());
    EXPECT_EQ(p.Edit_depart->text(), "");
    EXPECT_EQ(p.ListBox2->count(), 0);
    EXPECT_EQ(host_.Dump()["plan_path"].toString(), "");
    EXPECT_EQ(form.StatusText(0), "connecté FSX");
}

TEST_F(FlightPlanEndToEndTest, APlanFiledWithoutALoginOrWithAColonIsNotKept) {
    auto app = StartApp();
    TForm1& form = mainWindow();
    ASSERT_TRUE(WaitUntil([&] { return form.Label_ID->text() == "F-GTAV/C172SP"; }));
    PlanPanel& p = panel();

    dialogs_.QueueOk(ScriptedDialogs::Kind::Warning);
    p.Button_envoi->click();
    ASSERT_EQ(dialogs_.asked().size(), 1u);
    EXPECT_EQ(dialogs_.asked()[0].text, "connect ATC server");

    // A ":" in the remarks makes one field more: the server refuses the plan, nothing
    // locks, and the listing stays empty.
    LogIn(*app);
    p.Memo1->setPlainText("RWY:16");
    p.Button_envoi->click();
    const QString sent =
        "$FPF-GTAV:SERVER:V:C172SP:::" + QDate::currentDate().toString("dd/MM/yyyy") +
        ":0000:::00:00:00:00:: RWY:16:";
    ASSERT_TRUE(server_.WaitForReceived(sent)) << server_.ReceivedLines().join("\n").toStdString();
    form.tous1->trigger();
    ASSERT_TRUE(server_.WaitForReceived("$CQF-GTAV:SERVER:DEPOTFPA:TOUS"));
    server_.Command("plans");
    ASSERT_TRUE(WaitUntil([&] { return server_.Output().contains("end of plans (0)"); }));
    EXPECT_TRUE(p.Label_fpdepose->isHidden());
    EXPECT_EQ(objectWindow().Memo1->toPlainText(), "");
}

}  // namespace
}  // namespace tavoro
