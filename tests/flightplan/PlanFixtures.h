#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "flightplan/FlightPlan.h"

namespace tavoro {

// Printed whole when a comparison fails.
inline void PrintTo(const FlightPlan& plan, std::ostream* out) {
    *out << "{title=" << plan.title << " rules=" << plan.flight_rules << " dep=" << plan.departure
         << " dest=" << plan.destination << " alt=" << plan.alternate
         << " level=" << plan.cruise_level << " route=" << plan.route_text << " ["
         << plan.route_points.size() << " points] speed=" << plan.speed
         << " date=" << plan.departure_date.toString(Qt::ISODate).toStdString()
         << " time=" << plan.actual_time << " enroute=" << plan.time_enroute
         << " fuel=" << plan.time_fuel << " comments=" << plan.comments
         << " path=" << plan.plan_path << " filed=" << plan.filed << " active=" << plan.active
         << "}";
}

namespace test {

// One of the real plan files under tests/data/pln.
inline std::string RealPlan(const std::string& name) {
    return std::string(TAVORO_PLN_DATA) + "/" + name;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A plan as a load finds it: every field holds something, so a test sees what the load set
// and what it left as it was.
inline FlightPlan EarlierPlan() {
    FlightPlan plan;
    plan.title = "earlier title";
    plan.flight_rules = "X";
    plan.departure = "AAAA";
    plan.destination = "BBBB";
    plan.alternate = "LFPO";
    plan.cruise_level = "999";
    plan.route_points = {"OLD1", "OLD2"};
    plan.route_text = "OLD1/OLD2";
    plan.speed = "123";
    plan.departure_date = QDate(2030, 5, 6);
    plan.actual_time = "1111";
    plan.time_enroute = "02:22";
    plan.time_fuel = "03:33";
    plan.comments = " remark";
    plan.plan_path = "/earlier/path.pln";
    plan.filed = true;
    plan.active = true;
    return plan;
}

// A folder of a test's own for plan files and a configuration.
class PlanFolder {
public:
    std::string Path(const std::string& name) const {
        return QDir(dir_.path()).filePath(QString::fromStdString(name)).toStdString();
    }
    // Writes `bytes` to `name` in the folder and gives its full path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        const std::string path = Path(name);
        WriteBytes(path, bytes);
        return path;
    }

private:
    QTemporaryDir dir_;
};

}  // namespace test
}  // namespace tavoro
