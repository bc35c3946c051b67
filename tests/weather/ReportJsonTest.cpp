#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringList>
#include <algorithm>
#include <ostream>
#include <string>

#include "weather/MetarDecoder.h"
#include "weather/MetarTables.h"
#include "weather/ReportJson.h"

namespace tavoro {
namespace {

QJsonObject Parsed(const std::string& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_TRUE(document.isObject());
    return document.object();
}

// The JSON names of an object's members in the order the text gives them.
QStringList KeysInTextOrder(const std::string& json, const QJsonObject& object) {
    QStringList keys = object.keys();
    std::sort(keys.begin(), keys.end(), [&](const QString& a, const QString& b) {
        return json.find('"' + a.toStdString() + "\":") < json.find('"' + b.toStdString() + "\":");
    });
    return keys;
}

TEST(ReportJsonTest, EveryFieldUnderItsNameInTheRecordsOrder) {
    WeatherReport report;
    DecodeMetar(
        "KXYZ&A131 121756Z 27010G20KT&D980NG 150V210 28025KT&A1500NG 15SM&B-131&D3048 "
        "R16L/1200FT +TSRA 6SC023&SC001FNMN020N 12/08&A0 A2992 @@@ 30 a 270 15|",
        test::WordTables(), report);
    report.automatic = true;
    const std::string json = WeatherReportJson(report);
    EXPECT_EQ(json.find('\n'), std::string::npos);

    const QJsonObject object = Parsed(json);
    EXPECT_EQ(KeysInTextOrder(json, object),
              (QStringList{"station", "elevation", "report_type", "automatic", "corrected", "time",
                           "surface_wind", "winds_aloft", "cavok", "visibility", "runway_ranges",
                           "weather_prefix", "weather_descriptor", "weather_phenomenon",
                           "obscuration", "clouds", "temperatures", "pressure"}));
    EXPECT_EQ(object["station"], "KXYZ");
    EXPECT_EQ(object["elevation"], 131);
    EXPECT_EQ(object["automatic"], true);
    EXPECT_EQ(object["corrected"], false);
    EXPECT_EQ(object["cavok"], false);
    EXPECT_EQ(object["pressure"], "2992inchHG");
    EXPECT_EQ(object["weather_descriptor"], "conditions descriptor TS");

    const QStringList wind_keys{"altitude",    "appendix_value", "direction", "variable_from",
                                "variable_to", "speed",          "unit",      "gust",
                                "depth",       "turbulence",     "shear"};
    const QJsonObject surface = object["surface_wind"].toObject();
    EXPECT_EQ(KeysInTextOrder(json, surface), wind_keys);
    EXPECT_EQ(surface["variable_to"], "210");
    EXPECT_EQ(surface["shear"], "shear G");
    const QJsonArray aloft = object["winds_aloft"].toArray();
    ASSERT_EQ(aloft.size(), 1);
    EXPECT_EQ(aloft[0].toObject().keys().size(), wind_keys.size());
    EXPECT_EQ(aloft[0].toObject()["altitude"], "3000");
    EXPECT_EQ(aloft[0].toObject()["depth"], "1500");

    const QJsonObject visibility = object["visibility"].toArray().at(0).toObject();
    EXPECT_EQ(visibility, (QJsonObject{{"distance", "15SM"}, {"base", "-131"}, {"depth", "3048"}}));
    const QJsonObject range = object["runway_ranges"].toArray().at(0).toObject();
    EXPECT_EQ(range, (QJsonObject{{"runway", "16L"}, {"range", "1200FT"}}));
    const QJsonObject cloud = object["clouds"].toArray().at(0).toObject();
    EXPECT_EQ(cloud, (QJsonObject{{"height", "02300"},
                                  {"cover", "6/8 cloud typ SC"},
                                  {"top", "cloud top F"},
                                  {"turbulence", "turbulence N"},
                                  {"precipitation_intensity", "precipitation intensity M"},
                                  {"precipitation_type", "precipitation typ N"},
                                  {"base", "2000"},
                                  {"icing", "icing rate N"}}));
    const QJsonObject temperature = object["temperatures"].toArray().at(0).toObject();
    EXPECT_EQ(temperature,
              (QJsonObject{{"temperature", "12"}, {"dewpoint", "08"}, {"altitude", "0"}}));
}

TEST(ReportJsonTest, EmptyRecordHasEmptyListsAndTexts) {
    const QJsonObject object = Parsed(WeatherReportJson(WeatherReport{}));
    EXPECT_EQ(object.size(), 18);
    EXPECT_EQ(object["station"], "");
    EXPECT_EQ(object["elevation"], 0);
    for (const char* list :
         {"winds_aloft", "visibility", "runway_ranges", "clouds", "temperatures"}) {
        EXPECT_TRUE(object[list].isArray()) << list;
        EXPECT_TRUE(object[list].toArray().isEmpty()) << list;
    }
}

TEST(ReportJsonTest, NegativeElevationIsANumber) {
    WeatherReport report;
    report.elevation = -3;
    EXPECT_EQ(Parsed(WeatherReportJson(report))["elevation"], -3);
}

struct EscapeCase {
    std::string bytes;
    QString text;
};

void PrintTo(const EscapeCase& c, std::ostream* out) {
    *out << testing::PrintToString(c.bytes);
}

class ReportJsonEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

// Whatever bytes the observation held, the line is valid JSON on one line and gives them
// back as the panel would show them.
TEST_P(ReportJsonEscapeTest, AnyBytesGiveValidJsonOnOneLine) {
    WeatherReport report;
    report.station = GetParam().bytes;
    report.clouds.push_back({.cover = GetParam().bytes});
    const std::string json = WeatherReportJson(report);
    EXPECT_EQ(json.find_first_of("\n\r"), std::string::npos) << json;
    const QJsonObject object = Parsed(json);
    EXPECT_EQ(object["station"].toString(), GetParam().text);
    EXPECT_EQ(object["clouds"].toArray().at(0).toObject()["cover"].toString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportJsonEscapeTest,
    ::testing::Values(EscapeCase{"plain", "plain"}, EscapeCase{"a\"b", "a\"b"},
                      EscapeCase{"a\\b", "a\\b"}, EscapeCase{"a\nb\rc\td", "a\nb\rc\td"},
                      EscapeCase{std::string("a\0b", 3), QString("a") + QChar(0) + "b"},
                      EscapeCase{"\x01\x1f\x7f", QString("\x01\x1f\x7f")},
                      // Valid UTF-8 stays as it is; other bytes are one character each.
                      EscapeCase{"Z\xc3\xbcrich", QString::fromUtf8("Z\xc3\xbcrich")},
                      EscapeCase{"Z\xfcrich", QString::fromLatin1("Z\xfcrich")},
                      EscapeCase{"\xff\xfe", QString::fromLatin1("\xff\xfe")}));

}  // namespace
}  // namespace tavoro
