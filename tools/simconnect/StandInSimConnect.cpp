// A SimConnect.dll of our own, for tests only: the calls the client makes, carried over a
// named pipe to the stand-in simulator on the same wire as on Linux. The client loads it
// exactly as it loads the simulator's library. One connection at a time, as the client
// uses it; every wait is bounded, so a hung stand-in costs a call 2 seconds, not forever.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimConnectLibrary.h"
#include "platform/SimConnectMessages.h"
#include "platform/SimHostWire.h"

namespace {

using tavoro::SimCall;
using tavoro::SimHostKind;
using tavoro::WireFrameDecoder;
using tavoro::WireWriter;

constexpr std::chrono::milliseconds kReplyTimeout{2000};

struct Connection {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    std::uint32_t next_send_id = 1;
    WireFrameDecoder decoder;
    std::deque<std::vector<std::uint8_t>> messages;
    bool lost = false;
};

// The handle the library gives out is this connection's address.
Connection* connectionOf(HANDLE handle) {
    return static_cast<Connection*>(handle);
}

std::wstring pipeName() {
    const wchar_t* given = _wgetenv(L"TAVORO_SIM_PIPE");
    return std::wstring(L"\\\\.\\pipe\\") +
           (given && *given ? std::wstring(given) : std::wstring(L"tavoro-simconnect"));
}

void lose(Connection& connection) {
    if (!connection.lost) {
        connection.lost = true;
        // As the real library tells a simulator that went away.
        connection.messages.push_back(tavoro::SimRecvBuilder(tavoro::kSimRecvQuit).bytes());
    }
    if (connection.pipe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(connection.pipe);
        connection.pipe = INVALID_HANDLE_VALUE;
    }
}

// Reads what has arrived, without waiting: the bytes read, -1 when the pipe broke.
long readAvailable(Connection& connection) {
    long total = 0;
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(connection.pipe, nullptr, 0, nullptr, &available, nullptr)) {
            return -1;
        }
        if (available == 0) {
            return total;
        }
        std::vector<std::uint8_t> buffer(available);
        DWORD read = 0;
        if (!::ReadFile(connection.pipe, buffer.data(), available, &read, nullptr)) {
            return -1;
        }
        connection.decoder.Feed(buffer.data(), read);
        total += static_cast<long>(read);
    }
}

// Reads what the simulator sent together. A pipe may hand the writer its next frame only
// once this one is read, so after each read there is a short look for more: the messages
// a simulator sends at once then come in one dispatch, as from the real library.
bool readBatch(Connection& connection) {
    long got = readAvailable(connection);
    for (int quiet = 0; got >= 0 && quiet < 5;) {
        if (got > 0) {
            quiet = 0;
        } else {
            ++quiet;
        }
        ::Sleep(1);
        got = readAvailable(connection);
    }
    return got >= 0;
}

// Moves the complete frames into the kept messages; the reply to `send_id`, if among
// them, into `result`. False on a frame that cannot be read.
bool takeFrames(Connection& connection, std::uint32_t send_id, std::optional<HRESULT>& result) {
    std::vector<std::uint8_t> payload;
    for (;;) {
        const WireFrameDecoder::Status status = connection.decoder.Next(payload);
        if (status == WireFrameDecoder::Status::kNeedMore) {
            return true;
        }
        if (status == WireFrameDecoder::Status::kBroken) {
            return false;
        }
        std::optional<tavoro::SimHostFrame> frame = tavoro::ParseHostFrame(payload);
        if (!frame) {
            return false;
        }
        if (frame->kind == SimHostKind::kMessage) {
            connection.messages.push_back(std::move(frame->message));
        } else if (frame->send_id == send_id) {
            result = frame->result;
        }
    }
}

template <typename AddArguments>
HRESULT call(HANDLE handle, SimCall number, AddArguments&& add_arguments) {
    Connection* connection = connectionOf(handle);
    if (!connection || connection->pipe == INVALID_HANDLE_VALUE) {
        return E_FAIL;
    }
    const std::uint32_t send_id = connection->next_send_id++;
    WireWriter writer = tavoro::SimCallFrame(number, send_id);
    add_arguments(writer);
    if (writer.payload_size() > tavoro::kSimWireMaxFrame) {
        return E_FAIL;
    }
    const std::vector<std::uint8_t> frame = writer.Frame();
    DWORD written = 0;
    if (!::WriteFile(connection->pipe, frame.data(), static_cast<DWORD>(frame.size()), &written,
                     nullptr) ||
        written != frame.size()) {
        lose(*connection);
        return E_FAIL;
    }
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    std::optional<HRESULT> result;
    for (;;) {
        if (readAvailable(*connection) < 0 || !takeFrames(*connection, send_id, result)) {
            lose(*connection);
            return E_FAIL;
        }
        if (result) {
            return *result;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return E_FAIL;
        }
        ::Sleep(1);
    }
}

}  // namespace

