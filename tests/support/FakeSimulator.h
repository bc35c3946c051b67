#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/FsuipcClient.h"
#include "sim/SimConnectClient.h"

namespace tavoro::test {

inline std::uint32_t word(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

// Plays the simulator-side module: serves the block as the real one does, from an offset
// space of its own, and can be told to fail or to answer with a doctored block.
class FakeFsuipcServer : public FsuipcTransport {
public:
    FakeFsuipcServer() { SetVersions(0x19980005u + 0x100, 0xFADE0008u); }

    void SetVersions(std::uint32_t fsuipc, std::uint32_t sim) {
        Poke(0x3304, &fsuipc, 4);
        Poke(0x3308, &sim, 4);
    }
    void Poke(std::uint32_t offset, const void* data, std::size_t size) {
        auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            memory[offset + static_cast<std::uint32_t>(i)] = bytes[i];
        }
    }
    std::uint8_t Peek(std::uint32_t offset) { return memory[offset]; }

    ServerWindow FindServerWindow() override { return window; }
    bool RegisterMessage(std::string_view name) override {
        message = std::string(name);
        return register_ok;
    }
    bool AddBlockAtom(std::string_view name) override {
        atom = std::string(name);
        atom_held = atom_ok;
        return atom_ok;
    }
    void DeleteBlockAtom() override { atom_held = false; }
    bool CreateMapping(std::string_view, std::size_t size) override {
        mapping_size = size;
        return mapping_ok;
    }
    std::uint8_t* MapView() override {
        mapped = view_ok;
        return view_ok ? block.data() : nullptr;
    }
    void UnmapView() override { mapped = false; }
    void CloseMapping() override { mapping_size = 0; }
    void ForgetWindow() override {}
    std::uint32_t CurrentProcessId() override { return 0x1A2B; }
    void Sleep(int milliseconds) override { sleeps.push_back(milliseconds); }

    SendResult SendRequest(int timeout_ms) override {
        ++sends;
        last_timeout = timeout_ms;
        if (failing_sends > 0) {
            --failing_sends;
            return {false, system_error, 0};
        }
        serve();
        if (doctor) {
            doctor(block.data());
        }
        return {true, false, answer};
    }

    void serve() {
        std::size_t at = 0;
        while (at + 4 <= block.size()) {
            std::uint32_t id = word(&block[at]);
            if (id == 1) {
                std::uint32_t offset = word(&block[at + 4]), size = word(&block[at + 8]);
                for (std::uint32_t i = 0; i < size; ++i) {
                    block[at + 16 + i] = memory[offset + i];
                }
                at += 16 + size;
            } else if (id == 2) {
                std::uint32_t offset = word(&block[at + 4]), size = word(&block[at + 8]);
                // The library version is kept apart: it shares bytes with the words the
                // version reads return.
                auto& target = offset == 0x330A ? written_library_version : memory;
                for (std::uint32_t i = 0; i < size; ++i) {
                    target[offset + i] = block[at + 12 + i];
                }
                at += 12 + size;
            } else {
                break;
            }
        }
    }

    ServerWindow window = ServerWindow::Uipcmain;
    bool register_ok = true, atom_ok = true, mapping_ok = true, view_ok = true;
    int failing_sends = 0;
    bool system_error = false;
    std::uintptr_t answer = 1;
    std::function<void(std::uint8_t*)> doctor;

    std::array<std::uint8_t, FsuipcClient::kBlockSize> block{};
    std::map<std::uint32_t, std::uint8_t> memory;
    std::map<std::uint32_t, std::uint8_t> written_library_version;
    std::string message, atom;
    bool atom_held = false, mapped = false;
    std::size_t mapping_size = 0;
    int sends = 0;
    int last_timeout = 0;
    std::vector<int> sleeps;
};

// The data message answering the user aircraft's engine-failure request, spelled out
// word by word as the library lays it out.
inline std::vector<std::uint8_t> MakeEngineFailures(std::initializer_list<float> values) {
    std::vector<std::uint8_t> bytes;
    auto put = [&](std::uint32_t word) {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
        }
    };
    put(40 + 4 * static_cast<std::uint32_t>(values.size()));  // size
    put(4);                                                   // version
    put(9);                                                   // object data by type
    // Request 0, object, definition, flags, entry, out of, count of datums.
    for (std::uint32_t word : {0u, 0u, 0u, 0u, 1u, 1u, static_cast<std::uint32_t>(values.size())}) {
        put(word);
    }
    for (float value : values) {
        std::uint32_t word;
        std::memcpy(&word, &value, 4);
        put(word);
    }
    return bytes;
}

// Plays the simulator's client library in memory: records every call in order, answers
// each with `result` unless a call's name is in `failing`, and hands `pending` messages to
// the next dispatch.
class FakeSimConnect : public SimConnectLibrary {
public:
    struct Call {
        std::string name;
        std::vector<std::string> args;  // every argument as text
    };

