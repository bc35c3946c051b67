#include <gtest/gtest.h>

#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cmath>

#include "app/App.h"
#include "app/TForm1.h"
#include "support/EndToEnd.h"
#include "support/EventLoop.h"

namespace tavoro {
namespace {

using test::ScriptedDialogs;
using test::WaitUntil;

constexpr char kParis[] = "LFPG&A119 101030Z 27010KT&D985NG 9999 FEW030 12/08 Q1015";
constexpr char kHere[] =
    "KXYZ&A131 101050Z 18005KT&D985NG 15SM&B-131&D3048 6SC023&SC001FNMN020N 12/08&A0 "
    "A2992 @@@ 30 a 270 15|";

// The whole program linked to the stand-in simulator, which knows two stations, the
// aircraft being at the second.
class WeatherEndToEndTest : public test::EndToEnd {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        SimulatorSays({"set ready 1", "set lat 48.5", "set lon 2.25", "set alt_ft 2500"});
        ASSERT_EQ(host_.Command(QString("metar ") + kParis), "ok");
        ASSERT_EQ(host_.Command(QString("metar ") + kHere), "ok");
        MakeProgramFolder(60000);
        app_ = StartApp();
        ASSERT_TRUE(WaitUntil([&] { return app_->test_view().sim_link.simconnect_open(); }));
        ASSERT_TRUE(WaitUntil([&] { return app_->test_view().aircraft.altitude_ft > 2400; }));
    }

    // Dialogs are asked here, each answered from the queue: none may come unexpected.
    void TearDown() override {
        EXPECT_TRUE(dialogs_.unexpected().isEmpty())
            << dialogs_.unexpected().join("; ").toStdString();
        EXPECT_FALSE(dialogs_.pending());
    }

    template <typename T>
    static T& widget(const char* name) {
        T* found = mainWindow().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    static QString text(const char* label) { return widget<QLabel>(label).text(); }
    static QString metar() { return widget<QLineEdit>("Edit_metar").text(); }
    // Waits until the observation shown is `observation`.
    static bool shows(const QString& observation) {
        return WaitUntil([&] { return metar() == observation; });
    }

    std::unique_ptr<App> app_;
};

TEST_F(WeatherEndToEndTest, TheMenuShowsTheLocalWeather) {
    mainWindow().meteo1->trigger();
    EXPECT_TRUE(mainWindow().Panel_meteo->isVisible());
    EXPECT_FALSE(mainWindow().Panel_ATC->isVisible());
    ASSERT_TRUE(shows(QString("????") + (kHere + 4))) << metar().toStdString();
    EXPECT_EQ(text("Label_meteo_origine"), "local avion");
    EXPECT_EQ(text("Label_weather_station"), "interpolated weather");
    // The altitude as the simulator reports it, to the foot (its unit is not the foot).
    const QString feet = QString::number(std::lround(app_->test_view().aircraft.altitude_ft));
    EXPECT_NEAR(feet.toInt(), 2500, 3);
    EXPECT_EQ(text("Label_weather_altitude"), feet + "ft");
    EXPECT_EQ(text("Label_avion_altitude"), feet);
    EXPECT_EQ(text("Label_weather_date"), "101050Z");
    EXPECT_EQ(text("Label_wind_surface_direction"), "180°");
    EXPECT_EQ(widget<QTableWidget>("StringGrid_winds").rowCount(), 3);
    EXPECT_EQ(widget<QTableWidget>("StringGrid_cloud").item(1, 1)->text(), "2000");
    EXPECT_EQ(text("Label_weather_qnh"), "QNH: 2992inchHG");
}

TEST_F(WeatherEndToEndTest, StationsByNameAndTheNearestOne) {
    mainWindow().meteo1->trigger();
    ASSERT_TRUE(shows(QString("????") + (kHere + 4)));

    dialogs_.QueueLine("lfpg");
    QTest::mouseClick(&widget<QPushButton>("Button_meteo"), Qt::LeftButton);
    ASSERT_TRUE(shows(kParis)) << metar().toStdString();
    EXPECT_EQ(text("Label_meteo_origine"), "selected station");
    EXPECT_EQ(text("Label_weather_station"), "LFPG");
    EXPECT_EQ(text("Label_weather_altitude"), "390ft");  // 119 m
    ASSERT_FALSE(dialogs_.asked().empty());
    EXPECT_EQ(dialogs_.asked().back().caption, "Meteo Station");
    EXPECT_EQ(dialogs_.asked().back().text, "Input ICAO");

    QTest::mouseClick(&widget<QPushButton>("Button_nearest_meteo"), Qt::LeftButton);
    ASSERT_TRUE(shows(kHere)) << metar().toStdString();
    EXPECT_EQ(text("Label_meteo_origine"), "nearest station");
    EXPECT_EQ(text("Label_weather_station"), "KXYZ");

    // A station the simulator has no observation for: exception 15, the empty state.
    dialogs_.QueueLine("EGLL");
    QTest::mouseClick(&widget<QPushButton>("Button_meteo"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([] { return text("Label_weather_date") == "no meteo available  "; }));
    EXPECT_EQ(text("Label_meteo_origine"), "no answer");
    EXPECT_EQ(metar(), "");
    EXPECT_EQ(text("Label_weather_qnh"), "QNH: ");
}

}  // namespace
}  // namespace tavoro