#define SIMCONNECT_EXPORT extern "C" __declspec(dllexport) HRESULT __stdcall

SIMCONNECT_EXPORT SimConnect_Open(HANDLE* handle, const char* name, HWND, DWORD, HANDLE, DWORD) {
    if (!handle) {
        return E_POINTER;
    }
    *handle = nullptr;
    const std::wstring pipe = pipeName();
    HANDLE file = INVALID_HANDLE_VALUE;
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    for (;;) {
        file = ::CreateFileW(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_PIPE_BUSY ||
            std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        ::WaitNamedPipeW(pipe.c_str(), 100);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return E_FAIL;
    }
    auto* connection = new Connection;
    connection->pipe = file;
    const std::string client = name ? name : "";
    const HRESULT result = call(connection, SimCall::kOpen, [&](WireWriter& w) { w.text(client); });
    if (result != S_OK) {
        lose(*connection);
        delete connection;
        return result;
    }
    *handle = connection;
    return S_OK;
}

SIMCONNECT_EXPORT SimConnect_Close(HANDLE handle) {
    Connection* connection = connectionOf(handle);
    if (!connection) {
        return E_FAIL;
    }
    const HRESULT result = call(handle, SimCall::kClose, [](WireWriter&) {});
    if (connection->pipe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(connection->pipe);
    }
    delete connection;
    return result;
}

SIMCONNECT_EXPORT SimConnect_CallDispatch(HANDLE handle,
                                          void(CALLBACK* dispatch)(void*, DWORD, void*),
                                          void* context) {
    Connection* connection = connectionOf(handle);
    if (!connection) {
        return E_FAIL;
    }
    if (connection->pipe != INVALID_HANDLE_VALUE) {
        std::optional<HRESULT> no_reply;
        if (!readBatch(*connection) || !takeFrames(*connection, 0, no_reply)) {
            lose(*connection);
        }
    } else if (connection->messages.empty()) {
        return E_FAIL;
    }
    std::deque<std::vector<std::uint8_t>> pending;
    pending.swap(connection->messages);
    for (std::vector<std::uint8_t>& message : pending) {
        if (dispatch) {
            dispatch(message.data(), static_cast<DWORD>(message.size()), context);
        }
    }
    return S_OK;
}

SIMCONNECT_EXPORT SimConnect_MenuAddItem(HANDLE handle, const char* text, DWORD menu_event,
                                         DWORD data) {
    return call(handle, SimCall::kMenuAddItem,
                [&](WireWriter& w) { w.text(text ? text : "").word(menu_event).word(data); });
}

SIMCONNECT_EXPORT SimConnect_MenuAddSubItem(HANDLE handle, DWORD menu_event, const char* text,
                                            DWORD sub_event, DWORD data) {
    return call(handle, SimCall::kMenuAddSubItem, [&](WireWriter& w) {
        w.word(menu_event).text(text ? text : "").word(sub_event).word(data);
    });
}

SIMCONNECT_EXPORT SimConnect_MenuDeleteSubItem(HANDLE handle, DWORD menu_event, DWORD sub_event) {
    return call(handle, SimCall::kMenuDeleteSubItem,
                [&](WireWriter& w) { w.word(menu_event).word(sub_event); });
}

SIMCONNECT_EXPORT SimConnect_MenuDeleteItem(HANDLE handle, DWORD menu_event) {
    return call(handle, SimCall::kMenuDeleteItem, [&](WireWriter& w) { w.word(menu_event); });
}

SIMCONNECT_EXPORT SimConnect_AddToDataDefinition(HANDLE handle, DWORD define_id,
                                                 const char* datum_name, const char* units,
                                                 DWORD datum_type, float epsilon, DWORD datum_id) {
    return call(handle, SimCall::kAddToDataDefinition, [&](WireWriter& w) {
        w.word(define_id)
            .text(datum_name ? datum_name : "")
            .text(units ? units : "")
            .word(datum_type)
            .real(epsilon)
            .word(datum_id);
    });
}

SIMCONNECT_EXPORT SimConnect_MapClientEventToSimEvent(HANDLE handle, DWORD event_id,
                                                      const char* event_name) {
    return call(handle, SimCall::kMapClientEventToSimEvent,
                [&](WireWriter& w) { w.word(event_id).text(event_name ? event_name : ""); });
}

SIMCONNECT_EXPORT SimConnect_AddClientEventToNotificationGroup(HANDLE handle, DWORD group_id,
                                                               DWORD event_id, BOOL maskable) {
    return call(handle, SimCall::kAddClientEventToNotificationGroup,
                [&](WireWriter& w) { w.word(group_id).word(event_id).word(maskable ? 1 : 0); });
}

SIMCONNECT_EXPORT SimConnect_SetNotificationGroupPriority(HANDLE handle, DWORD group_id,
                                                          DWORD priority) {
    return call(handle, SimCall::kSetNotificationGroupPriority,
                [&](WireWriter& w) { w.word(group_id).word(priority); });
}

SIMCONNECT_EXPORT SimConnect_SubscribeToSystemEvent(HANDLE handle, DWORD event_id,
                                                    const char* name) {
    return call(handle, SimCall::kSubscribeToSystemEvent,
                [&](WireWriter& w) { w.word(event_id).text(name ? name : ""); });
}

SIMCONNECT_EXPORT SimConnect_RequestDataOnSimObjectType(HANDLE handle, DWORD request_id,
                                                        DWORD define_id, DWORD radius_m,
                                                        DWORD object_type) {
    return call(handle, SimCall::kRequestDataOnSimObjectType, [&](WireWriter& w) {
        w.word(request_id).word(define_id).word(radius_m).word(object_type);
    });
}

SIMCONNECT_EXPORT SimConnect_SetDataOnSimObject(HANDLE handle, DWORD define_id, DWORD object_id,
                                                DWORD flags, DWORD count, DWORD unit_size,
                                                void* data) {
    const std::uint64_t size = std::uint64_t(count) * unit_size;
    if (size > tavoro::kSimWireMaxFrame - 64 || (size > 0 && data == nullptr)) {
        return E_FAIL;
    }
    return call(handle, SimCall::kSetDataOnSimObject, [&](WireWriter& w) {
        w.word(define_id).word(object_id).word(flags).word(count).word(unit_size).blob(
            data, static_cast<std::size_t>(size));
    });
}

SIMCONNECT_EXPORT SimConnect_TransmitClientEvent(HANDLE handle, DWORD object_id, DWORD event_id,
                                                 DWORD data, DWORD group_id, DWORD flags) {
    return call(handle, SimCall::kTransmitClientEvent, [&](WireWriter& w) {
        w.word(object_id).word(event_id).word(data).word(group_id).word(flags);
    });
}

SIMCONNECT_EXPORT SimConnect_AICreateSimulatedObject(HANDLE handle, const char* title,
                                                     tavoro::SimInitPosition position,
                                                     DWORD request_id) {
    return call(handle, SimCall::kAICreateSimulatedObject, [&](WireWriter& w) {
        w.text(title ? title : "");
        tavoro::AddInitPosition(w, position);
        w.word(request_id);
    });
}

SIMCONNECT_EXPORT SimConnect_AIRemoveObject(HANDLE handle, DWORD object_id, DWORD request_id) {
    return call(handle, SimCall::kAIRemoveObject,
                [&](WireWriter& w) { w.word(object_id).word(request_id); });
}

SIMCONNECT_EXPORT SimConnect_WeatherRequestObservationAtStation(HANDLE handle, DWORD request_id,
                                                                const char* icao) {
    return call(handle, SimCall::kWeatherRequestObservationAtStation,
                [&](WireWriter& w) { w.word(request_id).text(icao ? icao : ""); });
}

SIMCONNECT_EXPORT SimConnect_WeatherRequestObservationAtNearestStation(HANDLE handle,
                                                                       DWORD request_id,
                                                                       float latitude,
                                                                       float longitude) {
    return call(handle, SimCall::kWeatherRequestObservationAtNearestStation,
                [&](WireWriter& w) { w.word(request_id).real(latitude).real(longitude); });
}

SIMCONNECT_EXPORT SimConnect_WeatherRequestInterpolatedObservation(HANDLE handle, DWORD request_id,
                                                                   float latitude, float longitude,
                                                                   float altitude_m) {
    return call(handle, SimCall::kWeatherRequestInterpolatedObservation, [&](WireWriter& w) {
        w.word(request_id).real(latitude).real(longitude).real(altitude_m);
    });
}

SIMCONNECT_EXPORT SimConnect_WeatherSetModeCustom(HANDLE handle) {
    return call(handle, SimCall::kWeatherSetModeCustom, [](WireWriter&) {});
}

SIMCONNECT_EXPORT SimConnect_WeatherSetObservation(HANDLE handle, DWORD seconds,
                                                   const char* metar) {
    return call(handle, SimCall::kWeatherSetObservation,
                [&](WireWriter& w) { w.word(seconds).text(metar ? metar : ""); });
}
