#pragma once

#include "Protocol.h"

namespace tavoro {

class ServerLink;

// Hands each received line to the handlers of its type: a flat sequence of independent
// tests tried in a fixed order, one sequence before login and one after. Handlers may
// raise ConversionError; the receive pipeline drops the rest of the line then.
class Dispatcher {
public:
    explicit Dispatcher(ServerLink& link);

    void DispatchLine(const FieldList& fields);

private:
    void dispatchLoggedOut(const FieldList& fields);
    void dispatchLoggedIn(const FieldList& fields);

    ServerLink& link_;
};

}  // namespace tavoro
