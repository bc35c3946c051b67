#include <gtest/gtest.h>

#include <QListWidget>
#include <QSignalSpy>
#include <map>
#include <random>

#include "StationPipeline.h"
#include "atc/AtcListBox.h"
#include "core/Numbers.h"
#include "core/Text.h"

namespace tavoro {
namespace {

using test::PositionLine;
using test::StationPipeline;

std::vector<std::string> itemsOf(const QListWidget& box) {
    std::vector<std::string> items;
    for (int i = 0; i < box.count(); ++i) {
        items.push_back(FromDisplay(box.item(i)->text()));
    }
    return items;
}

// The received-line path with ListBox_ATC bound to the list and the selection.
class AtcListBoxTest : public ::testing::Test {
protected:
    StationPipeline pipe_;
    QListWidget box_;
    AtcListBox binder_{box_, pipe_.list, pipe_.selection};
};

TEST_F(AtcListBoxTest, AWholeBlockOfStationsIsDrawnOnceAtItsFlush) {
    std::vector<std::string> block;
    for (int i = 0; i < 300; ++i) {
        block.push_back("#AASTN" + std::to_string(i));
    }
    for (int i = 0; i < 300; ++i) {
        block.push_back(PositionLine("STN" + std::to_string(i), "18.1", "TWR", "48", "2"));
    }
    QSignalSpy rebuilds(box_.model(), &QAbstractItemModel::modelReset);
    pipe_.Receive(block);
    EXPECT_EQ(box_.count(), 0);

    binder_.Flush();
    EXPECT_EQ(rebuilds.count(), 1);
    EXPECT_EQ(itemsOf(box_), pipe_.Shown());
    ASSERT_EQ(box_.count(), 300);
    // Drawn as the last "#AA" left them: the "%" lines came after that rebuild.
    EXPECT_EQ(itemsOf(box_)[0], "STN0" + std::string(17, ' ') + "0nm (nm)");
}

TEST_F(AtcListBoxTest, TextsAreAppendedBelowWhatTheBoxShows) {
    pipe_.Receive({"#AALFPG_TWR", "#AAEGLL_TWR"});
    binder_.Flush();
    binder_.SelectLine(box_.item(0));
    EXPECT_EQ(pipe_.sent, std::vector<std::string>{"$CQABC12:LFPG_TWR:ATIS\r\n"});
    ASSERT_EQ(box_.count(), 1);
    box_.item(0)->setData(Qt::UserRole, "header drawn once");

    pipe_.Receive({"#TMLFPG_TWR:ABC12:Information Alpha", "#TMLFPG_TWR:ABC12:QNH 1013"});
    binder_.Flush();
    EXPECT_EQ(itemsOf(box_), pipe_.Shown());
    EXPECT_EQ(box_.count(), 3);
    EXPECT_EQ(box_.item(0)->data(Qt::UserRole).toString(), "header drawn once");

    // The menu brings the list back; the texts that follow show below it.
    binder_.ShowStations();
    pipe_.Receive({"#TMLFPG_TWR:ABC12:Information Bravo"});
    binder_.Flush();
    EXPECT_EQ(itemsOf(box_).size(), 3u);
    EXPECT_EQ(itemsOf(box_).back(), "Information Bravo");
}

TEST_F(AtcListBoxTest, AClickOnAListRebuiltSinceItWasDrawnOnlyRedrawsIt) {
    pipe_.Receive({"#AALFPG_TWR", "#AAEGLL_TWR"});
    binder_.Flush();
    QListWidgetItem* stale = box_.item(1);
    pipe_.Receive({"#DALFPG_TWR"});

    binder_.SelectLine(stale);
    EXPECT_TRUE(pipe_.sent.empty());
    EXPECT_EQ(itemsOf(box_), pipe_.Shown());
}

// ---------------------------------------------------------------------------------------
// The same lines through the table and through a plain table that forms every line at
// every rebuild must show the same.

// The table as simply as it can be written: linear searches, and every rebuild forms
// all the lines at once.
class ReferenceTable {
public:
    struct Station {
        std::string callsign, frequency, facility, visual_range;
        double latitude = 0, longitude = 0;
        std::vector<std::string> atis_lines;
    };

