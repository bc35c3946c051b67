#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/LittleEndian.h"

namespace tavoro {

// The messages the library delivers, in its own binary layouts: a header of three
// little-endian 32-bit words (size of the whole message, version, id), then the fields
// of the kind. Readers copy fields out by offset and check the size first, so a short
// message is never read past its end.
enum SimRecvId : std::uint32_t {
    kSimRecvException = 1,
    kSimRecvOpen = 2,
    kSimRecvQuit = 3,
    kSimRecvEvent = 4,
    kSimRecvEventObjectAddRemove = 5,
    kSimRecvSimObjectDataByType = 9,
    kSimRecvWeatherObservation = 10,
    kSimRecvAssignedObjectId = 12,
};

// Exception codes, as the library numbers them: those the client looks at (the weather
// calls provoke 14 and 15) and those the stand-in simulator reports.
enum SimExceptionCode : std::uint32_t {
    kSimExceptionError = 1,
    kSimExceptionSizeMismatch = 2,
    kSimExceptionUnrecognizedId = 3,
    kSimExceptionNameUnrecognized = 7,
    kSimExceptionEventIdDuplicate = 9,
    kSimExceptionTooManyObjects = 11,
    kSimExceptionInvalidMetar = 14,
    kSimExceptionNoObservation = 15,
    kSimExceptionInvalidDataType = 18,
    kSimExceptionDataError = 20,
    kSimExceptionCreateObjectFailed = 22,
};

// The version word the stand-in puts in each header; the client never looks at it.
constexpr std::uint32_t kSimRecvVersion = 4;

// Byte offsets of the fields, by kind.
namespace sim_recv {
constexpr std::uint32_t kSize = 0;
constexpr std::uint32_t kVersion = 4;
constexpr std::uint32_t kId = 8;
constexpr std::uint32_t kHeaderSize = 12;

// Exception: code, send id (the packet that caused it), index of the faulty argument.
constexpr std::uint32_t kExceptionCode = 12;
constexpr std::uint32_t kExceptionSendId = 16;
constexpr std::uint32_t kExceptionIndex = 20;
constexpr std::uint32_t kExceptionSize = 24;

// Event: group, event id, data. Object add/remove adds the object type.
constexpr std::uint32_t kEventGroup = 12;
constexpr std::uint32_t kEventId = 16;
constexpr std::uint32_t kEventData = 20;
constexpr std::uint32_t kEventSize = 24;
constexpr std::uint32_t kEventObjectType = 24;
constexpr std::uint32_t kEventObjectAddRemoveSize = 28;

// Object data: request, object, definition, flags, entry number, out of, count of
// datums, then the data block.
constexpr std::uint32_t kDataRequestId = 12;
constexpr std::uint32_t kDataObjectId = 16;
constexpr std::uint32_t kDataDefineId = 20;
constexpr std::uint32_t kDataFlags = 24;
constexpr std::uint32_t kDataEntryNumber = 28;
constexpr std::uint32_t kDataOutOf = 32;
constexpr std::uint32_t kDataDefineCount = 36;
constexpr std::uint32_t kDataBlock = 40;

// Weather observation: request, then the zero-terminated observation text.
constexpr std::uint32_t kWeatherRequestId = 12;
constexpr std::uint32_t kWeatherText = 16;

// Assigned object id: request, object.
constexpr std::uint32_t kAssignedRequestId = 12;
constexpr std::uint32_t kAssignedObjectId = 16;
constexpr std::uint32_t kAssignedSize = 20;
}  // namespace sim_recv

// Reads a little-endian word of a message; 0 when the message is too short to hold it.
inline std::uint32_t SimRecvWord(const std::uint8_t* message, std::uint32_t size,
                                 std::uint32_t offset) {
    if (offset > size || size - offset < 4) {
        return 0;
    }
    return LoadLe32(message + offset);
}

inline float SimRecvFloat(const std::uint8_t* message, std::uint32_t size, std::uint32_t offset) {
    return FloatFromBits(SimRecvWord(message, size, offset));
}

// Builds messages, for the stand-in simulator and for tests.
class SimRecvBuilder {
public:
    explicit SimRecvBuilder(std::uint32_t id) {
        word(0);
        word(kSimRecvVersion);
        word(id);
    }
    SimRecvBuilder& word(std::uint32_t value) {
        AppendLe32(bytes_, value);
        return *this;
    }
    SimRecvBuilder& real(float value) { return word(FloatBits(value)); }
    // The text and its terminating zero.
    SimRecvBuilder& text(std::string_view value) {
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        bytes_.push_back(0);
        return *this;
    }
    // The finished message, its size word filled in.
    std::vector<std::uint8_t> bytes() const {
        std::vector<std::uint8_t> out = bytes_;
        StoreLe32(out.data(), static_cast<std::uint32_t>(out.size()));
        return out;
    }

private:
    std::vector<std::uint8_t> bytes_;
};

inline std::vector<std::uint8_t> MakeSimException(std::uint32_t code, std::uint32_t send_id,
                                                  std::uint32_t index) {
    return SimRecvBuilder(kSimRecvException).word(code).word(send_id).word(index).bytes();
}

inline std::vector<std::uint8_t> MakeSimEvent(std::uint32_t group, std::uint32_t event_id,
                                              std::uint32_t data) {
    return SimRecvBuilder(kSimRecvEvent).word(group).word(event_id).word(data).bytes();
}

inline std::vector<std::uint8_t> MakeSimObjectAddRemove(std::uint32_t group, std::uint32_t event_id,
                                                        std::uint32_t object_id,
                                                        std::uint32_t object_type) {
    return SimRecvBuilder(kSimRecvEventObjectAddRemove)
        .word(group)
        .word(event_id)
        .word(object_id)
        .word(object_type)
        .bytes();
}

// Object data of one object for one definition whose datums are 32-bit floats.
inline std::vector<std::uint8_t> MakeSimObjectFloats(std::uint32_t request_id,
                                                     std::uint32_t object_id,
                                                     std::uint32_t define_id,
                                                     const std::vector<float>& values) {
    SimRecvBuilder builder(kSimRecvSimObjectDataByType);
    builder.word(request_id)
        .word(object_id)
        .word(define_id)
        .word(0)
        .word(1)
        .word(1)
        .word(static_cast<std::uint32_t>(values.size()));
    for (float value : values) {
        builder.real(value);
    }
    return builder.bytes();
}

inline std::vector<std::uint8_t> MakeSimWeatherObservation(std::uint32_t request_id,
                                                           std::string_view metar) {
    return SimRecvBuilder(kSimRecvWeatherObservation).word(request_id).text(metar).bytes();
}

inline std::vector<std::uint8_t> MakeSimAssignedObjectId(std::uint32_t request_id,
                                                         std::uint32_t object_id) {
    return SimRecvBuilder(kSimRecvAssignedObjectId).word(request_id).word(object_id).bytes();
}

}  // namespace tavoro
