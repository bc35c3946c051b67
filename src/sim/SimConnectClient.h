#pragma once

#include <string_view>
#include <utility>

#include "platform/SimConnectLibrary.h"

namespace tavoro {

// The program's one SimConnect connection: forwards every call to the library and keeps
// the result of the last one, which callers test where it matters.
class SimConnectClient {
public:
    explicit SimConnectClient(SimConnectLibrary& library) : library_(library) {}

    SimResult last_result() const { return last_result_; }
    bool last_ok() const { return last_result_ == kSimOk; }
    // simconnect_open: Open answered S_OK and Close has not run since.
    bool is_open() const { return open_; }

    // Opens under `name`; S_OK makes the connection usable.
    bool Open(std::string_view name) {
        open_ = record(library_.Open(name)) == kSimOk;
        return open_;
    }
    void Close() {
        record(library_.Close());
        open_ = false;
    }

    // Every other call, its result kept as the last one:
    //     sim.Call(&SimConnectLibrary::TransmitClientEvent, kSimUserObject, 14, 12, 1, 16);
    template <typename Method, typename... Args>
    SimResult Call(Method method, Args&&... args) {
        return record((library_.*method)(std::forward<Args>(args)...));
    }

    SimConnectLibrary& library() { return library_; }

private:
    SimResult record(SimResult result) {
        last_result_ = result;
        return result;
    }

    SimConnectLibrary& library_;
    SimResult last_result_ = kSimOk;
    bool open_ = false;
};

}  // namespace tavoro
