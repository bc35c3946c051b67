#include "weather/MeteoPanel.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "core/Text.h"
#include "weather/MetarDecoder.h"

namespace tavoro {
namespace {

constexpr char kNoObservation[] = "no meteo available  ";

const QStringList kWindTitles = {"altitude(ft)", "dir°", "speed(kt)", "turb", "shear"};
const QStringList kVisibilityTitles = {"distance", "base(m)", "depth(m)"};
const QStringList kCloudTitles = {"cloud",      "base(ft)",      "height(ft)", "top",
                                  "turbulence", "precipitation", "",           "icing"};
const QStringList kTemperatureTitles = {"temp°C", "dewpoint", "alt(m)"};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

// A grid whose first row holds the titles, as the panel's grids are drawn: no header of
// Qt's own, no fixed column.
QTableWidget* MakeGrid(QWidget* parent, const char* name, int columns) {
    auto* grid = new QTableWidget(2, columns, parent);
    grid->setObjectName(name);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->setDefaultSectionSize(20);
    return grid;
}

QString Text(const std::string& value) {
    return ToDisplay(value);
}

}  // namespace

MeteoPanel::MeteoPanel(QWidget& panel, WeatherRequests& requests, WeatherReport& report,
                       const CodeTables& tables, const AircraftState& aircraft, AskLine ask_line)
    : QObject(&panel),
      Panel_meteo(panel),
      requests_(requests),
      report_(report),
      tables_(tables),
      aircraft_(aircraft),
      ask_line_(std::move(ask_line)) {
    auto* layout = new QVBoxLayout(&panel);

    auto* buttons = new QHBoxLayout;
    Button_local_meteo = MakeButton(&panel, "Button_local_meteo", "locale");
    Button_nearest_meteo = MakeButton(&panel, "Button_nearest_meteo", "station la plus proche");
    Button_meteo = MakeButton(&panel, "Button_meteo", "selectionner une station");
    for (QPushButton* button : {Button_local_meteo, Button_nearest_meteo, Button_meteo}) {
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);

    auto* heading = new QHBoxLayout;
    Label_meteo_origine = MakeLabel(&panel, "Label_meteo_origine", "origine");
    Label_weather_station = MakeLabel(&panel, "Label_weather_station", "station");
    Label_weather_altitude = MakeLabel(&panel, "Label_weather_altitude", "altitude");
    Label_weather_date = MakeLabel(&panel, "Label_weather_date", "date");
    Label_avion_altitude = MakeLabel(&panel, "Label_avion_altitude", "avion altitude");
    for (QLabel* label : {Label_meteo_origine, Label_weather_station, Label_weather_altitude,
                          Label_weather_date, Label_avion_altitude}) {
        heading->addWidget(label);
    }
    layout->addLayout(heading);

    Edit_metar = new QLineEdit(&panel);
    Edit_metar->setObjectName("Edit_metar");
    Edit_metar->setReadOnly(true);
    layout->addWidget(Edit_metar);

    PageControl1 = new QTabWidget(&panel);
    PageControl1->setObjectName("PageControl1");
    const auto page = [this](const char* name, const QString& caption) {
        auto* sheet = new QWidget;
        sheet->setObjectName(name);
        PageControl1->addTab(sheet, caption);
        return sheet;
    };
    TabSheet_wind = page("TabSheet_wind", "vents");
    TabSheet_clouds = page("TabSheet_clouds", "nuages");
    TabSheet_temperature = page("TabSheet_temperature", "temperature/pression");
    TabSheet_visibility = page("TabSheet_visibility", "visibilité");
    layout->addWidget(PageControl1, 1);

    auto* wind = new QVBoxLayout(TabSheet_wind);
    GroupBox_wind_surface = new QGroupBox("surface", TabSheet_wind);
    GroupBox_wind_surface->setObjectName("GroupBox_wind_surface");
    auto* surface = new QHBoxLayout(GroupBox_wind_surface);
    Label_wind_surface_direction =
        MakeLabel(GroupBox_wind_surface, "Label_wind_surface_direction", "direction");
    Label_wind_surface_speed =
        MakeLabel(GroupBox_wind_surface, "Label_wind_surface_speed", "speed");
    Label_wind_surface_gust = MakeLabel(GroupBox_wind_surface, "Label_wind_surface_gust", "gust");
    Label_wind_surface_depth =
        MakeLabel(GroupBox_wind_surface, "Label_wind_surface_depth", "depth");
    Label_wind_surface_turbulence =
        MakeLabel(GroupBox_wind_surface, "Label_wind_surface_turbulence", "turbulence");
    Label_wind_surface_shear =
        MakeLabel(GroupBox_wind_surface, "Label_wind_surface_shear", "shear");
    for (QLabel* label :
         {Label_wind_surface_direction, Label_wind_surface_speed, Label_wind_surface_gust,
          Label_wind_surface_depth, Label_wind_surface_turbulence, Label_wind_surface_shear}) {
        surface->addWidget(label);
    }
    wind->addWidget(GroupBox_wind_surface);
    StringGrid_winds = MakeGrid(TabSheet_wind, "StringGrid_winds", 5);
    wind->addWidget(StringGrid_winds, 1);

    auto* clouds = new QVBoxLayout(TabSheet_clouds);
    Label_weather_condition = MakeLabel(TabSheet_clouds, "Label_weather_condition", "condition");
    Label_weather_obscuration =
        MakeLabel(TabSheet_clouds, "Label_weather_obscuration", "obscuration");
    clouds->addWidget(Label_weather_condition);
    clouds->addWidget(Label_weather_obscuration);
    StringGrid_cloud = MakeGrid(TabSheet_clouds, "StringGrid_cloud", 8);
    clouds->addWidget(StringGrid_cloud, 1);

    auto* temperature = new QVBoxLayout(TabSheet_temperature);
    Label_weather_qnh = MakeLabel(TabSheet_temperature, "Label_weather_qnh", "qnh");
    temperature->addWidget(Label_weather_qnh);
    StringGrid_temperature = MakeGrid(TabSheet_temperature, "StringGrid_temperature", 3);
    temperature->addWidget(StringGrid_temperature, 1);

    auto* visibility = new QVBoxLayout(TabSheet_visibility);
    Label_cavok = MakeLabel(TabSheet_visibility, "Label_cavok", "cavok");
    visibility->addWidget(Label_cavok);
    StringGrid_visibility = MakeGrid(TabSheet_visibility, "StringGrid_visibility", 3);
    visibility->addWidget(StringGrid_visibility, 1);

    // Until a first observation, the grids show their titles only.
    showTitlesOnly(kVisibilityTitles[0]);

    connect(Button_local_meteo, &QPushButton::clicked, this, [this] { Button_local_meteoClick(); });
    connect(Button_nearest_meteo, &QPushButton::clicked, this,
            [this] { Button_nearest_meteoClick(); });
    connect(Button_meteo, &QPushButton::clicked, this, [this] { Button_meteoClick(); });
}

void MeteoPanel::RequestLocalWeather() {
    Label_avion_altitude->setText(requests_.RequestLocalWeather());
}

void MeteoPanel::Button_nearest_meteoClick() {
    requests_.RequestNearest();
}

void MeteoPanel::Button_meteoClick() {
    const std::optional<QString> typed =
        ask_line_ ? ask_line_("Meteo Station", "Input ICAO") : std::nullopt;
    // Cancelling asks all the same, with an empty identifier.
    if (!requests_.RequestStation(FromDisplay(typed.value_or(QString())))) {
        ShowWeather();
    }
}

void MeteoPanel::ObservationArrived(const std::string& text) {
    requests_.ObservationArrived(text);
    Edit_metar->setText(Text(text));
    Edit_metar->setCursorPosition(0);
    // Whatever goes wrong in decoding or showing must not stop the simulator's other
    // messages: the panel is then left as far as it got.
    try {
        ShowWeather();
    } catch (const std::exception&) {
    }
}

void MeteoPanel::NoAnswer() {
    requests_.NoAnswer();
    ShowWeather();
}

void MeteoPanel::fillGrid(QTableWidget& grid, const QStringList& titles,
                          const std::vector<QStringList>& rows) {
    grid.clearContents();
    grid.setRowCount(static_cast<int>(rows.size()) + 2);
    const auto set = [&grid](int row, int column, const QString& text) {
        grid.setItem(row, column, new QTableWidgetItem(text));
    };
    for (int column = 0; column < grid.columnCount(); ++column) {
        set(0, column, titles.value(column));
        set(grid.rowCount() - 1, column, QString());
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int column = 0; column < grid.columnCount(); ++column) {
            set(static_cast<int>(i) + 1, column, rows[i].value(column));
        }
    }
}

