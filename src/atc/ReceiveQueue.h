#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "atc/Protocol.h"

namespace tavoro {

// Received data waiting to be cut into lines, oldest first. The receive timer handles
// what is queued, line after line, until the queue is empty or the tick's time is spent.
// Since a line cut across reads is joined again, where one read ended means nothing.
class ReceiveQueue {
public:
    // Longest line handed on. A longer one is dropped whole, however the reads cut it, so
    // a peer that never ends its line cannot make us hold (and copy) an ever-growing text,
    // and no piece of it is ever taken for a line of its own.
    static constexpr std::size_t kMaxLineBytes = 1 << 20;
    // Most a connection may have queued and not yet handled. A network's login answer,
    // an "#AA" and a "%" line of some 100 bytes for each station, takes about 1 MiB for
    // 10,000 stations; a server that gets 32 times that ahead of us is flooding, and
    // holding more would only grow the process.
    static constexpr std::size_t kMaxQueuedBytes = std::size_t{32} << 20;

    using Dispatch = std::function<void(const FieldList&)>;
    // Time elapsed since any fixed moment, never going back: the tick's budget is
    // measured on it.
    using Clock = std::function<std::chrono::nanoseconds()>;
    static Clock SteadyClock();

    explicit ReceiveQueue(Clock clock = SteadyClock());

    // Data of one read event on the connection numbered `connection`. Refused, leaving
    // the queue as it was, when it would make the queue hold more than kMaxQueuedBytes.
    [[nodiscard]] bool Append(std::string_view data, std::uint64_t connection);

    // True when nothing received is left to cut (an unfinished line may still wait).
    bool empty() const { return unread_bytes_ == 0; }
    // What the queue holds: the data not yet cut, and the unfinished line.
    std::size_t queued_bytes() const { return unread_bytes_ + partial_line_.size(); }

    // Forgets everything queued, the unfinished line included. Allowed from inside a
    // handler: the tick then ends after that handler.
    void Clear();

    // Hands the queued lines to `dispatch`, oldest first, until none is left or `budget`
    // has passed since the call began; the rest waits for the next call. At least one
    // line is handled when one is queued. Each line ends at a carriage return, whose
    // next character (the line feed) is skipped, and is split at ":". An exception from
    // `dispatch` drops the rest of that line only.
    //
    // TCP may cut a line between two read events. The unfinished text after the last
    // carriage return is kept and put before the next data of the same connection, so
    // that line arrives whole instead of being lost in two pieces.
    void Process(std::chrono::nanoseconds budget, const Dispatch& dispatch);

private:
    // Reads of one connection are merged up to this size: an entry per read event
    // would cost more than the data when a server sends many small packets.
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    struct Chunk {
        std::string data;
        std::uint64_t connection = 0;
    };

    bool takeLine(FieldList& fields);
    void enterFront();
    void popFront(bool skip_line_feed);

    Clock clock_;
    std::deque<Chunk> chunks_;
    // How far the front chunk has been cut, and whether its start was joined yet to
    // what the previous chunk left.
    std::size_t offset_ = 0;
    bool front_entered_ = false;
    std::size_t unread_bytes_ = 0;
    // A handler that opens a modal dialog lets the timer tick again inside it; the lines
    // in hand must finish before later ones start, or lines change order.
    bool processing_ = false;
    // What the previous chunk left unfinished, and on which connection.
    std::string partial_line_;
    // The unfinished line grew past kMaxLineBytes: the rest of it, up to its carriage
    // return, is skipped as it comes.
    bool dropping_line_ = false;
    bool skip_line_feed_ = false;  // the previous chunk ended right after a carriage return
    std::uint64_t partial_connection_ = 0;
};

}  // namespace tavoro
