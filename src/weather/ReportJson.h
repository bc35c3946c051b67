#pragma once

#include <string>

#include "weather/WeatherReport.h"

namespace tavoro {

// The whole report as one line of JSON (no line break), every field under its own name and
// in the record's order, so that a reader sees the fields as the weather panel lists them.
// Texts are the observation's bytes: UTF-8 when they are valid UTF-8, otherwise one
// character per byte, as the panel shows them.
std::string WeatherReportJson(const WeatherReport& report);

}  // namespace tavoro