void MeteoPanel::ShowWeather() {
    const std::string& observation = requests_.observation_text();
    if (observation.empty()) {
        showEmpty();
        return;
    }
    DecodeMetar(observation, tables_, report_);
    Edit_metar->setText(Text(observation));
    Edit_metar->setCursorPosition(0);  // the station and time first, not the appendix
    Label_meteo_origine->setText(requests_.weather_origin());
    if (requests_.weather_origin() == kOriginLocal) {
        const QString feet = QString::number(RoundHalfEven(aircraft_.altitude_ft));
        Label_weather_station->setText("interpolated weather");
        Label_weather_altitude->setText(feet + "ft");
        GroupBox_wind_surface->setTitle("local " + feet + "ft");
    } else {
        const QString feet = QString::number(RoundHalfEven(report_.elevation / kMetresPerFoot));
        Label_weather_station->setText(Text(report_.station));
        Label_weather_altitude->setText(feet + "ft");
        GroupBox_wind_surface->setTitle("surface " + feet + "ft");
    }
    Label_weather_date->setText(Text(report_.time));

    const WindLayer& wind = report_.surface_wind;
    Label_wind_surface_direction->setText(Text(wind.direction) + "°");
    Label_wind_surface_speed->setText(Text(wind.speed) + Text(wind.unit));
    Label_wind_surface_gust->setText("gust:" + Text(wind.gust));
    Label_wind_surface_depth->setText("depth:" + Text(wind.depth) + "m");
    Label_wind_surface_turbulence->setText("turbulences:" + Text(wind.turbulence));
    Label_wind_surface_shear->setText("shear:" + Text(wind.shear));

    std::vector<QStringList> rows;
    for (const WindLayer& layer : report_.winds_aloft) {
        rows.push_back({Text(layer.altitude), Text(layer.direction), Text(layer.speed),
                        Text(layer.turbulence), Text(layer.shear)});
    }
    fillGrid(*StringGrid_winds, kWindTitles, rows);

    Label_cavok->setText(report_.cavok ? "CAVOK" : "");
    rows.clear();
    for (const VisibilityLayer& layer : report_.visibility) {
        rows.push_back({Text(layer.distance), Text(layer.base), Text(layer.depth)});
    }
    fillGrid(*StringGrid_visibility, kVisibilityTitles, rows);

    Label_weather_condition->setText(Text(report_.weather_prefix) + " " +
                                     Text(report_.weather_descriptor) + " " +
                                     Text(report_.weather_phenomenon));
    Label_weather_obscuration->setText(Text(report_.obscuration));
    rows.clear();
    for (const CloudLayer& layer : report_.clouds) {
        rows.push_back({Text(layer.cover), Text(layer.base), Text(layer.height), Text(layer.top),
                        Text(layer.turbulence), Text(layer.precipitation_intensity),
                        Text(layer.precipitation_type), Text(layer.icing)});
    }
    fillGrid(*StringGrid_cloud, kCloudTitles, rows);

    rows.clear();
    for (const TemperatureLayer& layer : report_.temperatures) {
        rows.push_back({Text(layer.temperature), Text(layer.dewpoint), Text(layer.altitude)});
    }
    fillGrid(*StringGrid_temperature, kTemperatureTitles, rows);
    Label_weather_qnh->setText("QNH: " + Text(report_.pressure));
}

