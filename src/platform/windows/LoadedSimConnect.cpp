#include "platform/windows/LoadedSimConnect.h"

#include <string>
#include <type_traits>
#include <utility>

namespace tavoro {
namespace {

using Handle = HANDLE;
using Dword = DWORD;
using DispatchProc = void(CALLBACK*)(void* data, Dword size, void* context);

std::string z(std::string_view text) {
    return std::string(text);
}

}  // namespace

// The library's calls as its public reference declares them; every id and enumeration
// travels as a 32-bit word, BOOL as int.
struct LoadedSimConnect::Calls {
    HRESULT(WINAPI* Open)(Handle*, const char*, HWND, Dword, Handle, Dword);
    HRESULT(WINAPI* Close)(Handle);
    HRESULT(WINAPI* MenuAddItem)(Handle, const char*, Dword, Dword);
    HRESULT(WINAPI* MenuAddSubItem)(Handle, Dword, const char*, Dword, Dword);
    HRESULT(WINAPI* MenuDeleteSubItem)(Handle, Dword, Dword);
    HRESULT(WINAPI* MenuDeleteItem)(Handle, Dword);
    HRESULT(WINAPI* AddToDataDefinition)
    (Handle, Dword, const char*, const char*, Dword, float, Dword);
    HRESULT(WINAPI* MapClientEventToSimEvent)(Handle, Dword, const char*);
    HRESULT(WINAPI* AddClientEventToNotificationGroup)(Handle, Dword, Dword, BOOL);
    HRESULT(WINAPI* SetNotificationGroupPriority)(Handle, Dword, Dword);
    HRESULT(WINAPI* SubscribeToSystemEvent)(Handle, Dword, const char*);
    HRESULT(WINAPI* RequestDataOnSimObjectType)(Handle, Dword, Dword, Dword, Dword);
    HRESULT(WINAPI* CallDispatch)(Handle, DispatchProc, void*);
    HRESULT(WINAPI* SetDataOnSimObject)(Handle, Dword, Dword, Dword, Dword, Dword, void*);
    HRESULT(WINAPI* TransmitClientEvent)(Handle, Dword, Dword, Dword, Dword, Dword);
    // The initial position goes by value, as declared.
    HRESULT(WINAPI* AICreateSimulatedObject)(Handle, const char*, SimInitPosition, Dword);
    HRESULT(WINAPI* AIRemoveObject)(Handle, Dword, Dword);
    HRESULT(WINAPI* WeatherRequestObservationAtStation)(Handle, Dword, const char*);
    HRESULT(WINAPI* WeatherRequestObservationAtNearestStation)(Handle, Dword, float, float);
    HRESULT(WINAPI* WeatherRequestInterpolatedObservation)(Handle, Dword, float, float, float);
    HRESULT(WINAPI* WeatherSetModeCustom)(Handle);
    HRESULT(WINAPI* WeatherSetObservation)(Handle, Dword, const char*);
};

LoadedSimConnect::LoadedSimConnect(std::wstring library, std::vector<std::wstring> fallback_folders)
    : library_(std::move(library)), fallback_folders_(std::move(fallback_folders)) {}

LoadedSimConnect::~LoadedSimConnect() {
    Close();
    if (module_) {
        ::FreeLibrary(module_);
    }
}

bool LoadedSimConnect::Load() {
    if (module_) {
        return true;
    }
    HMODULE module = ::LoadLibraryW(library_.c_str());
    for (const std::wstring& folder : fallback_folders_) {
        if (module) {
            break;
        }
        if (folder.empty()) {
            continue;
        }
        std::wstring path = folder;
        if (path.back() != L'\\' && path.back() != L'/') {
            path += L'\\';
        }
        path += L"SimConnect.dll";
        // Its own dependencies are looked for beside it, not beside us.
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!module) {
        load_error_ =
            "SimConnect library not found (system error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    auto calls = std::make_unique<Calls>();
    bool complete = true;
    auto find = [&](auto& call, const char* name) {
        FARPROC address = ::GetProcAddress(module, name);
        if (!address) {
            if (complete) {
                load_error_ = std::string("SimConnect library without ") + name;
            }
            complete = false;
            return;
        }
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(
            reinterpret_cast<void (*)()>(address));
    };
    find(calls->Open, "SimConnect_Open");
    find(calls->Close, "SimConnect_Close");
    find(calls->MenuAddItem, "SimConnect_MenuAddItem");
    find(calls->MenuAddSubItem, "SimConnect_MenuAddSubItem");
    find(calls->MenuDeleteSubItem, "SimConnect_MenuDeleteSubItem");
    find(calls->MenuDeleteItem, "SimConnect_MenuDeleteItem");
    find(calls->AddToDataDefinition, "SimConnect_AddToDataDefinition");
    find(calls->MapClientEventToSimEvent, "SimConnect_MapClientEventToSimEvent");
    find(calls->AddClientEventToNotificationGroup, "SimConnect_AddClientEventToNotificationGroup");
    find(calls->SetNotificationGroupPriority, "SimConnect_SetNotificationGroupPriority");
    find(calls->SubscribeToSystemEvent, "SimConnect_SubscribeToSystemEvent");
    find(calls->RequestDataOnSimObjectType, "SimConnect_RequestDataOnSimObjectType");
    find(calls->CallDispatch, "SimConnect_CallDispatch");
    find(calls->SetDataOnSimObject, "SimConnect_SetDataOnSimObject");
    find(calls->TransmitClientEvent, "SimConnect_TransmitClientEvent");
    find(calls->AICreateSimulatedObject, "SimConnect_AICreateSimulatedObject");
    find(calls->AIRemoveObject, "SimConnect_AIRemoveObject");
    find(calls->WeatherRequestObservationAtStation,
         "SimConnect_WeatherRequestObservationAtStation");
    find(calls->WeatherRequestObservationAtNearestStation,
         "SimConnect_WeatherRequestObservationAtNearestStation");
    find(calls->WeatherRequestInterpolatedObservation,
         "SimConnect_WeatherRequestInterpolatedObservation");
    find(calls->WeatherSetModeCustom, "SimConnect_WeatherSetModeCustom");
    find(calls->WeatherSetObservation, "SimConnect_WeatherSetObservation");
    if (!complete) {
        ::FreeLibrary(module);
        return false;
    }
    load_error_.clear();
    module_ = module;
    calls_ = std::move(calls);
    return true;
}

SimResult LoadedSimConnect::Open(std::string_view name) {
    // One connection serves the program: opening again starts over on a new one.
    Close();
    if (!Load()) {
        return kSimFail;
    }
    Handle handle = nullptr;
    const HRESULT result = calls_->Open(&handle, z(name).c_str(), nullptr, 0, nullptr, 0);
    if (result == S_OK) {
        connection_ = handle;
    }
    return static_cast<SimResult>(result);
}

SimResult LoadedSimConnect::Close() {
    held_.clear();
    if (!connection_) {
        return kSimFail;
    }
    const HRESULT result = calls_->Close(connection_);
    connection_ = nullptr;
    return static_cast<SimResult>(result);
}

// Every call below: closed, it fails without reaching the library.
#define TAVORO_CALL(expression) \
    if (!connection_) {         \
        return kSimFail;        \
    }                           \
    return static_cast<SimResult>(calls_->expression)

SimResult LoadedSimConnect::MenuAddItem(std::string_view text, std::uint32_t menu_event,
                                        std::uint32_t data) {
    TAVORO_CALL(MenuAddItem(connection_, z(text).c_str(), menu_event, data));
}

SimResult LoadedSimConnect::MenuAddSubItem(std::uint32_t menu_event, std::string_view text,
                                           std::uint32_t sub_event, std::uint32_t data) {
    TAVORO_CALL(MenuAddSubItem(connection_, menu_event, z(text).c_str(), sub_event, data));
}

SimResult LoadedSimConnect::MenuDeleteSubItem(std::uint32_t menu_event, std::uint32_t sub_event) {
    TAVORO_CALL(MenuDeleteSubItem(connection_, menu_event, sub_event));
}

SimResult LoadedSimConnect::MenuDeleteItem(std::uint32_t menu_event) {
    TAVORO_CALL(MenuDeleteItem(connection_, menu_event));
}

SimResult LoadedSimConnect::AddToDataDefinition(std::uint32_t define_id,
                                                std::string_view datum_name, std::string_view units,
                                                std::uint32_t datum_type, float epsilon,
                                                std::uint32_t datum_id) {
    TAVORO_CALL(AddToDataDefinition(connection_, define_id, z(datum_name).c_str(), z(units).c_str(),
                                    datum_type, epsilon, datum_id));
}

SimResult LoadedSimConnect::MapClientEventToSimEvent(std::uint32_t event_id,
                                                     std::string_view event_name) {
    TAVORO_CALL(MapClientEventToSimEvent(connection_, event_id, z(event_name).c_str()));
}

SimResult LoadedSimConnect::AddClientEventToNotificationGroup(std::uint32_t group_id,
                                                              std::uint32_t event_id,
                                                              bool maskable) {
    TAVORO_CALL(AddClientEventToNotificationGroup(connection_, group_id, event_id,
                                                  maskable ? TRUE : FALSE));
}

SimResult LoadedSimConnect::SetNotificationGroupPriority(std::uint32_t group_id,
                                                         std::uint32_t priority) {
    TAVORO_CALL(SetNotificationGroupPriority(connection_, group_id, priority));
}

SimResult LoadedSimConnect::SubscribeToSystemEvent(std::uint32_t event_id,
                                                   std::string_view system_event_name) {
    TAVORO_CALL(SubscribeToSystemEvent(connection_, event_id, z(system_event_name).c_str()));
}

SimResult LoadedSimConnect::RequestDataOnSimObjectType(std::uint32_t request_id,
                                                       std::uint32_t define_id,
                                                       std::uint32_t radius_m,
                                                       std::uint32_t object_type) {
    TAVORO_CALL(
        RequestDataOnSimObjectType(connection_, request_id, define_id, radius_m, object_type));
}

void CALLBACK LoadedSimConnect::dispatchTrampoline(void* data, DWORD size, void* context) {
    auto* self = static_cast<LoadedSimConnect*>(context);
    if (!self->dispatching_) {
        return;
    }
    // Once the procedure has thrown, the rest of this dispatch's messages wait for the
    // next one: the exception is raised again in our own frames when the library returns.
    if (self->dispatch_error_) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        self->held_.emplace_back(bytes, bytes + size);
        return;
    }
    try {
        (*self->dispatching_)(static_cast<const std::uint8_t*>(data), size);
    } catch (...) {
        self->dispatch_error_ = std::current_exception();
    }
}

SimResult LoadedSimConnect::CallDispatch(const SimMessageProc& proc) {
    if (!connection_) {
        return kSimFail;
    }
    while (!held_.empty()) {
        const std::vector<std::uint8_t> message = std::move(held_.front());
        held_.pop_front();
        if (proc) {
            proc(message.data(), static_cast<std::uint32_t>(message.size()));
        }
    }
    dispatching_ = &proc;
    dispatch_error_ = nullptr;
    const HRESULT result = calls_->CallDispatch(connection_, &dispatchTrampoline, this);
    dispatching_ = nullptr;
    if (std::exception_ptr error = std::exchange(dispatch_error_, nullptr)) {
        std::rethrow_exception(error);
    }
    return static_cast<SimResult>(result);
}

SimResult LoadedSimConnect::SetDataOnSimObject(std::uint32_t define_id, std::uint32_t object_id,
                                               std::uint32_t flags, std::uint32_t count,
                                               std::uint32_t unit_size, const void* data) {
    TAVORO_CALL(SetDataOnSimObject(connection_, define_id, object_id, flags, count, unit_size,
                                   const_cast<void*>(data)));
}

SimResult LoadedSimConnect::TransmitClientEvent(std::uint32_t object_id, std::uint32_t event_id,
                                                std::uint32_t data, std::uint32_t group_id,
                                                std::uint32_t flags) {
    TAVORO_CALL(TransmitClientEvent(connection_, object_id, event_id, data, group_id, flags));
}

SimResult LoadedSimConnect::AICreateSimulatedObject(std::string_view container_title,
                                                    const SimInitPosition& position,
                                                    std::uint32_t request_id) {
    TAVORO_CALL(
        AICreateSimulatedObject(connection_, z(container_title).c_str(), position, request_id));
}

SimResult LoadedSimConnect::AIRemoveObject(std::uint32_t object_id, std::uint32_t request_id) {
    TAVORO_CALL(AIRemoveObject(connection_, object_id, request_id));
}

SimResult LoadedSimConnect::WeatherRequestObservationAtStation(std::uint32_t request_id,
                                                               std::string_view icao) {
    TAVORO_CALL(WeatherRequestObservationAtStation(connection_, request_id, z(icao).c_str()));
}

SimResult LoadedSimConnect::WeatherRequestObservationAtNearestStation(std::uint32_t request_id,
                                                                      float latitude,
                                                                      float longitude) {
    TAVORO_CALL(
        WeatherRequestObservationAtNearestStation(connection_, request_id, latitude, longitude));
}

SimResult LoadedSimConnect::WeatherRequestInterpolatedObservation(std::uint32_t request_id,
                                                                  float latitude, float longitude,
                                                                  float altitude_m) {
    TAVORO_CALL(WeatherRequestInterpolatedObservation(connection_, request_id, latitude, longitude,
                                                      altitude_m));
}

SimResult LoadedSimConnect::WeatherSetModeCustom() {
    TAVORO_CALL(WeatherSetModeCustom(connection_));
}

SimResult LoadedSimConnect::WeatherSetObservation(std::uint32_t seconds, std::string_view metar) {
    TAVORO_CALL(WeatherSetObservation(connection_, seconds, z(metar).c_str()));
}

#undef TAVORO_CALL

}  // namespace tavoro
