#include "atc/ReceiveQueue.h"

namespace tavoro {

void ReceiveQueue::Append(std::string block, std::uint64_t connection) {
    blocks_.push_back(Block{std::move(block), connection});
}

void ReceiveQueue::ProcessOneBlock(const Dispatch& dispatch) {
    if (blocks_.empty() || processing_) {
        return;
    }
    processing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{processing_};

    Block block = std::move(blocks_.front());
    blocks_.pop_front();

    std::string text;
    if (partial_connection_ == block.connection) {
        if (skip_line_feed_ && !block.data.empty()) {
            block.data.erase(0, 1);
        }
        text = std::move(partial_line_);
    }
    text += block.data;
    partial_line_.clear();
    skip_line_feed_ = false;
    partial_connection_ = block.connection;

    std::size_t start = 0;
    for (std::size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
        FieldList fields = SplitText(std::string_view(text).substr(start, cr - start), ':');
        try {
            dispatch(fields);
        } catch (...) {
            // Whatever the handler raised ends this line only; earlier effects stay.
        }
        // The character after the carriage return is taken to be the line feed.
        start = cr + 2;
    }
    if (start > text.size()) {
        // The block ended on the carriage return: its line feed opens the next block.
        skip_line_feed_ = true;
    } else if (text.size() - start <= kMaxPartialLine) {
        partial_line_ = text.substr(start);
    }
}

}  // namespace tavoro