void MeteoPanel::showTitlesOnly(const QString& distance_title) {
    fillGrid(*StringGrid_winds, kWindTitles, {});
    QStringList visibility = kVisibilityTitles;
    visibility[0] = distance_title;
    fillGrid(*StringGrid_visibility, visibility, {});
    fillGrid(*StringGrid_cloud, kCloudTitles, {});
    fillGrid(*StringGrid_temperature, kTemperatureTitles, {});
}

// No observation: the record is left alone and the surface group keeps its caption.
void MeteoPanel::showEmpty() {
    Edit_metar->clear();
    Label_weather_station->clear();
    Label_weather_altitude->clear();
    Label_weather_date->setText(kNoObservation);
    Label_meteo_origine->setText(requests_.weather_origin());
    Label_wind_surface_direction->clear();
    Label_wind_surface_speed->clear();
    Label_wind_surface_gust->setText("gust:");
    Label_wind_surface_depth->setText("depth:");
    Label_wind_surface_turbulence->setText("turbulences:");
    Label_wind_surface_shear->setText("shear:");
    showTitlesOnly("distance(km)");
    Label_cavok->clear();
    Label_weather_condition->clear();
    Label_weather_obscuration->clear();
    Label_weather_qnh->setText("QNH: ");
}

}  // namespace tavoro
