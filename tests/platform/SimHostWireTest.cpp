#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/SimConnectLibrary.h"
#include "platform/SimConnectMessages.h"
#include "platform/SimHostWire.h"

namespace tavoro {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = WireFrameDecoder::Status;

Bytes lengthWord(std::uint32_t length) {
    return {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
}

// Every payload the decoder hands out until it needs more; the status it stopped on.
Status drain(WireFrameDecoder& decoder, std::vector<Bytes>& out) {
    Bytes payload;
    Status status;
    while ((status = decoder.Next(payload)) == Status::kFrame) {
        out.push_back(payload);
    }
    return status;
}

// Frames of every shape the two sides exchange, one after the other.
struct Stream {
    std::vector<Bytes> frames;
    Bytes bytes;

    void add(const Bytes& frame) {
        frames.push_back(Bytes(frame.begin() + 4, frame.end()));
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
};

Stream mixedStream() {
    Stream stream;
    stream.add(SimCallFrame(SimCall::kOpen, 1).text("MYAPP").Frame());
    stream.add(MakeReplyFrame(1, kSimOk));
    stream.add(MakeMessageFrame(MakeSimWeatherObservation(1, "LFPG 121200Z 24010KT")));
    stream.add(SimCallFrame(SimCall::kWeatherSetModeCustom, 2).Frame());
    stream.add(MakeMessageFrame(MakeSimException(15, 2, 2)));
    stream.add(MakeReplyFrame(2, kSimFail));
    return stream;
}

TEST(SimHostWire, ReplyFrameIsLittleEndianOnTheWire) {
    const Bytes expected = {12, 0, 0, 0, 1, 0, 0, 0, 0x07, 0x01, 0, 0, 0x05, 0x40, 0x00, 0x80};
    EXPECT_EQ(MakeReplyFrame(0x107, kSimFail), expected);
}

TEST(SimHostWire, CallFrameCarriesEveryKindOfArgument) {
    const std::uint8_t block[] = {9, 8, 7};
    const Bytes frame = SimCallFrame(SimCall::kAddToDataDefinition, 0xA1B2C3D4)
                            .word(42)
                            .text("GENERAL ENG FAILED:1")
                            .real(1.5f)
                            .real64(-48.75)
                            .blob(block, sizeof block)
                            .text("")
                            .Frame();
    WireFrameDecoder decoder;
    decoder.Feed(frame.data(), frame.size());
    Bytes payload;
    ASSERT_EQ(decoder.Next(payload), Status::kFrame);

    WireReader reader(payload.data(), payload.size());
    std::uint32_t call, send_id, word;
    std::string name, empty;
    float single;
    double wide;
    Bytes blob;
    ASSERT_TRUE(reader.word(call) && reader.word(send_id) && reader.word(word) &&
                reader.text(name) && reader.real(single) && reader.real64(wide) &&
                reader.blob(blob) && reader.text(empty));
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(call, static_cast<std::uint32_t>(SimCall::kAddToDataDefinition));
    EXPECT_EQ(send_id, 0xA1B2C3D4u);
    EXPECT_EQ(word, 42u);
    EXPECT_EQ(name, "GENERAL ENG FAILED:1");
    EXPECT_EQ(single, 1.5f);
    EXPECT_EQ(wide, -48.75);
    EXPECT_EQ(blob, Bytes(block, block + 3));
    EXPECT_EQ(empty, "");
    // The double's low word comes first.
    const Bytes expected_double = {0, 0, 0, 0, 0, 0x60, 0x48, 0xC0};
    EXPECT_EQ(Bytes(payload.begin() + 40, payload.begin() + 48), expected_double);
}

TEST(SimHostWire, DecoderFindsTheSameFramesWhereverTheStreamIsCut) {
    const Stream stream = mixedStream();
    for (std::size_t cut = 0; cut <= stream.bytes.size(); ++cut) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        WireFrameDecoder decoder;
        std::vector<Bytes> frames;
        decoder.Feed(stream.bytes.data(), cut);
        ASSERT_EQ(drain(decoder, frames), Status::kNeedMore);
        decoder.Feed(stream.bytes.data() + cut, stream.bytes.size() - cut);
        ASSERT_EQ(drain(decoder, frames), Status::kNeedMore);
        EXPECT_EQ(frames, stream.frames);
        EXPECT_EQ(decoder.buffered(), 0u);
    }
}

TEST(SimHostWire, DecoderTakesTheStreamOneByteAtATime) {
    const Stream stream = mixedStream();
    WireFrameDecoder decoder;
    std::vector<Bytes> frames;
    for (std::uint8_t byte : stream.bytes) {
        decoder.Feed(&byte, 1);
        ASSERT_EQ(drain(decoder, frames), Status::kNeedMore);
    }
    EXPECT_EQ(frames, stream.frames);
}

TEST(SimHostWire, DecoderRefusesBadLengthsAtOnceAndForGood) {
    struct Case {
        const char* name;
        std::uint32_t length;
        Status after_length;
    };
    const Case cases[] = {
        {"empty frame", 0, Status::kBroken},
        {"shorter than a word", 3, Status::kBroken},
        {"one word", 4, Status::kNeedMore},
        {"the largest", kSimWireMaxFrame, Status::kNeedMore},
        {"one byte over the largest", kSimWireMaxFrame + 1, Status::kBroken},
        {"all ones", 0xFFFFFFFFu, Status::kBroken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireFrameDecoder decoder;
        const Bytes length = lengthWord(c.length);
        decoder.Feed(length.data(), length.size());
        Bytes payload;
        // Judged on the length word alone: the body never has to arrive.
        ASSERT_EQ(decoder.Next(payload), c.after_length);
        if (c.after_length == Status::kBroken) {
            const Bytes good = MakeReplyFrame(1, kSimOk);
            decoder.Feed(good.data(), good.size());
            EXPECT_EQ(decoder.Next(payload), Status::kBroken);
            EXPECT_TRUE(decoder.broken());
        }
    }
}

TEST(SimHostWire, ReaderFailsOnEveryShortenedPayloadAndOnStrayBytes) {
    const Bytes frame =
        SimCallFrame(SimCall::kWeatherSetObservation, 5).word(0).text("LFPG 1200Z").Frame();
    const Bytes payload(frame.begin() + 4, frame.end());
    auto readAll = [](const std::uint8_t* data, std::size_t size) {
        WireReader reader(data, size);
        std::uint32_t call, send_id, seconds;
        std::string text;
        const bool read =
            reader.word(call) && reader.word(send_id) && reader.word(seconds) && reader.text(text);
        return std::pair{read, reader.finished()};
    };
    EXPECT_EQ(readAll(payload.data(), payload.size()), std::pair(true, true));
    for (std::size_t size = 0; size < payload.size(); ++size) {
        SCOPED_TRACE("payload cut to " + std::to_string(size) + " bytes");
        // Read from a copy of exactly that size, so a read past it would be a read out of
        // bounds, not of the rest of the frame.
        const Bytes cut(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(readAll(cut.data(), cut.size()), std::pair(false, false));
    }
    Bytes longer = payload;
    longer.push_back(0);
    EXPECT_EQ(readAll(longer.data(), longer.size()), std::pair(true, false));
}

TEST(SimHostWire, ReaderRefusesATextLengthBeyondThePayload) {
    // A length near 2^32 must not wrap round when added to the position.
    const Bytes payload = {0xFC, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd'};
    WireReader reader(payload.data(), payload.size());
    std::string text;
    EXPECT_FALSE(reader.text(text));
    std::uint32_t word;
    EXPECT_FALSE(reader.word(word));
    EXPECT_FALSE(reader.ok());
}

TEST(SimHostWire, HostFramesAreCheckedBeforeUse) {
    const Bytes message = MakeSimEvent(kSimUnused, 1, 12345);
    auto payloadOf = [](const Bytes& frame) { return Bytes(frame.begin() + 4, frame.end()); };
    Bytes short_message = message;
    short_message.resize(8);
    Bytes wrong_size = message;
    wrong_size[0] = 30;
    Bytes reply_with_extra = payloadOf(MakeReplyFrame(3, kSimOk));
    reply_with_extra.push_back(0);
    Bytes short_reply = payloadOf(MakeReplyFrame(3, kSimOk));
    short_reply.pop_back();
    Bytes unknown_kind = payloadOf(MakeReplyFrame(3, kSimOk));
    unknown_kind[0] = 3;

    struct Case {
        const char* name;
        Bytes payload;
        bool accepted;
    };
    const Case cases[] = {
        {"reply", payloadOf(MakeReplyFrame(3, kSimFail)), true},
        {"message", payloadOf(MakeMessageFrame(message)), true},
        {"reply with a stray byte", reply_with_extra, false},
        {"reply cut short", short_reply, false},
        {"message shorter than its header", payloadOf(MakeMessageFrame(short_message)), false},
        {"message whose size word disagrees", payloadOf(MakeMessageFrame(wrong_size)), false},
        {"unknown kind", unknown_kind, false},
        {"nothing", Bytes{}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<SimHostFrame> frame = ParseHostFrame(c.payload);
        ASSERT_EQ(frame.has_value(), c.accepted);
    }

    const std::optional<SimHostFrame> reply =
        ParseHostFrame(payloadOf(MakeReplyFrame(3, kSimFail)));
    EXPECT_EQ(reply->kind, SimHostKind::kReply);
    EXPECT_EQ(reply->send_id, 3u);
    EXPECT_EQ(reply->result, kSimFail);
    const std::optional<SimHostFrame> event = ParseHostFrame(payloadOf(MakeMessageFrame(message)));
    EXPECT_EQ(event->kind, SimHostKind::kMessage);
    EXPECT_EQ(event->message, message);
}

}  // namespace
}  // namespace tavoro
