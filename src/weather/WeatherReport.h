#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavoro {

// The decoded observation keeps every value as the text that stands in it; only the
// elevation is a number. Heights are in feet, the rest in the observation's own units.
// Every member has an initializer, so a record may be written naming only the fields it
// sets.

struct WindLayer {
    std::string altitude{};
    std::string appendix_value{};
    std::string direction{};
    std::string variable_from{};
    std::string variable_to{};
    std::string speed{};
    std::string unit{};
    std::string gust{};
    std::string depth{};
    std::string turbulence{};
    std::string shear{};

    bool operator==(const WindLayer&) const = default;
};

struct VisibilityLayer {
    std::string distance{};
    std::string base{};
    std::string depth{};

    bool operator==(const VisibilityLayer&) const = default;
};

struct RunwayRange {
    std::string runway{};
    std::string range{};

    bool operator==(const RunwayRange&) const = default;
};

struct CloudLayer {
    std::string height{};
    std::string cover{};
    std::string top{};
    std::string turbulence{};
    std::string precipitation_intensity{};
    std::string precipitation_type{};
    std::string base{};
    std::string icing{};

    bool operator==(const CloudLayer&) const = default;
};

struct TemperatureLayer {
    std::string temperature{};
    std::string dewpoint{};
    std::string altitude{};

    bool operator==(const TemperatureLayer&) const = default;
};

// The one decoded observation of the run. Each decode overwrites the fields its steps
// reach and leaves the others as an earlier decode left them.
struct WeatherReport {
    std::string station{};
    // Metres. Signed: a station below sea level ("EHAM&A-3") reads -3, not 65533.
    std::int16_t elevation = 0;
    std::string report_type{};
    bool automatic = false;
    bool corrected = false;
    std::string time{};
    WindLayer surface_wind{};
    std::vector<WindLayer> winds_aloft{};
    bool cavok = false;
    std::vector<VisibilityLayer> visibility{};
    std::vector<RunwayRange> runway_ranges{};
    std::string weather_prefix{};
    std::string weather_descriptor{};
    std::string weather_phenomenon{};
    std::string obscuration{};
    std::vector<CloudLayer> clouds{};
    std::vector<TemperatureLayer> temperatures{};
    std::string pressure{};

    bool operator==(const WeatherReport&) const = default;
};

}  // namespace tavoro
