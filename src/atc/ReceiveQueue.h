#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "atc/Protocol.h"

namespace tavoro {

// Received data waiting to be cut into lines: each entry is the whole data of one read
// event, oldest first. The receive timer takes one entry per tick.
class ReceiveQueue {
public:
    // Longest unfinished line carried over to the next block; a peer that never ends
    // its line cannot make us hold (and copy) an ever-growing text.
    static constexpr std::size_t kMaxPartialLine = 1 << 20;

    using Dispatch = std::function<void(const FieldList&)>;

    // Data of one read event on the connection numbered `connection`.
    void Append(std::string block, std::uint64_t connection);

    bool empty() const { return blocks_.empty(); }
    std::size_t size() const { return blocks_.size(); }

    // Takes the oldest block apart: each line ends at a carriage return, whose next
    // character (the line feed) is skipped; each line is split at ":" and handed to
    // `dispatch`. An exception from `dispatch` drops the rest of that line only.
    //
    // TCP may cut a line between two read events. The unfinished text after the last
    // carriage return is kept and put before the next block of the same connection, so
    // that line arrives whole instead of being lost in two pieces.
    void ProcessOneBlock(const Dispatch& dispatch);

private:
    struct Block {
        std::string data;
        std::uint64_t connection = 0;
    };

    std::deque<Block> blocks_;
    // A handler that opens a modal dialog lets the timer tick again inside it; the
    // block in hand must finish before the next one starts, or lines change order.
    bool processing_ = false;
    // What the previous block left unfinished, and on which connection.
    std::string partial_line_;
    bool skip_line_feed_ = false;  // the previous block ended right after a carriage return
    std::uint64_t partial_connection_ = 0;
};

}  // namespace tavoro
