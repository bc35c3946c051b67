#include <gtest/gtest.h>

#include <stdexcept>

#include "atc/ReceiveQueue.h"
#include "core/Numbers.h"

namespace tavoro {
namespace {

// Records what the pipeline hands on, one entry per line, fields joined by '|'.
struct Recorder {
    std::vector<std::string> lines;
    ReceiveQueue::Dispatch dispatch() {
        return [this](const FieldList& fields) {
            std::string joined;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                joined += (i ? "|" : "") + fields[i];
            }
            lines.push_back(joined);
        };
    }
};

std::vector<std::string> processAll(ReceiveQueue& queue, Recorder& recorder) {
    auto dispatch = recorder.dispatch();
    while (!queue.empty()) {
        queue.ProcessOneBlock(dispatch);
    }
    return recorder.lines;
}

struct BlockCase {
    const char* name;
    std::vector<std::string> blocks;
    std::vector<std::string> lines;
};

class ReceiveBlocksTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ReceiveBlocksTest, CutsLines) {
    ReceiveQueue queue;
    for (const std::string& block : GetParam().blocks) {
        queue.Append(block, 1);
    }
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, ReceiveBlocksTest,
    ::testing::Values(
        BlockCase{"two_whole_lines", {"A:1\r\nB:2\r\n"}, {"A|1", "B|2"}},
        BlockCase{"unfinished_line_waits", {"A:1\r\nB:2"}, {"A|1"}},
        BlockCase{"unfinished_line_completed_by_next_block",
                  {"A:1\r\nB:", "2\r\nC\r\n"},
                  {"A|1", "B|2", "C"}},
        BlockCase{"line_feed_in_next_block", {"A:1\r", "\nB:2\r\n"}, {"A|1", "B|2"}},
        BlockCase{"line_spread_over_three_blocks", {"#AA", "LFPG_", "TWR\r\n"}, {"#AALFPG_TWR"}},
        BlockCase{"bare_line_feeds_give_no_line", {"A:1\nB:2\n"}, {}},
        BlockCase{"bare_carriage_returns_lose_first_characters", {"A\rBC\rDE\r"}, {"A", "C", "E"}},
        BlockCase{"empty_line", {"X\r\n\r\n"}, {"X", ""}},
        BlockCase{"fields_of_a_line", {"a:b:\r\n:\r\n"}, {"a|b|", "|"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiveQueueTest, OneBlockPerTick) {
    ReceiveQueue queue;
    queue.Append("A\r\n", 1);
    queue.Append("B\r\n", 1);
    Recorder recorder;
    queue.ProcessOneBlock(recorder.dispatch());
    EXPECT_EQ(recorder.lines, std::vector<std::string>{"A"});
    EXPECT_EQ(queue.size(), 1u);
    queue.ProcessOneBlock(recorder.dispatch());
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(queue.empty());
    queue.ProcessOneBlock(recorder.dispatch());  // an empty queue is no error
    EXPECT_EQ(recorder.lines.size(), 2u);
}

// However TCP cuts the stream into read events, every line arrives whole and once.
TEST(ReceiveQueueTest, StreamCutAtEveryBytePosition) {
    const std::string stream =
        "#TMserver:ABC12:hello\r\n%LFPG_TWR:18.5:4:50:1:49.0097:2.5479:392\r\n\r\nZULU:12:30\r\n";
    const std::vector<std::string> expected = {
        "#TMserver|ABC12|hello", "%LFPG_TWR|18.5|4|50|1|49.0097|2.5479|392", "", "ZULU|12|30"};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        for (std::size_t second_cut = cut; second_cut <= stream.size(); second_cut += 7) {
            ReceiveQueue queue;
            for (auto [from, to] : {std::pair{std::size_t{0}, cut}, std::pair{cut, second_cut},
                                    std::pair{second_cut, stream.size()}}) {
                if (to > from) {
                    queue.Append(stream.substr(from, to - from), 1);
                }
            }
            Recorder recorder;
            EXPECT_EQ(processAll(queue, recorder), expected)
                << "cut at " << cut << " and " << second_cut;
        }
    }
}

TEST(ReceiveQueueTest, UnfinishedLineOfAnOldConnectionIsNotJoinedToANewOne) {
    ReceiveQueue queue;
    queue.Append("A:1\r\nB:", 1);
    queue.Append("#TMserver:X\r\n", 2);
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), (std::vector<std::string>{"A|1", "#TMserver|X"}));

    ReceiveQueue lone_return;
    lone_return.Append("A\r", 1);
    lone_return.Append("B\r\n", 2);  // a new connection: its first character is kept
    Recorder second;
    EXPECT_EQ(processAll(lone_return, second), (std::vector<std::string>{"A", "B"}));
}

TEST(ReceiveQueueTest, OverlongUnfinishedLineIsDropped) {
    ReceiveQueue queue;
    queue.Append("A\r\n" + std::string(ReceiveQueue::kMaxPartialLine + 1, 'x'), 1);
    queue.Append("TAIL\r\n", 1);
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), (std::vector<std::string>{"A", "TAIL"}));
}

TEST(ReceiveQueueTest, ExceptionEndsOnlyItsLine) {
    ReceiveQueue queue;
    queue.Append("ZULU:xx:30\r\nZULU:12:30\r\nBOOM\r\nAFTER\r\n", 1);
    std::vector<std::string> effects;
    queue.ProcessOneBlock([&](const FieldList& fields) {
        effects.push_back("start " + fields[0]);
        if (fields[0] == "ZULU") {
            ParseWholeNumber(Field(fields, 1));
        }
        if (fields[0] == "BOOM") {
            throw 42;  // not even a std::exception
        }
        effects.push_back("end " + fields[0]);
    });
    EXPECT_EQ(effects, (std::vector<std::string>{"start ZULU", "start ZULU", "end ZULU",
                                                 "start BOOM", "start AFTER", "end AFTER"}));
}

TEST(ReceiveQueueTest, TickInsideAHandlerWaitsForTheBlockInHand) {
    ReceiveQueue queue;
    queue.Append("A\r\nB\r\n", 1);
    queue.Append("C\r\n", 1);
    std::vector<std::string> order;
    ReceiveQueue::Dispatch dispatch = [&](const FieldList& fields) {
        order.push_back(fields[0]);
        if (fields[0] == "A") {
            // A modal dialog would let the receive timer tick here.
            queue.ProcessOneBlock(dispatch);
        }
    };
    queue.ProcessOneBlock(dispatch);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B"}));
    queue.ProcessOneBlock(dispatch);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B", "C"}));
}

}  // namespace
}  // namespace tavoro
