#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

// One ATC station the stand-in server announces, with the texts of its ATIS. Every value
// is kept as the text it goes on the wire with.
struct Station {
    QByteArray callsign;
    QByteArray frequency;  // without its leading "1": "18.700" for 118.700
    QByteArray facility;   // a facility code, a key of the client's [facility] section
    QByteArray visual_range;
    QByteArray rating;
    QByteArray latitude;
    QByteArray longitude;
    QByteArray altitude;
    QList<QByteArray> atis_lines;
    QByteArray spoken_text;  // empty: the station has nothing to speak
};

// What one line of a stations file holds: a station, an error, or nothing (a blank
// line or a comment).
struct StationLine {
    std::optional<Station> station;
    QString error;
};

// One line of the stations file format: fields separated by "|", blanks around a field
// ignored, "#" as the first non-blank character makes a comment:
//   callsign|frequency|facility|range|rating|latitude|longitude|altitude|ATIS...|spoken
// Every field after the eighth is an ATIS line, except the last, which is the spoken text.
StationLine ParseStationLine(const QByteArray& line);

// A whole stations file; `errors` holds "PATH:LINE: reason" for every bad line, and a file
// with any error is unusable as a whole, so that a typo is never half applied.
struct StationsFile {
    std::vector<Station> stations;
    QStringList errors;
};
StationsFile ReadStationsFile(const QString& path);
StationsFile ParseStations(const QByteArray& content, const QString& name);

// The lines that announce a station to a client: "#AA" with its callsign, then its
// position line "%".
QByteArray AnnounceLine(const Station& station);
QByteArray PositionLine(const Station& station);
