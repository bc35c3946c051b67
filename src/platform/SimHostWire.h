#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimConnectLibrary.h"

namespace tavoro {

// The bytes between the client's SimConnect library and the stand-in simulator, on a
// local stream socket. Every frame is a little-endian u32 length of what follows, then:
//   client → host: u32 call number, u32 send id, the call's arguments in order;
//   host → client: u32 kind, then for a reply u32 send id and i32 result, for a message
//                  the message in the library's own layout (SimConnectMessages.h).
// Arguments are u32 words, floats and doubles as their IEEE bits, texts and blobs as a
// u32 length and the bytes. Both sides close the connection on a frame they cannot read.

// The largest frame either side accepts: far above the biggest real one (a waypoint list
// of a few hundred points), small enough that a bad length cannot make us hold much.
inline constexpr std::uint32_t kSimWireMaxFrame = 1024 * 1024;

enum class SimCall : std::uint32_t {
    kOpen = 1,
    kClose = 2,
    kMenuAddItem = 3,
    kMenuAddSubItem = 4,
    kMenuDeleteSubItem = 5,
    kMenuDeleteItem = 6,
    kAddToDataDefinition = 7,
    kMapClientEventToSimEvent = 8,
    kAddClientEventToNotificationGroup = 9,
    kSetNotificationGroupPriority = 10,
    kSubscribeToSystemEvent = 11,
    kRequestDataOnSimObjectType = 12,
    kSetDataOnSimObject = 13,
    kTransmitClientEvent = 14,
    kAICreateSimulatedObject = 15,
    kAIRemoveObject = 16,
    kWeatherRequestObservationAtStation = 17,
    kWeatherRequestObservationAtNearestStation = 18,
    kWeatherRequestInterpolatedObservation = 19,
    kWeatherSetModeCustom = 20,
    kWeatherSetObservation = 21,
};

enum class SimHostKind : std::uint32_t {
    kReply = 1,
    kMessage = 2,
};

// Builds one frame: the length word is filled in by Frame().
class WireWriter {
public:
    WireWriter();

    WireWriter& word(std::uint32_t value);
    WireWriter& real(float value);
    WireWriter& real64(double value);
    WireWriter& text(std::string_view value);
    WireWriter& blob(const void* data, std::size_t size);
    // Bytes with no length before them.
    WireWriter& raw(const void* data, std::size_t size);

    // Bytes after the length word so far.
    std::size_t payload_size() const { return bytes_.size() - 4; }
    // The finished frame, length word first.
    std::vector<std::uint8_t> Frame() const;

private:
    std::vector<std::uint8_t> bytes_;
};

// A created object's initial position as a call argument: field by field, so that the
// bytes are little-endian whatever the host's order.
void AddInitPosition(WireWriter& writer, const SimInitPosition& position);

// The opening of a client → host frame.
inline WireWriter SimCallFrame(SimCall call, std::uint32_t send_id) {
    WireWriter writer;
    writer.word(static_cast<std::uint32_t>(call)).word(send_id);
    return writer;
}

std::vector<std::uint8_t> MakeReplyFrame(std::uint32_t send_id, std::int32_t result);
std::vector<std::uint8_t> MakeMessageFrame(const std::vector<std::uint8_t>& message);

// Reads the fields of one frame's payload. Each read fails, and every later one with it,
// when the payload is too short; nothing is ever read past its end.
class WireReader {
public:
    WireReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool word(std::uint32_t& value);
    bool real(float& value);
    bool real64(double& value);
    bool text(std::string& value);
    bool blob(std::vector<std::uint8_t>& value);
    // The rest of the payload, whatever it holds.
    std::vector<std::uint8_t> rest();

    bool ok() const { return ok_; }
    // Every read succeeded and the payload is used up: a frame with stray bytes after its
    // fields is as malformed as a short one.
    bool finished() const { return ok_ && at_ == size_; }

private:
    bool take(std::size_t count, const std::uint8_t*& out);

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// Cuts a byte stream into frame payloads, whatever the sizes of the pieces it is fed.
class WireFrameDecoder {
public:
    enum class Status { kNeedMore, kFrame, kBroken };

    void Feed(const std::uint8_t* data, std::size_t size);
    // The next complete payload into `payload`. kBroken (for good) on a length above
    // kSimWireMaxFrame or below 4: every frame starts with a word.
    Status Next(std::vector<std::uint8_t>& payload);

    bool broken() const { return broken_; }
    // Bytes fed and not yet handed out.
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    bool broken_ = false;
};

// One host → client frame, checked: a reply of exactly its three words, or a message whose
// own size word matches its length and covers at least the library's header.
struct SimHostFrame {
    SimHostKind kind = SimHostKind::kReply;
    std::uint32_t send_id = 0;
    std::int32_t result = 0;
    std::vector<std::uint8_t> message;
};
std::optional<SimHostFrame> ParseHostFrame(const std::vector<std::uint8_t>& payload);

}  // namespace tavoro
