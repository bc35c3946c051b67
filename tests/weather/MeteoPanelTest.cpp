#include <gtest/gtest.h>

#include <QTableWidget>
#include <QTest>
#include <optional>
#include <string>
#include <vector>

#include "weather/MetarTables.h"
#include "weather/MeteoPanel.h"
#include "weather/WeatherRequests.h"

namespace tavoro {
namespace {

using test::Word;

constexpr char kWorkedExample[] =
    "KXYZ&A131 121756Z 27010G20KT&D980NG 150V210 28025KT&A1500NG 15SM&B-131&D3048 "
    "R16L/1200FT +TSRA 6SC023&SC001FNMN020N 12/08&A0 A2992 @@@ 30 a 270 15|";

QStringList Row(const QTableWidget& grid, int row) {
    QStringList cells;
    for (int column = 0; column < grid.columnCount(); ++column) {
        const QTableWidgetItem* item = grid.item(row, column);
        cells << (item ? item->text() : QString());
    }
    return cells;
}

// The panel over an in-memory simulator: the calls made, and the results they give.
class MeteoPanelTest : public ::testing::Test {
protected:
    MeteoPanelTest() {
        aircraft.latitude = 48.5;
        aircraft.longitude = 2.25;
        aircraft.altitude_ft = 2500.5;
    }

    WeatherCalls calls() {
        return WeatherCalls{
            [this](float latitude, float longitude, float altitude_m) {
                made.push_back("interpolated " + std::to_string(latitude) + " " +
                               std::to_string(longitude) + " " + std::to_string(altitude_m));
                return kSimOk;
            },
            [this](std::string_view icao) {
                made.push_back("station [" + std::string(icao) + "]");
                return station_result;
            },
            [this](float latitude, float longitude) {
                made.push_back("nearest " + std::to_string(latitude) + " " +
                               std::to_string(longitude));
                return kSimOk;
            },
        };
    }

    AircraftState aircraft;
    std::vector<std::string> made;
    SimResult station_result = kSimOk;
    std::optional<QString> typed;
    std::vector<QString> asked;
    WeatherRequests requests{calls(), aircraft};
    WeatherReport report;
    CodeTables tables = test::WordTables();
    QWidget widget;
    MeteoPanel panel{widget,
                     requests,
                     report,
                     tables,
                     aircraft,
                     [this](const QString& caption, const QString& prompt) {
                         asked.push_back(caption + "|" + prompt);
                         return typed;
                     }};

