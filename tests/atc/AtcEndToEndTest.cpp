#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTest>

#include "app/App.h"
#include "app/TForm1.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::WaitUntil;

QStringList textsShown(test::SimHostProcess& host) {
    QStringList texts;
    for (const QJsonValue& value : host.Dump()["texts_shown"].toArray()) {
        texts << value.toString();
    }
    return texts;
}

// The whole client against both stand-ins: a station announced by the server shows in
// the list, a click asks for its ATIS, and its texts show in the window and reach the
// simulator one per Timer1 tick.
class AtcEndToEndTest : public test::EndToEnd {};

TEST_F(AtcEndToEndTest, AStationsAtisReachesTheWindowAndTheSimulator) {
    test::SimHostProcess& host = host_;
    test::AtcServerProcess& server = server_;
    SimulatorSays(
        {"set lat 48.72528", "set lon 2.35944", "set gs_kt 0", "set id F-GTAV", "set ready 1"});
    MakeProgramFolder(0, "[facility]\nTWR=Tour\n");
    std::unique_ptr<App> app = MakeApp();
    const App::TestView view = app->test_view();
    TForm1& form = mainWindow();
    // Ten seconds between relayed lines would only slow the test down.
    timer("Timer1").SetInterval(100);
    app->Start();
    ASSERT_TRUE(WaitUntil([&] { return timer("Timer1").IsActive(); }));
    ASSERT_TRUE(WaitUntil([&] { return view.aircraft.latitude > 48; }));

    LogIn(*app);
    server.Command("send #AALFPG_TWR");
    server.Command("send %LFPG_TWR:18.250:TWR:20:1:48.72528:2.35944:0");
    // The list is drawn anew each time it is shown: the station shows once both lines are in.
    ASSERT_TRUE(WaitUntil([&] {
        form.listeATC1->trigger();
        return form.ListBox_ATC->count() == 1 &&
               form.ListBox_ATC->item(0)->text() == "LFPG_TWR Tour       118.250 0nm (20nm)";
    })) << form.ListBox_ATC->count();
    EXPECT_TRUE(form.Panel_ATC->isVisibleTo(&form));

    emit form.ListBox_ATC->itemClicked(form.ListBox_ATC->item(0));
    EXPECT_TRUE(server.WaitForReceived("$CQF-GTAV:LFPG_TWR:ATIS"));
    EXPECT_EQ(form.ListBox_ATC->item(0)->text(), "LFPG_TWR   118.250    ATIS:");

    for (const char* text : {"one", "two", "three"}) {
        server.Command(QStringLiteral("send #TMLFPG_TWR:F-GTAV:%1").arg(text));
    }
    EXPECT_TRUE(WaitUntil([&] { return form.ListBox_ATC->count() == 4; }));
    EXPECT_TRUE(WaitUntil([&] { return textsShown(host).size() >= 3; }));
    // Each text reaches the simulator once: the relay takes it off the station's list.
    EXPECT_EQ(textsShown(host), (QStringList{"one", "two", "three"}));

    // With "ATIS audio" ticked, the station's spoken text waits for the speech timer.
    form.parametres1->trigger();
    if (!form.CheckBox_atis->isChecked()) {
        form.CheckBox_atis->click();
    }
    ASSERT_TRUE(form.CheckBox_atis->isChecked());
    server.Command("send #TMAUDIOLFPG_TWR:F-GTAV:Tour information Alpha");
    EXPECT_TRUE(WaitUntil([&] { return timer("Timer6").IsActive(); }));
    EXPECT_EQ(view.speech.speech_text(), "Tour information Alpha");

    QTest::mouseClick(form.Panel_server, Qt::LeftButton);
}

TEST_F(AtcEndToEndTest, AStationTheServerReplacesIsListedOnceWithItsNewValues) {
    MakeProgramFolder(0, "[facility]\nTWR=Tour\n");
    auto app = StartApp();
    TForm1& form = mainWindow();
    LogIn(*app);
    server_.Command("station add LFPG_TWR|18.250|TWR|20|1|48.72528|2.35944|0|Alpha|Alpha");
    server_.Command("station add LFPG_TWR|18.300|TWR|25|1|48.72528|2.35944|0|Bravo|Bravo");
    ASSERT_TRUE(WaitUntil([&] {
        form.listeATC1->trigger();
        return form.ListBox_ATC->count() == 1 &&
               form.ListBox_ATC->item(0)->text().contains("118.300");
    })) << form.ListBox_ATC->count();
    // The distance depends on where the simulator's aircraft is: only the values are checked.
    const QString shown = form.ListBox_ATC->item(0)->text();
    EXPECT_TRUE(shown.startsWith("LFPG_TWR Tour       118.300 ") && shown.endsWith("nm (25nm)"))
        << shown.toStdString();
}

}  // namespace
}  // namespace tavoro
