#include "flightplan/PlanFiling.h"

#include "core/Text.h"
#include "flightplan/PlanDates.h"

namespace tavoro {
namespace {

void defaultWhenEmpty(std::string& field, std::string_view value) {
    if (field.empty()) {
        field = value;
    }
}

// Hours and minutes of an HH:MM value, cut at its first ":". The boxes always hold the
// ":", but a value without one goes whole, as hours.
void splitTime(const std::string& time, std::string& hours, std::string& minutes) {
    const std::size_t colon = time.find(':');
    if (colon == std::string::npos) {
        hours = time;
        minutes.clear();
        return;
    }
    hours = time.substr(0, colon);
    minutes = time.substr(colon + 1);
}

// The departure time column: "Z" + hours + ":" + minutes of an HHMM value, a three-digit
// value taking a leading "0". A shorter value gives what it has.
std::string listedTime(std::string time) {
    if (time.size() == 3) {
        time.insert(time.begin(), '0');
    }
    const std::string hours = time.substr(0, 2);
    const std::string minutes = time.size() > 2 ? time.substr(2, 2) : std::string();
    return "Z" + hours + ":" + minutes;
}

}  // namespace

std::string CommentsFromMemo(std::string_view memo_text) {
    std::string comments;
    std::size_t start = 0;
    while (start < memo_text.size()) {
        std::size_t end = memo_text.find('\n', start);
        if (end == std::string_view::npos) {
            end = memo_text.size();
        }
        std::string_view line = memo_text.substr(start, end - start);
        // A Windows line end counts as one break, like a bare line feed.
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        comments += ' ';
        comments += line;
        start = end + 1;
    }
    return comments;
}

FilingPreparation PrepareFiling(FlightPlan& plan, const FilingInput& input) {
    FilingPreparation prepared;
    if (input.atc_model.empty()) {
        prepared.refusal = std::string(kUnknownAircraftMessage);
        return prepared;
    }
    if (!input.logged_in) {
        prepared.refusal = std::string(kNotLoggedInMessage);
        return prepared;
    }
    plan.comments = CommentsFromMemo(input.memo_text);
    defaultWhenEmpty(plan.actual_time, kLoadedActualTime);
    defaultWhenEmpty(plan.time_enroute, kLoadedTimeEnroute);
    defaultWhenEmpty(plan.time_fuel, kLoadedTimeFuel);
    defaultWhenEmpty(plan.flight_rules, "V");
    if (!plan.departure_date.isValid()) {
        plan.departure_date = input.today;
    }

    FlightPlanLine& v = prepared.values;
    v.flight_rules = plan.flight_rules;
    v.aircraft = input.atc_model;
    v.cruise_speed = plan.speed;
    v.departure = plan.departure;
    v.departure_date = FormatPlanDate(plan.departure_date, input.locale);
    v.departure_time = plan.actual_time;
    v.cruise_level = plan.cruise_level;
    v.destination = plan.destination;
    splitTime(plan.time_enroute, v.enroute_hours, v.enroute_minutes);
    splitTime(plan.time_fuel, v.fuel_hours, v.fuel_minutes);
    v.alternate = plan.alternate;
    v.remarks = plan.comments;
    v.route = plan.route_text;
    return prepared;
}

std::optional<std::string> AcknowledgeFiling(FlightPlan& plan, const FieldList& fields) {
    plan.filed = true;
    if (fields.size() < 3) {
        return std::nullopt;
    }
    return fields[2];
}

ServerCopyResult ApplyServerCopy(FlightPlan& plan, const FieldList& fields, const QLocale& locale,
                                 const QDate& today) {
    ServerCopyResult result;
    if (fields.size() < kServerCopyFields) {
        result.outcome = ServerCopyOutcome::TooShort;
        return result;
    }
    plan.flight_rules = fields[2];
    plan.speed = fields[4];
    plan.departure = fields[5];
    const QDate date = ReadPlanDate(fields[6], locale, today);
    if (!date.isValid()) {
        result.outcome = ServerCopyOutcome::DateUnreadable;
        return result;
    }
    plan.departure_date = date;
    result.date_text = fields[6];
    plan.actual_time = fields[7];
    plan.cruise_level = fields[8];
    plan.destination = fields[9];
    plan.time_enroute = fields[10] + ":" + fields[11];
    plan.time_fuel = fields[12] + ":" + fields[13];
    plan.alternate = fields[14];
    plan.comments = fields[15];
    plan.route_text = fields[16];
    plan.route_points = SplitText(fields[16], '/');
    plan.filed = true;
    return result;
}

std::optional<std::string> ListedPlanLine(const FieldList& fields) {
    if (fields.size() < kListedPlanFields) {
        return std::nullopt;
    }
    std::string line = fields[2] + "\t";
    if (fields[3] == "I") {
        line += "IFR\t";
    } else if (fields[3] == "V") {
        line += "VFR\t";
    }
    line += fields[4] + "\t";
    line += fields[6] + "\t";
    line += fields[17] + "\t";
    line += fields[10] + "\t";
    line += "FL" + fields[9] + "\t";
    line += StartsWith(fields[5], "0") ? "M" + fields[5] : fields[5] + "kts";
    line += "\t";
    line += fields[7] + "\t";
    line += listedTime(fields[8]) + "\t";
    line += fields[16];
    return line;
}

}  // namespace tavoro
