// tavoro-pln FILE...: loads each plan file as the client's load button does, with the same
// code and no window, and prints one JSON object a line: the plan's fields, or why the file
// was refused. The exit status is 1 when any file was refused, 2 for a wrong command line.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/Text.h"
#include "flightplan/FlightPlan.h"
#include "flightplan/PlanFile.h"

namespace {

constexpr char kUsage[] =
    "usage: tavoro-pln FILE...\n"
    "Loads each flight-plan file as the client does and prints one JSON object per file:\n"
    "  {\"file\", \"loaded\": true, \"form\": \"xml\"|\"ini\", \"title\", \"flight_rules\",\n"
    "   \"departure\", \"destination\", \"alternate\", \"cruise_level\", \"route_points\",\n"
    "   \"route_text\"}\n"
    "or {\"file\", \"loaded\": false, \"refused\": the reason}.\n"
    "Exit status: 0 when every file loaded, 1 when any was refused, 2 for a wrong command "
    "line.\n";

QJsonObject describe(const std::string& file) {
    using tavoro::ToDisplay;
    QJsonObject object;
    object["file"] = ToDisplay(file);
    // Each file into a plan of its own, so that nothing of one file shows in the next; no
    // configuration and no dialog, so a missing file is found nowhere.
    tavoro::FlightPlan plan;
    const tavoro::PlanLoadResult result = tavoro::LoadPlanFile(plan, file, {});
    object["loaded"] = result.loaded();
    if (!result.loaded()) {
        object["refused"] = ToDisplay(result.message);
        return object;
    }
    object["form"] = result.form == tavoro::PlanFileForm::Ini ? "ini" : "xml";
    object["title"] = ToDisplay(plan.title);
    object["flight_rules"] = ToDisplay(plan.flight_rules);
    object["departure"] = ToDisplay(plan.departure);
    object["destination"] = ToDisplay(plan.destination);
    object["alternate"] = ToDisplay(plan.alternate);
    object["cruise_level"] = ToDisplay(plan.cruise_level);
    QJsonArray points;
    for (const std::string& point : plan.route_points) {
        points.append(ToDisplay(point));
    }
    object["route_points"] = points;
    object["route_text"] = ToDisplay(plan.route_text);
    return object;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    bool refused = false;
    for (int i = 1; i < argc; ++i) {
        const QJsonObject object = describe(argv[i]);
        refused |= !object["loaded"].toBool();
        const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    }
    return refused ? 1 : 0;
}
