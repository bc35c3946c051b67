#include "Dispatcher.h"

#include "ServerLink.h"

namespace tavoro {

Dispatcher::Dispatcher(ServerLink& link) : link_(link) {}

void Dispatcher::DispatchLine(const FieldList& fields) {
    if (link_.logged_in()) {
        dispatchLoggedIn(fields);
    } else {
        dispatchLoggedOut(fields);
    }
}

void Dispatcher::dispatchLoggedOut(const FieldList& fields) {
    const std::string& type = Field(fields, 0);
    if (type == "$ERserver") {
        link_.RefuseLogin(JoinFields(fields, 1));
    }
    // A "#TMserver" still queued from a connection that has closed logs nobody in:
    // the button would turn green with no connection behind it.
    if (type == "#TMserver" && link_.socket_connected()) {
        link_.AcceptLogin();
    }
}

void Dispatcher::dispatchLoggedIn(const FieldList& /*fields*/) {
    // The logged-in tests (stations, texts, simulator commands, flight-plan answers)
    // arrive with their subsystems; until then a logged-in line has no handler.
}

}  // namespace tavoro
