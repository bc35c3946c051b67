#include "atcserver/Stations.h"

#include <QFile>
#include <QRegularExpression>
#include <set>

namespace {

constexpr int kFixedFields = 8;

bool matches(const char* pattern, const QByteArray& text) {
    return QRegularExpression(QString::fromLatin1(pattern))
        .match(QString::fromLatin1(text))
        .hasMatch();
}

QString quoted(const QByteArray& text) {
    return "'" + QString::fromLatin1(text) + "'";
}

// A decimal number within [-limit, limit]: the client reads it with "." whatever its
// locale, so nothing else is allowed here.
bool isDegrees(const QByteArray& text, double limit) {
    if (!matches(R"(^[+-]?\d{1,3}(\.\d+)?$)", text)) {
        return false;
    }
    double value = text.toDouble();
    return value >= -limit && value <= limit;
}

// The client converts the altitude as a 32-bit whole number and drops the whole line
// when it cannot.
bool isWholeNumber(const QByteArray& text) {
    bool ok = false;
    text.toInt(&ok);
    return ok && matches(R"(^[+-]?\d+$)", text);
}

}  // namespace

StationLine ParseStationLine(const QByteArray& raw) {
    QByteArray line = raw;
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#')) {
        return {};
    }
    QList<QByteArray> fields = trimmed.split('|');
    for (QByteArray& field : fields) {
        field = field.trimmed();
    }
    if (fields.size() < kFixedFields + 1) {
        return {std::nullopt,
                QStringLiteral("%1 fields, a station needs at least %2 (callsign, frequency, "
                               "facility, range, rating, latitude, longitude, altitude, then its "
                               "ATIS lines and its spoken text)")
                    .arg(fields.size())
                    .arg(kFixedFields + 1)};
    }
    // The client cuts every line at ":", so a ":" in any value would shift the fields.
    for (const QByteArray& field : fields) {
        if (field.contains(':')) {
            return {std::nullopt, QStringLiteral("%1 holds a ':', which would cut the line at "
                                                 "the client")
                                      .arg(quoted(field))};
        }
    }
    Station station;
    station.callsign = fields[0];
    station.frequency = fields[1];
    station.facility = fields[2];
    station.visual_range = fields[3];
    station.rating = fields[4];
    station.latitude = fields[5];
    station.longitude = fields[6];
    station.altitude = fields[7];
    station.atis_lines = fields.mid(kFixedFields, fields.size() - kFixedFields - 1);
    station.spoken_text = fields.last();

    auto bad = [](const char* what, const QByteArray& value, const char* expected) {
        return StationLine{std::nullopt,
                           QStringLiteral("%1 %2 is not %3").arg(what, quoted(value), expected)};
    };
    if (!matches(R"(^[^\s#%]+$)", station.callsign)) {
        return bad("callsign", station.callsign, "one word (no blank, '#' or '%')");
    }
    if (!matches(R"(^\d+\.\d+$)", station.frequency)) {
        return bad("frequency", station.frequency,
                   "a frequency without its leading 1, such as 18.700");
    }
    if (!matches(R"(^\S+$)", station.facility)) {
        return bad("facility", station.facility, "a facility code");
    }
    if (!matches(R"(^\d+$)", station.visual_range)) {
        return bad("range", station.visual_range, "a whole number of nautical miles");
    }
    if (!matches(R"(^\d+$)", station.rating)) {
        return bad("rating", station.rating, "a whole number");
    }
    if (!isDegrees(station.latitude, 90)) {
        return bad("latitude", station.latitude, "a number of degrees from -90 to 90");
    }
    if (!isDegrees(station.longitude, 180)) {
        return bad("longitude", station.longitude, "a number of degrees from -180 to 180");
    }
    if (!isWholeNumber(station.altitude)) {
        return bad("altitude", station.altitude, "a whole number of feet");
    }
    return {std::move(station), QString()};
}

StationsFile ParseStations(const QByteArray& content, const QString& name) {
    StationsFile file;
    std::set<QByteArray> callsigns;
    const QList<QByteArray> lines = content.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        StationLine parsed = ParseStationLine(lines[i]);
        QString where = QStringLiteral("%1:%2: ").arg(name).arg(i + 1);
        if (!parsed.error.isEmpty()) {
            file.errors << where + parsed.error;
        } else if (parsed.station) {
            // A second entry would be announced twice and answer for the first one.
            if (!callsigns.insert(parsed.station->callsign).second) {
                file.errors << where + QStringLiteral("station %1 is already listed")
                                           .arg(quoted(parsed.station->callsign));
            } else {
                file.stations.push_back(std::move(*parsed.station));
            }
        }
    }
    return file;
}

StationsFile ReadStationsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        StationsFile unreadable;
        unreadable.errors << QStringLiteral("%1: %2").arg(path, file.errorString());
        return unreadable;
    }
    return ParseStations(file.readAll(), path);
}

QByteArray AnnounceLine(const Station& station) {
    return "#AA" + station.callsign;
}

QByteArray PositionLine(const Station& station) {
    return "%" + station.callsign + ":" + station.frequency + ":" + station.facility + ":" +
           station.visual_range + ":" + station.rating + ":" + station.latitude + ":" +
           station.longitude + ":" + station.altitude;
}
