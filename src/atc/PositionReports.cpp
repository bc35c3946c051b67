#include "atc/PositionReports.h"

#include "atc/ServerLink.h"

namespace tavoro {

int FailureMask(const FailureState& failure_state) {
    int mask = 0;
    for (std::size_t i = 0; i < failure_state.size(); ++i) {
        if (failure_state[i]) {
            mask |= 1 << i;
        }
    }
    return mask;
}

TransponderPanelLook TransponderPanelLookOf(bool mode_c) {
    if (mode_c) {
        return {QStringLiteral("C"), kGreen, Bevel::Lowered};
    }
    return {QStringLiteral("S"), kYellow, Bevel::Raised};
}

PositionReports::PositionReports(ServerLink& link, const AircraftIdentity& identity,
                                 const AircraftState& state, const FailureState& failure_state,
                                 QObject* parent)
    : QObject(parent),
      link_(link),
      identity_(identity),
      state_(state),
      failure_state_(failure_state) {
    connect(&link_, &ServerLink::positionReportDue, this, &PositionReports::SendPositionReport);
}

PositionReport PositionReports::CurrentReport() const {
    PositionReport report;
    report.mode_c = mode_c_;
    report.callsign = identity_.atc_identifier;
    report.transponder_code = state_.transponder_code;
    report.latitude = state_.latitude;
    report.longitude = state_.longitude;
    report.altitude_ft = state_.altitude_ft;
    report.ground_speed_kt = state_.ground_speed_kt;
    report.heading_deg = state_.heading_deg;
    report.failure_mask = FailureMask(failure_state_);
    return report;
}

void PositionReports::SendPositionReport() {
    // The timer keeps running after the server drops the connection; its reports are
    // dropped here, not queued, and resume as soon as a new connection is up, before
    // that connection's login is accepted.
    if (!link_.socket_connected()) {
        return;
    }
    link_.SendLine(ComposePositionReport(CurrentReport()));
}

void PositionReports::ToggleModeC() {
    mode_c_ = !mode_c_;
}

}  // namespace tavoro
