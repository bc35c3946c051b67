#pragma once

#include <QObject>
#include <QString>

#include "atc/Protocol.h"
#include "core/Aircraft.h"
#include "core/Palette.h"

namespace tavoro {

class ServerLink;

// The failure field of a position report: bit i set for each failure i that is active.
int FailureMask(const FailureState& failure_state);

// How the transponder button shows a mode: "C" green and lowered while altitude is
// reported, "S" yellow and raised on standby.
struct TransponderPanelLook {
    QString caption;
    Rgb colour;
    Bevel bevel;
};
TransponderPanelLook TransponderPanelLookOf(bool mode_c);

// The position reports: on each tick of the link's report timer the aircraft as it
// stands goes to the server as one "@N" (mode C) or "@S" (standby) line. The values are
// read at each report, never cached, and nothing is kept for later while the socket is
// down.
class PositionReports : public QObject {
    Q_OBJECT

public:
    PositionReports(ServerLink& link, const AircraftIdentity& identity, const AircraftState& state,
                    const FailureState& failure_state, QObject* parent = nullptr);

    // The report the aircraft's values make now.
    PositionReport CurrentReport() const;
    // Timer4's work: compose the report and send it while the socket is connected.
    void SendPositionReport();

    // The transponder button's work: toggles between mode C and standby. The next report
    // carries the new mode; nothing is sent at the click.
    void ToggleModeC();
    bool mode_c() const { return mode_c_; }

private:
    ServerLink& link_;
    const AircraftIdentity& identity_;
    const AircraftState& state_;
    const FailureState& failure_state_;
    bool mode_c_ = false;
};

}  // namespace tavoro
