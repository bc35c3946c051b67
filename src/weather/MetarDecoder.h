#pragma once

#include <string_view>

#include "core/Settings.h"
#include "weather/WeatherReport.h"

namespace tavoro {

// Decodes one observation text, as the simulator returns it (a METAR with "&" extensions
// and an optional "@@@" winds-aloft appendix), into `report`, turning codes into words
// through `tables`. Reports no error: a group that fits no step is left to the next one and
// a value that does not parse stays as text. Fields of steps the text does not reach keep
// what an earlier decode left, so decoding the same text twice gives the same record.
// Reads nothing outside `observation`, whatever it holds.
void DecodeMetar(std::string_view observation, const CodeTables& tables, WeatherReport& report);

}  // namespace tavoro
