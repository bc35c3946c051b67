#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "flightplan/RouteEditing.h"

namespace tavoro {
namespace {

enum class Operation { Delete, Insert, Append, EnterRoute };

struct RouteCase {
    const char* name;
    Operation operation;
    std::vector<std::string> points;
    std::optional<std::size_t> selected;        // as the menu opens
    std::optional<std::size_t> selected_after;  // as the dialog closes
    std::optional<std::string> entered;         // nothing: "annuler"
    const char* caption;                        // nullptr: no dialog
    std::vector<std::string> expected;
    const char* route_text;
    bool message;  // "Sélectionner une ligne"
};

void PrintTo(const RouteCase& c, std::ostream* out) {
    *out << c.name;
}

class RouteEditingTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteEditingTest, EditsTheRouteAndItsText) {
    const RouteCase& c = GetParam();
    FlightPlan plan;
    plan.route_points = c.points;
    RebuildRouteText(plan);
    const std::string text_before = plan.route_text;

    std::vector<EntryRequest> asked;
    bool dialog_closed = false;
    const RouteSelection selection = [&] { return dialog_closed ? c.selected_after : c.selected; };
    const EnterLineFunction enter_line = [&](const EntryRequest& request) {
        asked.push_back(request);
        dialog_closed = true;
        return c.entered;
    };

    RouteEditResult result;
    switch (c.operation) {
        case Operation::Delete:
            result = DeleteRoutePoint(plan, selection);
            break;
        case Operation::Insert:
            result = InsertRoutePoint(plan, selection, enter_line);
            break;
        case Operation::Append:
            result = AppendRoutePoint(plan, enter_line);
            break;
        case Operation::EnterRoute:
            result = EnterRoute(plan, enter_line);
            break;
    }

    EXPECT_EQ(plan.route_points, c.expected);
    EXPECT_EQ(plan.route_text, c.route_text);
    EXPECT_EQ(result.changed, c.expected != c.points || plan.route_text != text_before);
    EXPECT_EQ(result.message,
              c.message ? std::optional<std::string>("Sélectionner une ligne") : std::nullopt);
    if (!c.caption) {
        EXPECT_TRUE(asked.empty());
        return;
    }
    ASSERT_EQ(asked.size(), 1u);
    const EntryRequest& request = asked[0];
    EXPECT_EQ(request.caption, c.caption);
    EXPECT_EQ(request.initial_text, "");
    if (c.operation == Operation::EnterRoute) {
        EXPECT_EQ(request.window_width, 340);
        EXPECT_EQ(request.entry_width, 300);
        EXPECT_EQ(request.prompt, "Entrez les points de la route, séparés par des /");
    } else {
        EXPECT_EQ(request.window_width, 170);
        EXPECT_EQ(request.entry_width, 120);
        EXPECT_EQ(request.prompt, "Entrez un point de la route");
    }
}

const std::vector<std::string> kAbc = {"A", "B", "C"};
constexpr char kInsert[] = "Insérer un point";
constexpr char kAppend[] = "Ajouter un point";
constexpr char kEnter[] = "Entrer la route";

INSTANTIATE_TEST_SUITE_P(
    Menu, RouteEditingTest,
    ::testing::Values(RouteCase{"delete_selected",
                                Operation::Delete,
                                kAbc,
                                1,
                                1,
                                std::nullopt,
                                nullptr,
                                {"A", "C"},
                                "A/C",
                                false},
                      RouteCase{"delete_last_left",
                                Operation::Delete,
                                {"A"},
                                0,
                                0,
                                std::nullopt,
                                nullptr,
                                {},
                                "",
                                false},
                      RouteCase{"delete_without_selection", Operation::Delete, kAbc, std::nullopt,
                                std::nullopt, std::nullopt, nullptr, kAbc, "A/B/C", true},
                      RouteCase{"delete_selection_past_the_end", Operation::Delete, kAbc, 3, 3,
                                std::nullopt, nullptr, kAbc, "A/B/C", true},
                      RouteCase{"insert_before_the_first",
                                Operation::Insert,
                                kAbc,
                                0,
                                0,
                                "abc",
                                kInsert,
                                {"ABC", "A", "B", "C"},
                                "ABC/A/B/C",
                                false},
                      RouteCase{"insert_before_the_last",
                                Operation::Insert,
                                kAbc,
                                2,
                                2,
                                "x1",
                                kInsert,
                                {"A", "B", "X1", "C"},
                                "A/B/X1/C",
                                false},
                      RouteCase{"insert_without_selection_asks_nothing", Operation::Insert, kAbc,
                                std::nullopt, std::nullopt, "x", nullptr, kAbc, "A/B/C", true},
                      RouteCase{"insert_cancelled", Operation::Insert, kAbc, 1, 1, std::nullopt,
                                kInsert, kAbc, "A/B/C", false},
                      // The list was refilled while the dialog was open.
                      RouteCase{"insert_uses_the_selection_as_the_dialog_closes",
                                Operation::Insert,
                                kAbc,
                                0,
                                2,
                                "x",
                                kInsert,
                                {"A", "B", "X", "C"},
                                "A/B/X/C",
                                false},
                      RouteCase{"insert_with_the_selection_lost", Operation::Insert, kAbc, 1,
                                std::nullopt, "x", kInsert, kAbc, "A/B/C", true},
                      RouteCase{"insert_with_the_selection_past_the_end", Operation::Insert, kAbc,
                                1, 3, "x", kInsert, kAbc, "A/B/C", true},
                      // Letters a to z only become capitals; nothing is trimmed or checked.
                      RouteCase{"append_as_typed",
                                Operation::Append,
                                kAbc,
                                std::nullopt,
                                std::nullopt,
                                " lfpg é ",
                                kAppend,
                                {"A", "B", "C", " LFPG é "},
                                "A/B/C/ LFPG é ",
                                false},
                      RouteCase{"append_empty_point",
                                Operation::Append,
                                kAbc,
                                std::nullopt,
                                std::nullopt,
                                "",
                                kAppend,
                                {"A", "B", "C", ""},
                                "A/B/C/",
                                false},
                      RouteCase{"append_to_empty_route",
                                Operation::Append,
                                {},
                                std::nullopt,
                                std::nullopt,
                                "resmi",
                                kAppend,
                                {"RESMI"},
                                "RESMI",
                                false},
                      RouteCase{"append_cancelled", Operation::Append, kAbc, std::nullopt,
                                std::nullopt, std::nullopt, kAppend, kAbc, "A/B/C", false},
                      RouteCase{"enter_route_keeps_blank_and_empty_points",
                                Operation::EnterRoute,
                                kAbc,
                                std::nullopt,
                                std::nullopt,
                                "abc/ /de//fgh",
                                kEnter,
                                {"ABC", " ", "DE", "", "FGH"},
                                "ABC/ /DE//FGH",
                                false},
                      RouteCase{"enter_route_with_empty_first_point",
                                Operation::EnterRoute,
                                kAbc,
                                std::nullopt,
                                std::nullopt,
                                "/abc",
                                kEnter,
                                {"", "ABC"},
                                "ABC",
                                false},
                      RouteCase{"enter_empty_route",
                                Operation::EnterRoute,
                                kAbc,
                                std::nullopt,
                                std::nullopt,
                                "",
                                kEnter,
                                {""},
                                "",
                                false},
                      RouteCase{"enter_route_cancelled", Operation::EnterRoute, kAbc, std::nullopt,
                                std::nullopt, std::nullopt, kEnter, kAbc, "A/B/C", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavoro
