#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QTableWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Aircraft.h"
#include "core/Settings.h"
#include "weather/WeatherReport.h"
#include "weather/WeatherRequests.h"

namespace tavoro {

// Asks the user for a text with a one-line dialog (caption, prompt); nothing on cancel.
using AskLine =
    std::function<std::optional<QString>(const QString& caption, const QString& prompt)>;

// The weather panel Panel_meteo: the three requests, and the last observation decoded into
// labels and four grids on four pages, or the empty state when there is none.
class MeteoPanel : public QObject {
    Q_OBJECT

public:
    // Builds the panel's widgets inside `panel`; every reference outlives the panel.
    MeteoPanel(QWidget& panel, WeatherRequests& requests, WeatherReport& report,
               const CodeTables& tables, const AircraftState& aircraft, AskLine ask_line);

    // The menu's "meteo" shows the panel, then asks for the local weather.
    void RequestLocalWeather();
    void Button_local_meteoClick() { RequestLocalWeather(); }
    void Button_nearest_meteoClick();
    void Button_meteoClick();

    // The simulator's answer to a request, and its refusal to give one.
    void ObservationArrived(const std::string& text);
    void NoAnswer();

    // Fills the panel from the observation text, the origin and the decoded record.
    void ShowWeather();

    QWidget& Panel_meteo;
    QPushButton* Button_local_meteo;
    QPushButton* Button_nearest_meteo;
    QPushButton* Button_meteo;
    QLabel* Label_meteo_origine;
    QLabel* Label_weather_station;
    QLabel* Label_weather_altitude;
    QLabel* Label_weather_date;
    QLabel* Label_avion_altitude;
    QLineEdit* Edit_metar;
    QTabWidget* PageControl1;
    QWidget* TabSheet_wind;
    QWidget* TabSheet_clouds;
    QWidget* TabSheet_temperature;
    QWidget* TabSheet_visibility;
    QGroupBox* GroupBox_wind_surface;
    QLabel* Label_wind_surface_direction;
    QLabel* Label_wind_surface_speed;
    QLabel* Label_wind_surface_gust;
    QLabel* Label_wind_surface_depth;
    QLabel* Label_wind_surface_turbulence;
    QLabel* Label_wind_surface_shear;
    QTableWidget* StringGrid_winds;
    QLabel* Label_weather_condition;
    QLabel* Label_weather_obscuration;
    QTableWidget* StringGrid_cloud;
    QLabel* Label_weather_qnh;
    QTableWidget* StringGrid_temperature;
    QLabel* Label_cavok;
    QTableWidget* StringGrid_visibility;

private:
    void showEmpty();
    // Every grid with its titles and one empty row; the distance column titled as given.
    void showTitlesOnly(const QString& distance_title);
    // Row 0 the titles, rows 1 to n the layers, one more row left empty.
    static void fillGrid(QTableWidget& grid, const QStringList& titles,
                         const std::vector<QStringList>& rows);

    WeatherRequests& requests_;
    WeatherReport& report_;
    const CodeTables& tables_;
    const AircraftState& aircraft_;
    AskLine ask_line_;
};

}  // namespace tavoro
