#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

using namespace std::chrono_literals;

// A budget no tick in these tests can spend: the framing does not depend on the clock.
constexpr std::chrono::nanoseconds kUnlimited = 1h;

void append(ReceiveQueue& queue, std::string_view data, std::uint64_t connection = 1) {
    ASSERT_TRUE(queue.Append(data, connection));
}

std::vector<std::string> processAll(ReceiveQueue& queue, Recorder& recorder) {
    auto dispatch = recorder.dispatch();
    while (!queue.empty()) {
        queue.Process(kUnlimited, dispatch);
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
        append(queue, block);
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

// A clock that moves only when a handled line says how long it took.
struct LineCosts {
    std::chrono::nanoseconds now{0};
    ReceiveQueue::Clock clock() {
        return [this] { return now; };
    }
};

// What a server sending faster than one line per tick left queued, in many reads: a
// tick handles all of it, wherever the reads ended.
TEST(ReceiveQueueTest, ATickHandlesEveryReadQueued) {
    LineCosts costs;
    ReceiveQueue queue(costs.clock());
    std::vector<std::string> expected;
    for (int i = 0; i < 1300; ++i) {
        append(queue, "#TMserver:" + std::to_string(i) + "\r\n");
        expected.push_back("#TMserver|" + std::to_string(i));
    }
    append(queue, "$ADMIN:FAI");
    append(queue, "LURE:3\r\n");
    expected.push_back("$ADMIN|FAILURE|3");
    Recorder recorder;
    queue.Process(50ms, recorder.dispatch());
    EXPECT_EQ(recorder.lines, expected);
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.queued_bytes(), 0u);
    queue.Process(50ms, recorder.dispatch());  // an empty queue is no error
    EXPECT_EQ(recorder.lines.size(), expected.size());
}

struct BudgetCase {
    std::chrono::milliseconds line_cost;
    std::chrono::milliseconds budget;
    std::size_t lines_per_tick;
};

// A tick stops once its budget is spent, after at least one line; the lines left wait
// for the next ticks and come in their order, a line cut across reads included.
TEST(ReceiveQueueTest, ATickStopsAtItsBudgetAndTheRestFollowsInOrder) {
    const BudgetCase cases[] = {
        {1ms, 10ms, 10},  // the line that reaches the budget is the tick's last
        {3ms, 10ms, 4},   // the line that passes it too
        {50ms, 10ms, 1},  // a line longer than the budget still goes, alone
    };
    for (const BudgetCase& c : cases) {
        SCOPED_TRACE("line cost " + std::to_string(c.line_cost.count()) + " ms");
        LineCosts costs;
        ReceiveQueue queue(costs.clock());
        std::string block;
        std::vector<std::string> expected;
        for (int i = 0; i < 35; ++i) {
            block += "L:" + std::to_string(i) + "\r\n";
            expected.push_back("L|" + std::to_string(i));
        }
        // Two reads, the second beginning inside a line.
        append(queue, block.substr(0, 100));
        append(queue, block.substr(100));

        Recorder recorder;
        auto record = recorder.dispatch();
        std::vector<std::size_t> per_tick;
        for (int tick = 0; tick < 40 && !queue.empty(); ++tick) {
            const std::size_t before = recorder.lines.size();
            queue.Process(c.budget, [&](const FieldList& fields) {
                record(fields);
                costs.now += c.line_cost;
            });
            per_tick.push_back(recorder.lines.size() - before);
        }
        EXPECT_EQ(recorder.lines, expected);
        std::vector<std::size_t> expected_per_tick;
        for (std::size_t left = 35; left > 0; left -= expected_per_tick.back()) {
            expected_per_tick.push_back(std::min(left, c.lines_per_tick));
        }
        EXPECT_EQ(per_tick, expected_per_tick);
    }
}

// A tick handles no more than what has arrived: an unfinished line waits whole.
TEST(ReceiveQueueTest, AnUnfinishedLineWaitsForItsEnd) {
    ReceiveQueue queue;
    append(queue, "A:1\r\nB:");
    Recorder recorder;
    queue.Process(kUnlimited, recorder.dispatch());
    EXPECT_EQ(recorder.lines, std::vector<std::string>{"A|1"});
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.queued_bytes(), 2u);
    append(queue, "2\r\n");
    queue.Process(kUnlimited, recorder.dispatch());
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"A|1", "B|2"}));
    EXPECT_EQ(queue.queued_bytes(), 0u);
}

// Past kMaxQueuedBytes a read is refused whole, and what was queued stays; handled
// lines make room again.
TEST(ReceiveQueueTest, DataPastTheBoundIsRefused) {
    const std::string line = "#TMserver:" + std::string(1000, 'x') + "\r\n";
    std::string reads;
    while (reads.size() + line.size() <= ReceiveQueue::kMaxQueuedBytes) {
        reads += line;
    }
    const std::size_t room = ReceiveQueue::kMaxQueuedBytes - reads.size();
    ReceiveQueue queue;
    append(queue, reads);
    if (room > 0) {
        append(queue, std::string(room, 'y'));
    }
    EXPECT_EQ(queue.queued_bytes(), ReceiveQueue::kMaxQueuedBytes);
    EXPECT_FALSE(queue.Append("\r", 1));
    EXPECT_EQ(queue.queued_bytes(), ReceiveQueue::kMaxQueuedBytes);

    Recorder recorder;
    queue.Process(kUnlimited, recorder.dispatch());
    EXPECT_EQ(recorder.lines.size(), reads.size() / line.size());
    EXPECT_EQ(queue.queued_bytes(), room);
    EXPECT_TRUE(queue.Append("\r\n", 1));
}

