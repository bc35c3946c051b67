#pragma once

#include <string>

namespace tavoro {

// The login as the dispatcher sees it: whether a connection is up and logged in, and
// the two answers the server's first lines settle. An interface rather than a set of
// callbacks: the four belong to one state (accepting logs in, refusing closes), every one
// is required, and the link or a test's fake implements them together.
class LoginState {
public:
    virtual bool socket_connected() const = 0;
    virtual bool logged_in() const = 0;
    virtual void AcceptLogin() = 0;
    // Closes the connection and shows `reason`.
    virtual void RefuseLogin(const std::string& reason) = 0;

protected:
    // Nobody owns a link through this view.
    ~LoginState() = default;
};

}  // namespace tavoro
