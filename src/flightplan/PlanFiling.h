#pragma once

#include <QDate>
#include <QLocale>
#include <optional>
#include <string>
#include <string_view>

#include "core/Fields.h"
#include "core/FlightPlanLine.h"
#include "flightplan/FlightPlan.h"

namespace tavoro {

inline constexpr std::string_view kUnknownAircraftMessage = "appareil inconnu";
inline constexpr std::string_view kNotLoggedInMessage = "connect ATC server";
inline constexpr std::string_view kFilingFailedMessage = "date non valide, plan de vol non envoyé";
// Shown in the simulator once the plan has gone to the server.
inline constexpr std::string_view kPlanSentText = "Plan de vol envoyé";

// The remarks of a comment box: each of its lines preceded by one blank. The lines are the
// text cut at its line breaks, an empty last line not counting: "\n" is one empty line, the
// empty text none.
std::string CommentsFromMemo(std::string_view memo_text);

// What filing needs besides the plan.
struct FilingInput {
    std::string atc_model;  // the aircraft's model, the plan's aircraft type
    bool logged_in = false;
    std::string memo_text;  // the comment box's text
    QDate today;
    QLocale locale;
};

struct FilingPreparation {
    // The message to show instead of sending: no aircraft, or not logged in.
    std::optional<std::string> refusal;
    FlightPlanLine values;
};

// "Envoi du plan" up to the packet: checks the aircraft and the login, takes the remarks,
// gives the fields still empty their defaults ("0000", "00:00", "00:00", "V": a field holding
// blanks is not empty), dates an undated plan today. The plan records the remarks, the
// defaults and the date; nothing else changes, since a plan counts as filed only once the
// server acknowledges it.
FilingPreparation PrepareFiling(FlightPlan& plan, const FilingInput& input);

// "$ACUDEPOT": the server holds the plan. Returns the acknowledgement text for the
// simulator, field 2, when the line has it. A line without it still acknowledges the plan:
// only its text is missing.
std::optional<std::string> AcknowledgeFiling(FlightPlan& plan, const FieldList& fields);

// "$FPDEPOT" for our own callsign: the server's copy of the plan, fields 2 to 16 laid out
// as those of "$FP".
enum class ServerCopyOutcome {
    Applied,         // the whole copy is in the plan, which is filed
    TooShort,        // fewer than 17 fields: nothing applied, the plan as it was
    DateUnreadable,  // field 6 is no date: rules, speed and departure applied, then stopped
};

inline constexpr std::size_t kServerCopyFields = 17;

struct ServerCopyResult {
    ServerCopyOutcome outcome = ServerCopyOutcome::Applied;
    std::string date_text;  // field 6 as received, for the date box
};

// A copy missing fields is left alone rather than half applied: an amendment cut short
// would empty the route or the remarks it no longer carries.
ServerCopyResult ApplyServerCopy(FlightPlan& plan, const FieldList& fields, const QLocale& locale,
                                 const QDate& today);

// "$DEPOTFP": one filed plan of a listing as one line of tab-separated columns (callsign,
// rules, aircraft, departure, route, destination, level, speed, date, time, remarks).
// Nothing for a line of fewer than 18 fields: its columns would not be where they belong.
inline constexpr std::size_t kListedPlanFields = 18;
std::optional<std::string> ListedPlanLine(const FieldList& fields);

}  // namespace tavoro
