#include "atc/ReceiveQueue.h"

namespace tavoro {

ReceiveQueue::Clock ReceiveQueue::SteadyClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

ReceiveQueue::ReceiveQueue(Clock clock) : clock_(std::move(clock)) {}

bool ReceiveQueue::Append(std::string_view data, std::uint64_t connection) {
    if (data.size() > kMaxQueuedBytes - queued_bytes()) {
        return false;
    }
    if (data.empty()) {
        return true;
    }
    if (!chunks_.empty() && chunks_.back().connection == connection &&
        chunks_.back().data.size() + data.size() <= kChunkBytes) {
        chunks_.back().data += data;
    } else {
        chunks_.push_back(Chunk{std::string(data), connection});
    }
    unread_bytes_ += data.size();
    return true;
}

void ReceiveQueue::Clear() {
    chunks_.clear();
    offset_ = 0;
    front_entered_ = false;
    unread_bytes_ = 0;
    partial_line_.clear();
    dropping_line_ = false;
    skip_line_feed_ = false;
}

void ReceiveQueue::Process(std::chrono::nanoseconds budget, const Dispatch& dispatch) {
    if (processing_) {
        return;
    }
    processing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{processing_};

    const std::chrono::nanoseconds start = clock_();
    FieldList fields;
    // The line is taken off the queue before it is handed on, so a handler that
    // clears or fills the queue finds it in order.
    while (takeLine(fields)) {
        try {
            dispatch(fields);
        } catch (...) {
            // Whatever the handler raised ends this line only; earlier effects stay.
        }
        if (clock_() - start >= budget) {
            return;
        }
    }
}

bool ReceiveQueue::takeLine(FieldList& fields) {
    while (!chunks_.empty()) {
        if (!front_entered_) {
            enterFront();
        }
        const std::string& data = chunks_.front().data;
        const std::size_t cr = data.find('\r', offset_);
        if (cr == std::string::npos) {
            // The rest of the chunk begins a line that later data ends.
            const std::string_view rest = std::string_view(data).substr(offset_);
            if (!dropping_line_ && partial_line_.size() + rest.size() <= kMaxLineBytes) {
                partial_line_ += rest;
            } else {
                partial_line_.clear();
                dropping_line_ = true;
            }
            popFront(false);
            continue;
        }
        const std::string_view piece = std::string_view(data).substr(offset_, cr - offset_);
        const bool overlong = dropping_line_ || partial_line_.size() + piece.size() > kMaxLineBytes;
        if (overlong) {
            partial_line_.clear();
            dropping_line_ = false;
        } else if (partial_line_.empty()) {
            SplitTextInto(piece, ':', fields);
        } else {
            partial_line_ += piece;
            SplitTextInto(partial_line_, ':', fields);
            partial_line_.clear();
        }
        // The character after the carriage return is taken to be the line feed.
        const std::size_t next = cr + 2;
        if (next >= data.size()) {
            // Ending on the carriage return leaves its line feed to open the next chunk.
            popFront(next > data.size());
        } else {
            unread_bytes_ -= next - offset_;
            offset_ = next;
        }
        if (!overlong) {
            return true;
        }
    }
    return false;
}

void ReceiveQueue::enterFront() {
    const Chunk& chunk = chunks_.front();
    if (chunk.connection != partial_connection_) {
        // Never joined to what another connection left.
        partial_line_.clear();
        dropping_line_ = false;
        skip_line_feed_ = false;
        partial_connection_ = chunk.connection;
    }
    if (skip_line_feed_) {
        skip_line_feed_ = false;
        offset_ = 1;
        unread_bytes_ -= 1;
    }
    front_entered_ = true;
}

void ReceiveQueue::popFront(bool skip_line_feed) {
    unread_bytes_ -= chunks_.front().data.size() - offset_;
    chunks_.pop_front();
    offset_ = 0;
    front_entered_ = false;
    skip_line_feed_ = skip_line_feed;
}

}  // namespace tavoro
