#include "weather/ReportJson.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/Text.h"

namespace tavoro {
namespace {

// Writes one JSON object, members in the order they are added.
class JsonObject {
public:
    explicit JsonObject(std::string& out) : out_(out) { out_ += '{'; }
    ~JsonObject() { out_ += '}'; }
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;

    // The member's name and colon; its value is written next.
    std::string& Key(std::string_view name) {
        if (!first_) {
            out_ += ',';
        }
        first_ = false;
        AppendString(out_, name);
        out_ += ':';
        return out_;
    }

    void Text(std::string_view name, std::string_view bytes) { AppendString(Key(name), bytes); }
    void Flag(std::string_view name, bool value) { Key(name) += value ? "true" : "false"; }
    void Number(std::string_view name, int value) { Key(name) += std::to_string(value); }

    // A JSON string of the display form of `bytes`: quotes, backslashes and control
    // characters escaped, everything else as UTF-8.
    static void AppendString(std::string& out, std::string_view bytes) {
        const QByteArray utf8 = ToDisplay(bytes).toUtf8();
        out += '"';
        for (const char c : utf8) {
            switch (c) {
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\t':
                    out += "\\t";
                    break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        char escaped[8];
                        std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                      static_cast<unsigned>(static_cast<unsigned char>(c)));
                        out += escaped;
                    } else {
                        out += c;
                    }
            }
        }
        out += '"';
    }

private:
    std::string& out_;
    bool first_ = true;
};

// A JSON array of objects, each written by `write(JsonObject&, const Layer&)`.
template <typename Layer, typename Write>
void AppendLayers(std::string& out, const std::vector<Layer>& layers, Write write) {
    out += '[';
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        JsonObject object(out);
        write(object, layers[i]);
    }
    out += ']';
}

void WriteWind(JsonObject& object, const WindLayer& wind) {
    object.Text("altitude", wind.altitude);
    object.Text("appendix_value", wind.appendix_value);
    object.Text("direction", wind.direction);
    object.Text("variable_from", wind.variable_from);
    object.Text("variable_to", wind.variable_to);
    object.Text("speed", wind.speed);
    object.Text("unit", wind.unit);
    object.Text("gust", wind.gust);
    object.Text("depth", wind.depth);
    object.Text("turbulence", wind.turbulence);
    object.Text("shear", wind.shear);
}

void WriteVisibility(JsonObject& object, const VisibilityLayer& layer) {
    object.Text("distance", layer.distance);
    object.Text("base", layer.base);
    object.Text("depth", layer.depth);
}

void WriteRunwayRange(JsonObject& object, const RunwayRange& range) {
    object.Text("runway", range.runway);
    object.Text("range", range.range);
}

void WriteCloud(JsonObject& object, const CloudLayer& cloud) {
    object.Text("height", cloud.height);
    object.Text("cover", cloud.cover);
    object.Text("top", cloud.top);
    object.Text("turbulence", cloud.turbulence);
    object.Text("precipitation_intensity", cloud.precipitation_intensity);
    object.Text("precipitation_type", cloud.precipitation_type);
    object.Text("base", cloud.base);
    object.Text("icing", cloud.icing);
}

void WriteTemperature(JsonObject& object, const TemperatureLayer& layer) {
    object.Text("temperature", layer.temperature);
    object.Text("dewpoint", layer.dewpoint);
    object.Text("altitude", layer.altitude);
}

}  // namespace

std::string WeatherReportJson(const WeatherReport& report) {
    std::string out;
    {
        JsonObject object(out);
        object.Text("station", report.station);
        object.Number("elevation", report.elevation);
        object.Text("report_type", report.report_type);
        object.Flag("automatic", report.automatic);
        object.Flag("corrected", report.corrected);
        object.Text("time", report.time);
        {
            JsonObject wind(object.Key("surface_wind"));
            WriteWind(wind, report.surface_wind);
        }
        AppendLayers(object.Key("winds_aloft"), report.winds_aloft, WriteWind);
        object.Flag("cavok", report.cavok);
        AppendLayers(object.Key("visibility"), report.visibility, WriteVisibility);
        AppendLayers(object.Key("runway_ranges"), report.runway_ranges, WriteRunwayRange);
        object.Text("weather_prefix", report.weather_prefix);
        object.Text("weather_descriptor", report.weather_descriptor);
        object.Text("weather_phenomenon", report.weather_phenomenon);
        object.Text("obscuration", report.obscuration);
        AppendLayers(object.Key("clouds"), report.clouds, WriteCloud);
        AppendLayers(object.Key("temperatures"), report.temperatures, WriteTemperature);
        object.Text("pressure", report.pressure);
    }
    return out;
}

}  // namespace tavoro
