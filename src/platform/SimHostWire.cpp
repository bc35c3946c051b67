#include "platform/SimHostWire.h"

#include <cstring>

#include "platform/LittleEndian.h"
#include "platform/SimConnectMessages.h"

namespace tavoro {
namespace {

// Compacting only once the consumed part is large keeps Next() cheap on a long stream
// without letting the buffer grow past one frame and one read.
constexpr std::size_t kCompactAbove = 64 * 1024;

}  // namespace

WireWriter::WireWriter() {
    bytes_.resize(4);
}

WireWriter& WireWriter::word(std::uint32_t value) {
    AppendLe32(bytes_, value);
    return *this;
}

WireWriter& WireWriter::real(float value) {
    return word(FloatBits(value));
}

WireWriter& WireWriter::real64(double value) {
    const std::uint64_t bits = DoubleBits(value);
    word(static_cast<std::uint32_t>(bits));
    return word(static_cast<std::uint32_t>(bits >> 32));
}

WireWriter& WireWriter::text(std::string_view value) {
    return blob(value.data(), value.size());
}

WireWriter& WireWriter::blob(const void* data, std::size_t size) {
    return word(static_cast<std::uint32_t>(size)).raw(data, size);
}

WireWriter& WireWriter::raw(const void* data, std::size_t size) {
    if (size > 0) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
    }
    return *this;
}

std::vector<std::uint8_t> WireWriter::Frame() const {
    std::vector<std::uint8_t> frame = bytes_;
    StoreLe32(frame.data(), static_cast<std::uint32_t>(frame.size() - 4));
    return frame;
}

void AddInitPosition(WireWriter& writer, const SimInitPosition& position) {
    writer.real64(position.latitude)
        .real64(position.longitude)
        .real64(position.altitude)
        .real64(position.pitch)
        .real64(position.bank)
        .real64(position.heading)
        .word(position.on_ground)
        .word(position.airspeed);
}

std::vector<std::uint8_t> MakeReplyFrame(std::uint32_t send_id, std::int32_t result) {
    return WireWriter()
        .word(static_cast<std::uint32_t>(SimHostKind::kReply))
        .word(send_id)
        .word(static_cast<std::uint32_t>(result))
        .Frame();
}

std::vector<std::uint8_t> MakeMessageFrame(const std::vector<std::uint8_t>& message) {
    // The message goes bare, not as a blob: its own size word already says how long it is.
    return WireWriter()
        .word(static_cast<std::uint32_t>(SimHostKind::kMessage))
        .raw(message.data(), message.size())
        .Frame();
}

bool WireReader::take(std::size_t count, const std::uint8_t*& out) {
    if (!ok_ || size_ - at_ < count) {
        ok_ = false;
        return false;
    }
    out = data_ + at_;
    at_ += count;
    return true;
}

bool WireReader::word(std::uint32_t& value) {
    const std::uint8_t* at;
    if (!take(4, at)) {
        return false;
    }
    value = LoadLe32(at);
    return true;
}

bool WireReader::real(float& value) {
    std::uint32_t bits;
    if (!word(bits)) {
        return false;
    }
    value = FloatFromBits(bits);
    return true;
}

bool WireReader::real64(double& value) {
    std::uint32_t low;
    std::uint32_t high;
    if (!word(low) || !word(high)) {
        return false;
    }
    value = DoubleFromBits(std::uint64_t{high} << 32 | low);
    return true;
}

bool WireReader::text(std::string& value) {
    std::uint32_t size;
    const std::uint8_t* at;
    if (!word(size) || !take(size, at)) {
        return false;
    }
    value.assign(reinterpret_cast<const char*>(at), size);
    return true;
}

bool WireReader::blob(std::vector<std::uint8_t>& value) {
    std::uint32_t size;
    const std::uint8_t* at;
    if (!word(size) || !take(size, at)) {
        return false;
    }
    value.assign(at, at + size);
    return true;
}

std::vector<std::uint8_t> WireReader::rest() {
    const std::uint8_t* at = data_ + at_;
    const std::size_t count = ok_ ? size_ - at_ : 0;
    at_ = size_;
    return std::vector<std::uint8_t>(at, at + count);
}

void WireFrameDecoder::Feed(const std::uint8_t* data, std::size_t size) {
    if (broken_ || size == 0) {
        return;
    }
    if (start_ > kCompactAbove && start_ * 2 > buffer_.size()) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
}

WireFrameDecoder::Status WireFrameDecoder::Next(std::vector<std::uint8_t>& payload) {
    if (broken_) {
        return Status::kBroken;
    }
    const std::size_t available = buffer_.size() - start_;
    if (available < 4) {
        return Status::kNeedMore;
    }
    const std::uint32_t length = LoadLe32(&buffer_[start_]);
    // Judged on the length word alone, before the rest arrives, so a bad length never
    // makes us wait for (or store) a megabyte of garbage.
    if (length < 4 || length > kSimWireMaxFrame) {
        broken_ = true;
        buffer_.clear();
        start_ = 0;
        return Status::kBroken;
    }
    if (available - 4 < length) {
        return Status::kNeedMore;
    }
    const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(start_ + 4);
    payload.assign(begin, begin + length);
    start_ += 4 + length;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Status::kFrame;
}

std::optional<SimHostFrame> ParseHostFrame(const std::vector<std::uint8_t>& payload) {
    WireReader reader(payload.data(), payload.size());
    std::uint32_t kind;
    if (!reader.word(kind)) {
        return std::nullopt;
    }
    SimHostFrame frame;
    if (kind == static_cast<std::uint32_t>(SimHostKind::kReply)) {
        std::uint32_t result;
        if (!reader.word(frame.send_id) || !reader.word(result) || !reader.finished()) {
            return std::nullopt;
        }
        frame.kind = SimHostKind::kReply;
        frame.result = static_cast<std::int32_t>(result);
        return frame;
    }
    if (kind == static_cast<std::uint32_t>(SimHostKind::kMessage)) {
        frame.kind = SimHostKind::kMessage;
        frame.message = reader.rest();
        const auto size = static_cast<std::uint32_t>(frame.message.size());
        // The message procedure trusts the size word to bound its reads.
        if (size < sim_recv::kHeaderSize ||
            SimRecvWord(frame.message.data(), size, sim_recv::kSize) != size) {
            return std::nullopt;
        }
        return frame;
    }
    return std::nullopt;
}

}  // namespace tavoro