    ReferenceTable(std::map<std::string, std::string> facilities, const AircraftState& aircraft)
        : facilities_(std::move(facilities)), aircraft_(aircraft) {}

    void Receive(const std::string& line) {
        FieldList f = SplitText(line, ':');
        const std::string& type = f[0];
        if (StartsWith(type, "#AA")) {
            std::size_t slot = freeSlot();
            stations[slot].callsign = type.substr(3);
            order.push_back(slot);
            Refresh();
        }
        if (StartsWith(type, "%")) {
            if (auto slot = find(type.substr(1))) {
                setValues(*slot, f);
                return;
            }
            std::size_t slot = freeSlot();
            stations[slot].callsign = type.substr(1);
            if (!setValues(slot, f)) {
                return;
            }
            order.push_back(slot);
            Refresh();
        }
        if (StartsWith(type, "#DA")) {
            if (auto slot = find(type.substr(3))) {
                stations[*slot].callsign.clear();
                stations[*slot].latitude = 9999;
                auto entry = std::find(order.begin(), order.end(), *slot);
                if (entry != order.end()) {
                    order.erase(entry);
                }
                Refresh();
            }
        }
        if (StartsWith(type, "#TM") && selected && type.substr(3) == stations[*selected].callsign) {
            const std::string& text = Field(f, 2);
            shown.push_back(text.substr(0, 45));
            if (text.size() > 45) {
                shown.push_back(text.substr(45));
            }
            stations[*selected].atis_lines.push_back(text);
        }
    }

    void Refresh() {
        list_mode = true;
        shown.clear();
        for (std::size_t slot : order) {
            const Station& s = stations[slot];
            std::string callsign = s.callsign, facility = s.facility;
            callsign.resize(std::max<std::size_t>(callsign.size(), 8), ' ');
            facility.resize(std::max<std::size_t>(facility.size(), 10), ' ');
            int nm = DistanceNm(s.latitude, s.longitude, aircraft_.latitude, aircraft_.longitude);
            shown.push_back(callsign + " " + facility + " " + s.frequency + " " +
                            std::to_string(nm) + "nm (" + s.visual_range + "nm)");
        }
    }

    void Click(int row) {
        if (!list_mode || row < 0 || row >= static_cast<int>(order.size())) {
            return;
        }
        selected = order[static_cast<std::size_t>(row)];
        Station& s = stations[*selected];
        s.atis_lines.clear();
        std::string callsign = s.callsign;
        callsign.resize(std::max<std::size_t>(callsign.size(), 9), ' ');
        shown = {callsign + "  " + s.frequency + "    ATIS:"};
        list_mode = false;
    }

    std::vector<Station> stations;
    std::vector<std::size_t> order;
    std::optional<std::size_t> selected;
    bool list_mode = false;
    std::vector<std::string> shown;

private:
    std::optional<std::size_t> find(const std::string& callsign) const {
        for (std::size_t i = stations.size(); i-- > 0;) {
            if (stations[i].callsign == callsign) {
                return i;
            }
        }
        return std::nullopt;
    }

    std::size_t freeSlot() {
        if (auto slot = find("")) {
            return *slot;
        }
        stations.emplace_back();
        return stations.size() - 1;
    }

    bool setValues(std::size_t slot, const FieldList& f) {
        Station& s = stations[slot];
        s.frequency = "1" + Field(f, 1);
        auto facility = facilities_.find(Field(f, 2));
        s.facility = facility == facilities_.end() ? "error" : facility->second;
        s.visual_range = Field(f, 3);
        s.latitude = ParseDecimalNumber(Field(f, 5)).value_or(0);
        s.longitude = ParseDecimalNumber(Field(f, 6)).value_or(0);
        try {
            ParseWholeNumber(Field(f, 7));
        } catch (const ConversionError&) {
            return false;
        }
        return true;
    }