    SimResult Open(std::string_view name) override {
        return record("Open", {std::string(name)}, [&] { open = true; });
    }
    SimResult Close() override {
        return record("Close", {}, [&] { open = false; });
    }
    SimResult MenuAddItem(std::string_view text, std::uint32_t menu_event,
                          std::uint32_t data) override {
        return record("MenuAddItem", {std::string(text), n(menu_event), n(data)});
    }
    SimResult MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                             std::uint32_t sub_event, std::uint32_t data) override {
        return record("MenuAddSubItem", {n(menu_event), std::string(text), n(sub_event), n(data)});
    }
    SimResult MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) override {
        return record("MenuDeleteSubItem", {n(menu_event), n(sub_event)});
    }
    SimResult MenuDeleteItem(std::uint32_t menu_event) override {
        return record("MenuDeleteItem", {n(menu_event)});
    }
    SimResult AddToDataDefinition(std::uint32_t define_id, std::string_view datum_name,
                                  std::string_view units, std::uint32_t datum_type, float epsilon,
                                  std::uint32_t datum_id) override {
        return record("AddToDataDefinition",
                      {n(define_id), std::string(datum_name), std::string(units), n(datum_type),
                       std::to_string(epsilon), n(datum_id)});
    }
    SimResult MapClientEventToSimEvent(std::uint32_t event_id,
                                       std::string_view event_name) override {
        return record("MapClientEventToSimEvent", {n(event_id), std::string(event_name)});
    }
    SimResult AddClientEventToNotificationGroup(std::uint32_t group_id, std::uint32_t event_id,
                                                bool maskable) override {
        return record("AddClientEventToNotificationGroup",
                      {n(group_id), n(event_id), maskable ? "maskable" : "not maskable"});
    }
    SimResult SetNotificationGroupPriority(std::uint32_t group_id,
                                           std::uint32_t priority) override {
        return record("SetNotificationGroupPriority", {n(group_id), n(priority)});
    }
    SimResult SubscribeToSystemEvent(std::uint32_t event_id,
                                     std::string_view system_event_name) override {
        return record("SubscribeToSystemEvent", {n(event_id), std::string(system_event_name)});
    }
    SimResult RequestDataOnSimObjectType(std::uint32_t request_id, std::uint32_t define_id,
                                         std::uint32_t radius_m,
                                         std::uint32_t object_type) override {
        return record("RequestDataOnSimObjectType",
                      {n(request_id), n(define_id), n(radius_m), n(object_type)});
    }
    SimResult CallDispatch(const SimMessageProc& proc) override {
        std::vector<std::vector<std::uint8_t>> messages;
        messages.swap(pending);
        return record("CallDispatch", {}, [&] {
            for (const auto& message : messages) {
                proc(message.data(), static_cast<std::uint32_t>(message.size()));
            }
        });
    }
    SimResult SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                 std::uint32_t flags, std::uint32_t count, std::uint32_t unit_size,
                                 const void*) override {
        return record("SetDataOnSimObject",
                      {n(define_id), n(object_id), n(flags), n(count), n(unit_size)});
    }
    SimResult TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                  std::uint32_t data, std::uint32_t group_id,
                                  std::uint32_t flags) override {
        return record("TransmitClientEvent",
                      {n(object_id), n(event_id), n(data), n(group_id), n(flags)});
    }
    SimResult AICreateSimulatedObject(std::string_view container_title, const SimInitPosition&,
                                      std::uint32_t request_id) override {
        return record("AICreateSimulatedObject", {std::string(container_title), n(request_id)});
    }
    SimResult AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) override {
        return record("AIRemoveObject", {n(object_id), n(request_id)});
    }
    SimResult WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                 std::string_view icao) override {
        return record("WeatherRequestObservationAtStation", {n(request_id), std::string(icao)});
    }
    SimResult WeatherRequestObservationAtNearestStation(std::uint32_t request_id, float latitude,
                                                        float longitude) override {
        return record("WeatherRequestObservationAtNearestStation",
                      {n(request_id), std::to_string(latitude), std::to_string(longitude)});
    }
    SimResult WeatherRequestInterpolatedObservation(std::uint32_t request_id, float latitude,
                                                    float longitude, float altitude_m) override {
        return record("WeatherRequestInterpolatedObservation",
                      {n(request_id), std::to_string(latitude), std::to_string(longitude),
                       std::to_string(altitude_m)});
    }
    SimResult WeatherSetModeCustom() override { return record("WeatherSetModeCustom", {}); }
    SimResult WeatherSetObservation(std::uint32_t seconds, std::string_view metar) override {
        return record("WeatherSetObservation", {n(seconds), std::string(metar)});
    }

    // The calls made, as "Name(arg, arg)".
    std::vector<std::string> CallTexts() const {
        std::vector<std::string> texts;
        for (const Call& call : calls) {
            std::string text = call.name + "(";
            for (std::size_t i = 0; i < call.args.size(); ++i) {
                text += (i ? ", " : "") + call.args[i];
            }
            texts.push_back(text + ")");
        }
        return texts;
    }

    std::vector<Call> calls;
    // Called with each call's name as it is made.
    std::function<void(const std::string& name)> on_call;
    std::vector<std::vector<std::uint8_t>> pending;
    std::vector<std::string> failing;  // names of calls that fail
    bool open = false;
    // Calls made while closed fail, as the library's do; Open is the exception.
    bool refuse_open = false;

private:
    static std::string n(std::uint32_t value) { return std::to_string(value); }

    SimResult record(const char* name, std::vector<std::string> args,
                     const std::function<void()>& effect = {}) {
        calls.push_back({name, std::move(args)});
        if (on_call) {
            on_call(name);
        }
        const bool fails = std::find(failing.begin(), failing.end(), name) != failing.end() ||
                           (std::string_view(name) == "Open" ? refuse_open : !open);
        if (fails) {
            return kSimFail;
        }
        if (effect) {
            effect();
        }
        return kSimOk;
    }
};

}  // namespace tavoro::test
