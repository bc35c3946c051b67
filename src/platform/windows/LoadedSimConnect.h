#pragma once

#include <windows.h>

#include <deque>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimConnectLibrary.h"

namespace tavoro {

// The simulator's own SimConnect library, loaded when the link first opens: LoadLibrary
// and GetProcAddress of the calls the client makes. Missing library or missing call: Open
// fails like an absent simulator, and the FSUIPC side goes on alone.
//
// Where the library is looked for (a decision of ours, see the README): the name given,
// by the system's search order, which starts at the executable's folder; then
// "SimConnect.dll" in every folder of `fallback_folders` (the simulator's own folder).
class LoadedSimConnect : public SimConnectLibrary {
public:
    explicit LoadedSimConnect(std::wstring library = L"SimConnect.dll",
                              std::vector<std::wstring> fallback_folders = {});
    ~LoadedSimConnect() override;
    LoadedSimConnect(const LoadedSimConnect&) = delete;
    LoadedSimConnect& operator=(const LoadedSimConnect&) = delete;

    // The folders looked in after the system's search, from the next load on.
    void SetFallbackFolders(std::vector<std::wstring> folders) {
        fallback_folders_ = std::move(folders);
    }
    // Loads the library and finds every call; true when all are there. Open does it.
    bool Load();
    bool loaded() const { return module_ != nullptr; }
    // Why the last Load failed: the library or the call that could not be found.
    const std::string& load_error() const { return load_error_; }

    SimResult Open(std::string_view name) override;
    SimResult Close() override;
    SimResult MenuAddItem(std::string_view text, std::uint32_t menu_event,
                          std::uint32_t data) override;
    SimResult MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                             std::uint32_t sub_event, std::uint32_t data) override;
    SimResult MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) override;
    SimResult MenuDeleteItem(std::uint32_t menu_event) override;
    SimResult AddToDataDefinition(std::uint32_t define_id, std::string_view datum_name,
                                  std::string_view units, std::uint32_t datum_type, float epsilon,
                                  std::uint32_t datum_id) override;
    SimResult MapClientEventToSimEvent(std::uint32_t event_id,
                                       std::string_view event_name) override;
    SimResult AddClientEventToNotificationGroup(std::uint32_t group_id, std::uint32_t event_id,
                                                bool maskable) override;
    SimResult SetNotificationGroupPriority(std::uint32_t group_id, std::uint32_t priority) override;
    SimResult SubscribeToSystemEvent(std::uint32_t event_id,
                                     std::string_view system_event_name) override;
    SimResult RequestDataOnSimObjectType(std::uint32_t request_id, std::uint32_t define_id,
                                         std::uint32_t radius_m,
                                         std::uint32_t object_type) override;
    SimResult CallDispatch(const SimMessageProc& proc) override;
    SimResult SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                 std::uint32_t flags, std::uint32_t count, std::uint32_t unit_size,
                                 const void* data) override;
    SimResult TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                  std::uint32_t data, std::uint32_t group_id,
                                  std::uint32_t flags) override;
    SimResult AICreateSimulatedObject(std::string_view container_title,
                                      const SimInitPosition& position,
                                      std::uint32_t request_id) override;
    SimResult AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) override;
    SimResult WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                 std::string_view icao) override;
    SimResult WeatherRequestObservationAtNearestStation(std::uint32_t request_id, float latitude,
                                                        float longitude) override;
    SimResult WeatherRequestInterpolatedObservation(std::uint32_t request_id, float latitude,
                                                    float longitude, float altitude_m) override;
    SimResult WeatherSetModeCustom() override;
    SimResult WeatherSetObservation(std::uint32_t seconds, std::string_view metar) override;

    struct Calls;

private:
    static void CALLBACK dispatchTrampoline(void* data, DWORD size, void* context);

    std::wstring library_;
    std::vector<std::wstring> fallback_folders_;
    HMODULE module_ = nullptr;
    std::string load_error_;
    std::unique_ptr<Calls> calls_;
    HANDLE connection_ = nullptr;
    // While CallDispatch runs: the procedure, and an exception it threw, kept until the
    // library's frames are left.
    const SimMessageProc* dispatching_ = nullptr;
    std::exception_ptr dispatch_error_;
    // Messages the library handed over after the procedure threw: delivered first by the
    // next CallDispatch, so a throwing procedure loses only the message it was handling.
    std::deque<std::vector<std::uint8_t>> held_;
};

}  // namespace tavoro