    std::map<std::string, std::string> facilities_;
    const AircraftState& aircraft_;
};

// Random received lines over a few callsigns, so that slots are reused, callsigns repeat,
// removals miss, and the selected station talks while the list is shown and while not.
class LineSource {
public:
    explicit LineSource(unsigned seed) : random_(seed) {}

    std::string Next() {
        static const std::vector<std::string> kCallsigns = {
            "LFPG_TWR", "LFMN_ATIS", "EGLL_APP", "EDDF_N_TWR", "KJFK", "X", "",
        };
        const std::string& callsign = kCallsigns[pick(kCallsigns.size())];
        int kind = static_cast<int>(pick(100));
        if (kind < 25) {
            return "#AA" + callsign;
        }
        if (kind < 60) {
            static const std::vector<std::string> kCodes = {"TWR", "APP", "CTR", "ZZZ"};
            std::string latitude = pick(10) == 0 ? "N48" : FormatFixed(degrees(80), 0, 4);
            std::string altitude = pick(10) == 0 ? "12a" : std::to_string(pick(40000));
            return PositionLine(
                callsign, FormatFixed(18 + degrees(1), 0, 3), kCodes[pick(kCodes.size())], latitude,
                FormatFixed(degrees(179), 0, 4), std::to_string(pick(100)), altitude);
        }
        if (kind < 80) {
            return "#DA" + callsign;
        }
        std::string text;
        for (std::size_t n = pick(101); n > 0; --n) {
            text += static_cast<char>('a' + pick(26));
        }
        return "#TM" + callsign + ":ABC12:" + text;
    }

    std::size_t pick(std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random_);
    }
    double degrees(double limit) {
        return std::uniform_real_distribution<double>(-limit, limit)(random_);
    }

private:
    std::mt19937 random_;
};

class AtcListEquivalenceTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(AtcListEquivalenceTest, ShowsWhatRebuildingAtEveryStepWouldShow) {
    // Plain facility names: the reference pads by bytes.
    StationPipeline pipe("[facility]\nTWR=Tour\nAPP=Approche\nCTR=Controle\n");
    QListWidget box;
    AtcListBox binder(box, pipe.list, pipe.selection);
    ReferenceTable reference({{"TWR", "Tour"}, {"APP", "Approche"}, {"CTR", "Controle"}},
                             pipe.aircraft);
    LineSource source(GetParam());

    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> block;
        for (std::size_t n = source.pick(150); n > 0; --n) {
            block.push_back(source.Next());
        }
        pipe.Receive(block);
        for (const std::string& line : block) {
            reference.Receive(line);
        }
        binder.Flush();
        ASSERT_EQ(itemsOf(box), reference.shown);

        std::vector<std::string> callsigns;
        for (const auto& station : pipe.table.stations()) {
            callsigns.push_back(station.callsign);
        }
        std::vector<std::string> expected_callsigns;
        for (const auto& station : reference.stations) {
            expected_callsigns.push_back(station.callsign);
        }
        ASSERT_EQ(callsigns, expected_callsigns);
        ASSERT_EQ(pipe.table.station_order(), reference.order);
        ASSERT_EQ(pipe.selection.selected_station(), reference.selected);
        if (reference.selected) {
            ASSERT_EQ(pipe.selection.atis_lines(),
                      reference.stations[*reference.selected].atis_lines);
        }

        // Between blocks the pilot flies on and clicks about.
        pipe.aircraft.latitude = source.degrees(80);
        pipe.aircraft.longitude = source.degrees(179);
        std::size_t action = source.pick(3);
        if (action == 0 && box.count() > 0) {
            int row = static_cast<int>(source.pick(static_cast<std::size_t>(box.count())));
            binder.SelectLine(box.item(row));
            reference.Click(row);
        } else if (action == 1) {
            binder.ShowStations();
            reference.Refresh();
        }
        ASSERT_EQ(itemsOf(box), reference.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, AtcListEquivalenceTest, ::testing::Values(1u, 2u, 3u, 4u));

}  // namespace
}  // namespace tavoro