// Clearing forgets the queued data and the unfinished line, even from inside a handler:
// nothing queued before it is handed on after it.
TEST(ReceiveQueueTest, ClearingForgetsEverythingQueued) {
    ReceiveQueue queue;
    append(queue, "A\r\nCLEAR\r\nB\r\nC:");
    append(queue, "1\r\nD\r\n");
    std::vector<std::string> order;
    queue.Process(kUnlimited, [&](const FieldList& fields) {
        order.push_back(fields[0]);
        if (fields[0] == "CLEAR") {
            queue.Clear();
        }
    });
    EXPECT_EQ(order, (std::vector<std::string>{"A", "CLEAR"}));
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.queued_bytes(), 0u);

    append(queue, "X:");
    queue.Process(kUnlimited, [](const FieldList&) {});
    queue.Clear();
    append(queue, "1\r\n");
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), std::vector<std::string>{"1"});
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
                    append(queue, stream.substr(from, to - from));
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
    append(queue, "A:1\r\nB:", 1);
    append(queue, "#TMserver:X\r\n", 2);
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), (std::vector<std::string>{"A|1", "#TMserver|X"}));

    ReceiveQueue lone_return;
    append(lone_return, "A\r", 1);
    append(lone_return, "B\r\n", 2);  // a new connection: its first character is kept
    Recorder second;
    EXPECT_EQ(processAll(lone_return, second), (std::vector<std::string>{"A", "B"}));
}

// Its end, when it comes, is no line of its own.
TEST(ReceiveQueueTest, OverlongUnfinishedLineIsDropped) {
    ReceiveQueue queue;
    append(queue, "A\r\n" + std::string(ReceiveQueue::kMaxLineBytes + 1, 'x'));
    append(queue, "TAIL\r\nNEXT\r\n");
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), (std::vector<std::string>{"A", "NEXT"}));
}

// What a test shows of a handed-on line: long ones by their start and length, so that a
// failure prints a readable line rather than megabytes.
std::vector<std::string> shortened(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        out.push_back(line.size() <= 40
                          ? line
                          : line.substr(0, 20) + "... (" + std::to_string(line.size()) + " bytes)");
    }
    return out;
}

// A line longer than kMaxLineBytes is dropped whole however TCP cuts it: neither its
// head nor its tail reaches the dispatcher as a line, and the lines around it arrive.
TEST(ReceiveQueueTest, OverlongLineIsDroppedWholeHoweverItIsCut) {
    constexpr std::size_t kMost = ReceiveQueue::kMaxLineBytes;
    const std::string just_over = "#TMLFPG_TWR:ABC12:" + std::string(kMost - 17, 'x');
    const std::string far_over = "#TMLFPG_TWR:ABC12:" + std::string(2 * kMost, 'z');
    const std::string longest(kMost, 'y');
    const std::string stream =
        "A\r\n" + just_over + "\r\nB\r\n" + far_over + "\r\n" + longest + "\r\nTAIL\r\n";
    const std::vector<std::string> expected = shortened({"A", "B", longest, "TAIL"});
    for (std::size_t read_size :
         {stream.size(), std::size_t{64} << 10, std::size_t{333'333}, std::size_t{4096}}) {
        for (bool tick_between : {false, true}) {
            SCOPED_TRACE("reads of " + std::to_string(read_size) +
                         (tick_between ? ", a tick after each" : ""));
            ReceiveQueue queue;
            Recorder recorder;
            const ReceiveQueue::Dispatch dispatch = recorder.dispatch();
            for (std::size_t at = 0; at < stream.size(); at += read_size) {
                append(queue, std::string_view(stream).substr(at, read_size));
                if (tick_between) {
                    queue.Process(kUnlimited, dispatch);
                }
            }
            EXPECT_EQ(shortened(processAll(queue, recorder)), expected);
            EXPECT_EQ(queue.queued_bytes(), 0u);
        }
    }
}

// A line still too long when its connection ends is forgotten with it: the next
// connection's first line arrives whole.
TEST(ReceiveQueueTest, OverlongLineOfAnOldConnectionSparesTheNextOne) {
    ReceiveQueue queue;
    append(queue, std::string(ReceiveQueue::kMaxLineBytes, 'x'), 1);
    append(queue, "xx", 1);
    append(queue, "A:1\r\n", 2);
    Recorder recorder;
    EXPECT_EQ(processAll(queue, recorder), std::vector<std::string>{"A|1"});
}

TEST(ReceiveQueueTest, ExceptionEndsOnlyItsLine) {
    ReceiveQueue queue;
    append(queue, "ZULU:xx:30\r\nZULU:12:30\r\nBOOM\r\nAFTER\r\n");
    std::vector<std::string> effects;
    queue.Process(kUnlimited, [&](const FieldList& fields) {
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

TEST(ReceiveQueueTest, TickInsideAHandlerWaitsForTheLinesInHand) {
    ReceiveQueue queue;
    append(queue, "A\r\nB\r\n");
    append(queue, "C\r\n");
    std::vector<std::string> order;
    ReceiveQueue::Dispatch dispatch = [&](const FieldList& fields) {
        order.push_back(fields[0]);
        if (fields[0] == "A") {
            // A modal dialog would let the receive timer tick here: it hands on nothing.
            queue.Process(kUnlimited, dispatch);
            order.push_back("after the inner tick");
        }
    };
    queue.Process(kUnlimited, dispatch);
    EXPECT_EQ(order, (std::vector<std::string>{"A", "after the inner tick", "B", "C"}));
}

}  // namespace
}  // namespace tavoro