    void expectEmptyState(const QString& origin) {
        EXPECT_EQ(panel.Label_meteo_origine->text(), origin);
        EXPECT_EQ(panel.Edit_metar->text(), "");
        EXPECT_EQ(panel.Label_weather_station->text(), "");
        EXPECT_EQ(panel.Label_weather_altitude->text(), "");
        EXPECT_EQ(panel.Label_weather_date->text(), "no meteo available  ");
        EXPECT_EQ(panel.Label_wind_surface_direction->text(), "");
        EXPECT_EQ(panel.Label_wind_surface_speed->text(), "");
        EXPECT_EQ(panel.Label_wind_surface_gust->text(), "gust:");
        EXPECT_EQ(panel.Label_wind_surface_depth->text(), "depth:");
        EXPECT_EQ(panel.Label_wind_surface_turbulence->text(), "turbulences:");
        EXPECT_EQ(panel.Label_wind_surface_shear->text(), "shear:");
        EXPECT_EQ(panel.Label_cavok->text(), "");
        EXPECT_EQ(panel.Label_weather_condition->text(), "");
        EXPECT_EQ(panel.Label_weather_obscuration->text(), "");
        EXPECT_EQ(panel.Label_weather_qnh->text(), "QNH: ");
        const struct {
            QTableWidget* grid;
            QStringList titles;
        } grids[] = {
            {panel.StringGrid_winds, {"altitude(ft)", "dir°", "speed(kt)", "turb", "shear"}},
            {panel.StringGrid_visibility, {"distance(km)", "base(m)", "depth(m)"}},
            {panel.StringGrid_cloud,
             {"cloud", "base(ft)", "height(ft)", "top", "turbulence", "precipitation", "",
              "icing"}},
            {panel.StringGrid_temperature, {"temp°C", "dewpoint", "alt(m)"}},
        };
        for (const auto& g : grids) {
            SCOPED_TRACE(g.grid->objectName().toStdString());
            ASSERT_EQ(g.grid->rowCount(), 2);
            EXPECT_EQ(Row(*g.grid, 0), g.titles);
            EXPECT_EQ(Row(*g.grid, 1), QStringList(g.titles.size(), QString()));
        }
    }
};

TEST_F(MeteoPanelTest, BuildsTheNamedWidgetsWithTheirCaptions) {
    const struct {
        const char* name;
        QString caption;
    } captions[] = {
        {"Button_local_meteo", "locale"},
        {"Button_nearest_meteo", "station la plus proche"},
        {"Button_meteo", "selectionner une station"},
        {"Label_meteo_origine", "origine"},
        {"Label_weather_qnh", "qnh"},
        {"Label_cavok", "cavok"},
        {"Label_wind_surface_turbulence", "turbulence"},
    };
    for (const auto& c : captions) {
        QWidget* child = widget.findChild<QWidget*>(c.name);
        ASSERT_NE(child, nullptr) << c.name;
        const QVariant text = child->property("text");
        EXPECT_EQ(text.toString(), c.caption) << c.name;
    }
    QStringList pages;
    for (int i = 0; i < panel.PageControl1->count(); ++i) {
        pages << panel.PageControl1->widget(i)->objectName() + " " + panel.PageControl1->tabText(i);
    }
    EXPECT_EQ(pages, (QStringList{"TabSheet_wind vents", "TabSheet_clouds nuages",
                                  "TabSheet_temperature temperature/pression",
                                  "TabSheet_visibility visibilité"}));
    EXPECT_EQ(panel.GroupBox_wind_surface->title(), "surface");
}

TEST_F(MeteoPanelTest, TheWorkedExampleAnsweringAStationRequest) {
    typed = "kxyz";
    QTest::mouseClick(panel.Button_meteo, Qt::LeftButton);
    EXPECT_EQ(asked, std::vector<QString>{"Meteo Station|Input ICAO"});
    EXPECT_EQ(made, std::vector<std::string>{"station [KXYZ]"});
    panel.ObservationArrived(kWorkedExample);

    EXPECT_EQ(panel.Edit_metar->text(), kWorkedExample);
    EXPECT_EQ(panel.Label_meteo_origine->text(), "selected station");
    EXPECT_EQ(panel.Label_weather_station->text(), "KXYZ");
    EXPECT_EQ(panel.Label_weather_altitude->text(), "430ft");  // 131 m
    EXPECT_EQ(panel.GroupBox_wind_surface->title(), "surface 430ft");
    EXPECT_EQ(panel.Label_weather_date->text(), "121756Z");
    EXPECT_EQ(panel.Label_wind_surface_direction->text(), "270°");
    EXPECT_EQ(panel.Label_wind_surface_speed->text(), "10KT");
    EXPECT_EQ(panel.Label_wind_surface_gust->text(), "gust:20");
    EXPECT_EQ(panel.Label_wind_surface_depth->text(), "depth:980m");
    EXPECT_EQ(panel.Label_wind_surface_turbulence->text(),
              QString::fromStdString("turbulences:" + Word(test::kTurbulence, "N")));
    EXPECT_EQ(panel.Label_wind_surface_shear->text(),
              QString::fromStdString("shear:" + Word(test::kShear, "G")));

    ASSERT_EQ(panel.StringGrid_winds->rowCount(), 3);
    EXPECT_EQ(Row(*panel.StringGrid_winds, 0),
              (QStringList{"altitude(ft)", "dir°", "speed(kt)", "turb", "shear"}));
    EXPECT_EQ(
        Row(*panel.StringGrid_winds, 1),
        (QStringList{"3000", "270", "15", QString::fromStdString(Word(test::kTurbulence, "N")),
                     QString::fromStdString(Word(test::kShear, "G"))}));
    EXPECT_EQ(Row(*panel.StringGrid_winds, 2), QStringList(5, QString()));

    EXPECT_EQ(panel.Label_cavok->text(), "");
    ASSERT_EQ(panel.StringGrid_visibility->rowCount(), 3);
    EXPECT_EQ(Row(*panel.StringGrid_visibility, 0),
              (QStringList{"distance", "base(m)", "depth(m)"}));
    EXPECT_EQ(Row(*panel.StringGrid_visibility, 1), (QStringList{"15SM", "-131", "3048"}));

    EXPECT_EQ(panel.Label_weather_condition->text(),
              QString::fromStdString("+ " + Word(test::kDescriptor, "TS") + " " +
                                     Word(test::kPhenomenon, "RA")));
    ASSERT_EQ(panel.StringGrid_cloud->rowCount(), 3);
    EXPECT_EQ(Row(*panel.StringGrid_cloud, 1),
              (QStringList{QString::fromStdString("6/8 " + Word(test::kCloudType, "SC")), "2000",
                           "02300", QString::fromStdString(Word(test::kCloudTop, "F")),
                           QString::fromStdString(Word(test::kTurbulence, "N")),
                           QString::fromStdString(Word(test::kPrecipitationIntensity, "M")),
                           QString::fromStdString(Word(test::kPrecipitationType, "N")),
                           QString::fromStdString(Word(test::kIcingRate, "N"))}));
    ASSERT_EQ(panel.StringGrid_temperature->rowCount(), 3);
    EXPECT_EQ(Row(*panel.StringGrid_temperature, 1), (QStringList{"12", "08", "0"}));
    EXPECT_EQ(panel.Label_weather_qnh->text(), "QNH: 2992inchHG");
}

TEST_F(MeteoPanelTest, LocalWeatherShowsTheAircraftsAltitudeRoundedHalvesToEven) {
    const struct {
        double feet;
        QString shown;
    } cases[] = {{2500.5, "2500"}, {2501.5, "2502"}, {2501.4, "2501"}, {0, "0"}, {-10.5, "-10"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.feet);
        aircraft.altitude_ft = c.feet;
        made.clear();
        panel.RequestLocalWeather();
        EXPECT_EQ(panel.Label_avion_altitude->text(), c.shown);
        ASSERT_EQ(made.size(), 1u);
        EXPECT_EQ(made[0].rfind("interpolated 48.500000 2.250000 ", 0), 0u) << made[0];
        EXPECT_NEAR(std::stod(made[0].substr(made[0].rfind(' '))), c.feet * 0.3048, 0.01);
        panel.ObservationArrived("???? 101030Z 27010KT 9999 12/08 Q1015");
        EXPECT_EQ(panel.Label_meteo_origine->text(), "local avion");
        EXPECT_EQ(panel.Label_weather_station->text(), "interpolated weather");
        EXPECT_EQ(panel.Label_weather_altitude->text(), c.shown + "ft");
        EXPECT_EQ(panel.GroupBox_wind_surface->title(), "local " + c.shown + "ft");
    }
}

TEST_F(MeteoPanelTest, TheStationTypedIsUpperCasedAndCutToFour) {
    const struct {
        std::optional<QString> typed;
        std::string asked;
    } cases[] = {
        {"lfpg", "LFPG"},
        {"lfpgx", "LFPG"},
        {"eG1", "EG1"},
        {"", ""},
        // Letters beyond a to z stay as typed, each a whole character.
        {QString::fromUtf8("éléphant"), "éLéP"},
        // Cancelling asks all the same, with an empty identifier.
        {std::nullopt, ""},
    };
    for (const auto& c : cases) {
        typed = c.typed;
        made.clear();
        panel.Button_meteoClick();
        EXPECT_EQ(made, std::vector<std::string>{"station [" + c.asked + "]"});
    }
}

TEST_F(MeteoPanelTest, ARefusedStationRequestShowsTheEmptyStateAtOnce) {
    panel.ObservationArrived(kWorkedExample);
    station_result = kSimFail;
    panel.Button_meteoClick();
    expectEmptyState("no answer");
    EXPECT_TRUE(requests.observation_text().empty());
    // The record is left alone, and the surface caption keeps its text.
    EXPECT_EQ(report.station, "KXYZ");
    EXPECT_EQ(panel.GroupBox_wind_surface->title(), "surface 430ft");
}

TEST_F(MeteoPanelTest, NoObservationFromTheSimulatorShowsTheEmptyState) {
    panel.ObservationArrived(kWorkedExample);
    panel.Button_nearest_meteoClick();
    EXPECT_EQ(made, std::vector<std::string>{"nearest 48.500000 2.250000"});
    panel.NoAnswer();
    expectEmptyState("no answer");
}

// A request changes the origin at once, but the panel only when the answer comes.
TEST_F(MeteoPanelTest, TheOriginWaitsForTheAnswer) {
    typed = "KXYZ";
    panel.Button_meteoClick();
    panel.ObservationArrived(kWorkedExample);
    panel.Button_nearest_meteoClick();
    EXPECT_EQ(requests.weather_origin(), "nearest station");
    EXPECT_EQ(panel.Label_meteo_origine->text(), "selected station");
    panel.ObservationArrived("LFPG 101030Z 27010KT CAVOK 12/08 Q1015");
    EXPECT_EQ(panel.Label_meteo_origine->text(), "nearest station");
    EXPECT_EQ(panel.Label_cavok->text(), "CAVOK");
    // The new observation has no winds aloft: the worked example's layer is gone from the
    // grid, which keeps its titles and one empty row.
    ASSERT_EQ(panel.StringGrid_winds->rowCount(), 2);
    EXPECT_EQ(Row(*panel.StringGrid_winds, 1), QStringList(5, QString()));
}

}  // namespace
}  // namespace tavoro
