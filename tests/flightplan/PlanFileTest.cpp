#include <gtest/gtest.h>

#include <QFile>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/Fields.h"
#include "core/IniFile.h"
#include "core/Numbers.h"
#include "flightplan/PlanFile.h"
#include "flightplan/PlanFixtures.h"
#include "support/PermissionBits.h"

namespace tavoro {
namespace {

using test::EarlierPlan;
using test::PlanFolder;
using test::RealPlan;

constexpr char kBom[] = "\xEF\xBB\xBF";
constexpr char kUtf8Declaration[] = R"(<?xml version="1.0" encoding="UTF-8"?>)";
constexpr char kWindowsDeclaration[] = R"(<?xml version="1.0" encoding="Windows-1252"?>)";

std::vector<std::string> pointsOf(const std::string& route) {
    return route.empty() ? std::vector<std::string>{} : SplitText(route, '/');
}

// A load leaves what no plan file holds, and gives the four boxes no file fills their
// loaded values.
void expectLoadedDefaultsAndKeptFields(const FlightPlan& plan) {
    const FlightPlan earlier = EarlierPlan();
    EXPECT_EQ(plan.speed, "000");
    EXPECT_EQ(plan.actual_time, "0000");
    EXPECT_EQ(plan.time_enroute, "00:00");
    EXPECT_EQ(plan.time_fuel, "00:00");
    EXPECT_EQ(plan.departure_date, earlier.departure_date);
    EXPECT_EQ(plan.comments, earlier.comments);
    EXPECT_EQ(plan.plan_path, earlier.plan_path);
    EXPECT_EQ(plan.filed, earlier.filed);
    EXPECT_EQ(plan.active, earlier.active);
}

// ---------------------------------------------------------------------------------------
// The real files

struct RealFileCase {
    const char* file;
    PlanFileForm form;
    const char* title;  // nullptr: the file gives none, the earlier one stays
    const char* rules;
    const char* departure;
    const char* destination;
    const char* alternate;  // nullptr: the file gives none, the earlier one stays
    const char* level;
    const char* route;
};

void PrintTo(const RealFileCase& c, std::ostream* out) {
    *out << c.file;
}

class RealPlanFileTest : public ::testing::TestWithParam<RealFileCase> {};

TEST_P(RealPlanFileTest, LoadsTheFileAsThePilotSawIt) {
    const RealFileCase& c = GetParam();
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, RealPlan(c.file), {});
    ASSERT_EQ(result.status, PlanLoadStatus::Loaded) << result.message;
    EXPECT_EQ(result.form, c.form);
    EXPECT_EQ(result.path, RealPlan(c.file));
    EXPECT_EQ(plan.title, c.title ? c.title : EarlierPlan().title);
    EXPECT_EQ(plan.flight_rules, c.rules);
    EXPECT_EQ(plan.departure, c.departure);
    EXPECT_EQ(plan.destination, c.destination);
    EXPECT_EQ(plan.alternate, c.alternate ? c.alternate : EarlierPlan().alternate);
    EXPECT_EQ(plan.cruise_level, c.level);
    EXPECT_EQ(plan.route_text, c.route);
    EXPECT_EQ(plan.route_points, pointsOf(c.route));
    expectLoadedDefaultsAndKeptFields(plan);
}

// The expected values were read off the files by hand. The INI files that put "title" first
// show no title of their own: the section's first key is never examined.
const RealFileCase kRealFiles[] = {
    {"fs9_EGCCOMDB12L.PLN", PlanFileForm::Ini, "EGCC to OMDB", "I", "EGCC", "OMDB", "", "410",
     "DISAL/NAPEX/DOLAS/ENITO/EVELI/BASNO/NYKER/SONEB/EXOBA/NOMKA/SULED/EKPEK/KOMUR/PEMUR/HLV/"
     "NIDOK/PITOK/PERIT/RILAS/REBLA/ABOKA/ERGAT/LAPKA/RIVOS/KUGOS/SIN/CRM/ODALI/VABEL/KONUK/"
     "NAREN/SRT/KABAN/SEVKU/UMESA/DASUR/UKMUG/PAPUS/DENKI/ILMAP/PEBAD/SIDAD/DESLU/NANPI/ALNIN/"
     "IMDAT/DURSI/EGMID/ORSAR/PEBAT/MUTVI/VEDAG"},
    {"fs9_TBPBEGCC06R.PLN", PlanFileForm::Ini, "TBPB to EGCC", "I", "TBPB", "EGCC", "", "410",
     "BUTUX/TENPA/PITAB/VABEM/KORUL/ANNET/BCN/NOKIN/CD05R"},
    // The older waypoint layout, identifier first: "waypoint.1=PTKK, I, N7* 27.71', ...".
    {"fs9_the.last.bit.home.fs9.pln", PlanFileForm::Ini, nullptr, "I", "AYKV", "TNCM", nullptr,
     "410", "PTKK/PGSN/RJAW/RJAA/UHSS/UHPP/PASY/PASN/PAGA/PATA/CYVQ/CYPY/CYGM/KORD/KSUA/KPBI/MDST"},
    // Departure and destination are the same airport: its first two entries go.
    {"fs9_Sven.pln", PlanFileForm::Ini, nullptr, "I", "TNCM", "TNCM", nullptr, "0",
     "SYCJ/SBMQ/SBSL/SBNT/GVAC/GMMH/GMAD/LPFR/LFBO/LIRL/HLNM/DRZD/FKKR/HSSS/OEJN/OEHW/OOMS/VNKT/"
     "VECC/VGBR/VOPB/WMKP/WIKD/WRRR/YCIN/YBAS/YLEC/YMML/YMHB/NZNV/NZYP/NZKT/YSNF/NWWK/AGGH/AGGM/"
     "AYKV/PTKK/PGSN/RJAW/RJTQ/UHSS/UHPP/PASY/PASN/PABE/PATA/CYVQ/CYOP/CYPA/KORD/KMIA"},
    {"fs9_rtw11-DC-Plan-sa-first.v1.1.pln", PlanFileForm::Ini, nullptr, "I", "TNCM", "TNCM",
     nullptr, "410",
     "SAZS/SCCC/SAVV/SAEZ/SBSP/FHAW/FKKD/DN57/DAAT/LEIB/LFBO/LBSF/LTBA/UBBB/OPRN/VNKT/VGBR/VOPB/"
     "WMKP/WIOD/WADD/YCIN/YCKN/AYGN/AGGM/AYKV/PTKK/PGSN/RJAW/RJTQ/UHSS/UHPP/PASY/PASN/PABE/PATA/"
     "CYVQ/CYOP/CYPA/KORD/KMIA"},
    {"fsx_IFR_Vaasa_to_Arlanda.PLN", PlanFileForm::Xml, "EFVA to ESSA", "I", "EFVA", "ESSA",
     nullptr, "350", "D156N/DEMOT/IPSUL/PRI/TUSKU/NIRPU/RUS/RITSA/RUNGA/XILAN"},
    {"fsx_IFR_Los_Angeles_Intl_to_San_Francisco_Intl.PLN", PlanFileForm::Xml, "KLAX to KSFO", "I",
     "KLAX", "KSFO", nullptr, "250", "AVE/BSR"},
    {"fsx_VFR_Gillespie_to_Van_Nuys.PLN", PlanFileForm::Xml, "KSEE to KVNY", "V", "KSEE", "KVNY",
     nullptr, "45", "KMYF"},
    {"fsx_VFR_Big_Creek_to_Dewey_Moore_Airstrip.PLN", PlanFileForm::Xml, "U60 to I99D", "V", "U60",
     "I99D", nullptr, "135", ""},
    // Saved by the simulator itself without a byte-order mark.
    {"fsx_VFR_Sitka_Rocky_Gutierrez_to_Blue_River.pln", PlanFileForm::Xml, "PASI to CYCP", "V",
     "PASI", "CYCP", nullptr, "108", "IAF/APP1/APP2"},
    {"fsx_Sven.fsx.pln", PlanFileForm::Xml, "TNCM to TNCM", "I", "TNCM", "TNCM", nullptr, "130",
     "SYCJ/SBMQ/SBSL/SBNT/GVAC/GMMH/GMAD/LPFR/LFBO/LIRL/HLNM/DRZD/FKKR/HSSS/OEJN/OEHW/OOMS/VNKT/"
     "VECC/VGBR/VOPB/WMKP/WIKD/WRRR/YCIN/YBAS/YLEC/YMML/YMHB/NZNV/NZYP/NZKT/YSNF/NWWK/AGGH/AGGM/"
     "AYKV/PTKK/PGSN/RJAW/RJTQ/UHSS/UHPP/PASY/PASN/PABE/PATA/CYVQ/CYOP/CYPA/KORD/KMIA"},
    // Declared Windows-1252 by a planning tool, one without any indentation or final newline.
    {"fsx_GCLP-KDTW.PLN", PlanFileForm::Xml, "GCLP to KDTW", "I", "GCLP", "KDTW", nullptr, "550",
     "BRICK/3221N/3426N/3631N/3837N/4043N/4149N/4256N/4262N/TUSKY/BOS/ALB/FABEN/AUDIL/JOSSY/"
     "HANKK/WELTI/BUF/YQO"},
    {"fsx_fsbuilderror.pln", PlanFileForm::Xml, "LLBG to LGAV", "I", "LLBG", "LGAV", nullptr, "380",
     "DEENA/D270R/TIBBI/PURLA/DASNI/EVENO/EXELA/LAKAD/VANES/GILOS/ADESO/ASTIS/PEROK/RIPLI/VARIX/"
     "KEA"},
    // LF line ends, no final newline, an element split over two lines, a point twice.
    {"fsx_test.pln", PlanFileForm::Xml, "KJFK to LFBO", "I", "KJFK", "LFBO", nullptr, "600",
     "CRI/OGY/SHIPP/3967N/4160N/4450N/4640N/4730N/4720N/4610N/4506N/SOMOS/CAA/AGN/AGN/11TBS/"
     "CF14R/FF14R"},
    {"fsx_zycc-uhss.pln", PlanFileForm::Xml, "ZYCC to UHSS", "I", "ZYCC", "UHSS", nullptr, "8", ""},
    {"fsx__2010_RTW_FSX_EGTO-EGMD-10RW-EGMH.PLN", PlanFileForm::Xml, "EGTO to EGMH", "V", "EGTO",
     "EGMH", nullptr, "35", "EGMD/MK/10RW"},
    {"fsx_khwo-fsx_littlenavmap-export.pln", PlanFileForm::Xml, "KEYW to KHWO", "V", "KEYW", "KHWO",
     nullptr, "25", "RW27/RW273/EYW/MTH/JOMIN/VKZ/RW28L3/RW28L"},
    // A later planner writes the altitude as "25000.000".
    {"msfs_simbrief-mfs.pln", PlanFileForm::Xml, "KEYW to KMIA", "I", "KEYW", "KMIA", nullptr,
     "250", "CARNU/SNDBR/ROYGO/DUMPP/FEEFA/HILDI/JJUMP/REELN/WNNER"},
};

INSTANTIATE_TEST_SUITE_P(Files, RealPlanFileTest, ::testing::ValuesIn(kRealFiles),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(PlanFileTest, BinaryFileIsRefusedAndChangesNothing) {
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result =
        LoadPlanFile(plan, RealPlan("fs9_BINARY_nav3Sven_afr_first.pln"), {});
    EXPECT_EQ(result.status, PlanLoadStatus::NotConforming);
    EXPECT_EQ(result.message, "plan de vol non conforme");
    EXPECT_EQ(plan, EarlierPlan());
}

// ---------------------------------------------------------------------------------------
// Which form the first line gives

struct HeaderCase {
    const char* name;
    std::string first_line;
    PlanFileForm form;  // None: refused
};

void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.name;
}

class PlanHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(PlanHeaderTest, FirstLineDecidesTheForm) {
    const HeaderCase& c = GetParam();
    PlanFolder folder;
    const std::string body = c.form == PlanFileForm::Ini
                                 ? "\r\nkey0=first\r\ntitle=From the file\r\n"
                                 : "\r\n<SimBase.Document>\r\n<Title>From the file</Title>\r\n"
                                   "</SimBase.Document>\r\n";
    const std::string path = folder.Write("plan.pln", c.first_line + body);
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, path, {});
    if (c.form == PlanFileForm::None) {
        EXPECT_EQ(result.status, PlanLoadStatus::NotConforming);
        EXPECT_EQ(result.message, "plan de vol non conforme");
        EXPECT_EQ(plan, EarlierPlan());
    } else {
        EXPECT_EQ(result.status, PlanLoadStatus::Loaded) << result.message;
        EXPECT_EQ(result.form, c.form);
        EXPECT_EQ(plan.title, "From the file");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PlanHeaderTest,
    ::testing::Values(
        HeaderCase{"ini_upper", "[FLIGHTPLAN]", PlanFileForm::Ini},
        HeaderCase{"ini_lower", "[flightplan]", PlanFileForm::Ini},
        HeaderCase{"ini_mixed", "[Flightplan]", PlanFileForm::Ini},
        HeaderCase{"ini_trailing_blank", "[flightplan] ", PlanFileForm::None},
        HeaderCase{"ini_other_section", "[flightplans]", PlanFileForm::None},
        HeaderCase{"xml_with_mark", std::string(kBom) + kUtf8Declaration, PlanFileForm::Xml},
        HeaderCase{"xml_without_mark", kUtf8Declaration, PlanFileForm::Xml},
        HeaderCase{"windows_1252", kWindowsDeclaration, PlanFileForm::Xml},
        HeaderCase{"windows_1252_with_mark", std::string(kBom) + kWindowsDeclaration,
                   PlanFileForm::Xml},
        // Any three bytes before the declaration are no byte-order mark.
        HeaderCase{"three_other_bytes", std::string("abc") + kUtf8Declaration, PlanFileForm::None},
        HeaderCase{"leading_blank", std::string(" ") + kUtf8Declaration, PlanFileForm::None},
        HeaderCase{"mark_twice", std::string(kBom) + kBom + kUtf8Declaration, PlanFileForm::None},
        HeaderCase{"other_encoding", R"(<?xml version="1.0" encoding="ISO-8859-1"?>)",
                   PlanFileForm::None},
        HeaderCase{"no_encoding", R"(<?xml version="1.0"?>)", PlanFileForm::None},
        HeaderCase{"empty_first_line", "", PlanFileForm::None}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlanFileTest, EmptyFileIsRefused) {
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    EXPECT_EQ(LoadPlanFile(plan, folder.Write("empty.pln", ""), {}).status,
              PlanLoadStatus::NotConforming);
    EXPECT_EQ(plan, EarlierPlan());
}

// ---------------------------------------------------------------------------------------
// The XML form, line by line

std::string xmlFile(const std::string& lines) {
    return std::string(kBom) + kUtf8Declaration + "\r\n\r\n<SimBase.Document>\r\n" + lines +
           "</SimBase.Document>\r\n";
}

struct XmlCase {
    const char* name;
    std::string lines;
    const char* title;
    const char* rules;
    const char* departure;
    const char* destination;
    std::vector<std::string> route;
};

void PrintTo(const XmlCase& c, std::ostream* out) {
    *out << c.name;
}

class XmlPlanTest : public ::testing::TestWithParam<XmlCase> {};

TEST_P(XmlPlanTest, ReadsWhatBeginsEachLine) {
    const XmlCase& c = GetParam();
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, folder.Write("p.pln", xmlFile(c.lines)), {});
    ASSERT_EQ(result.status, PlanLoadStatus::Loaded) << result.message;
    EXPECT_EQ(plan.title, c.title);
    EXPECT_EQ(plan.flight_rules, c.rules);
    EXPECT_EQ(plan.departure, c.departure);
    EXPECT_EQ(plan.destination, c.destination);
    EXPECT_EQ(plan.route_points, c.route);
    EXPECT_EQ(plan.route_text, JoinRoute(c.route));
    EXPECT_EQ(plan.alternate, "LFPO");
    expectLoadedDefaultsAndKeptFields(plan);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, XmlPlanTest,
    ::testing::Values(
        XmlCase{"airports_never_in_route",
                "<DepartureID>LFMN</DepartureID>\r\n<DestinationID>LFKB</DestinationID>\r\n"
                "<ATCWaypoint id=\"LFMN\">\r\n<ATCWaypoint id=\"ALBER\">\r\n"
                "<ATCWaypoint id=\"LFMN\">\r\n<ATCWaypoint id=\"LFKB\">\r\n"
                "<ATCWaypoint id=\"BSA\">\r\n<ATCWaypoint id=\"LFKB\">\r\n",
                "earlier title",
                "X",
                "LFMN",
                "LFKB",
                {"ALBER", "BSA"}},
        // Compared with the airports as they stand when the point is read.
        XmlCase{"point_before_its_airport_stays",
                "<ATCWaypoint id=\"LFKB\">\r\n<DestinationID>LFKB</DestinationID>\r\n"
                "<ATCWaypoint id=\"LFKB\">\r\n",
                "earlier title",
                "X",
                "AAAA",
                "LFKB",
                {"LFKB"}},
        XmlCase{"indented_with_tabs_and_trailing_blanks",
                "\t\t<Title>Nice to Bastia</Title>  \r\n\t<FPType>IFR</FPType>\t\r\n"
                "        <DepartureID>LFMN</DepartureID>\r\n",
                "Nice to Bastia",
                "I",
                "LFMN",
                "BBBB",
                {}},
        XmlCase{"elements_after_others_on_a_line_are_not_seen",
                "<FlightPlan.FlightPlan><Title>Hidden</Title>\r\n"
                "<Descr>x</Descr><DepartureID>XXXX</DepartureID>\r\n"
                "<DestinationID>LFKB</DestinationID><ATCWaypoint id=\"HID\">\r\n",
                "earlier title",
                "X",
                "AAAA",
                "LFKB",
                {}},
        XmlCase{"value_without_closing_tag_is_empty",
                "<Title>Nice\r\n<DepartureID>LFMN\r\n",
                "",
                "X",
                "",
                "BBBB",
                {}},
        XmlCase{"vfr_rules", "<FPType>VFR</FPType>\r\n", "earlier title", "V", "AAAA", "BBBB", {}},
        XmlCase{"empty_rules", "<FPType></FPType>\r\n", "earlier title", "V", "AAAA", "BBBB", {}},
        XmlCase{"rules_letter_case_counts",
                "<FPType>ifr</FPType>\r\n",
                "earlier title",
                "V",
                "AAAA",
                "BBBB",
                {}},
        XmlCase{"single_quotes_and_odd_ids",
                "<ATCWaypoint id='ABC'>\r\n<ATCWaypoint id=\"\">\r\n<ATCWaypoint id=\"DEF\"\r\n"
                "<ATCWaypoint id=\"GH\">x</ATCWaypoint>\r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                {"ABC", "", "", "GH"}},
        XmlCase{"lines_after_the_closing_line_are_not_read",
                "<Title>Before</Title>\r\n</SimBase.Document>\r\n<Title>After</Title>\r\n",
                "Before",
                "X",
                "AAAA",
                "BBBB",
                {}},
        XmlCase{"lone_carriage_returns_end_lines",
                "<Title>Old Mac</Title>\r<DepartureID>LFMN</DepartureID>\r",
                "Old Mac",
                "X",
                "LFMN",
                "BBBB",
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlPlanFileTest, WindowsTextsAreDecodedAndUtf8TextsKept) {
    PlanFolder folder;
    // "Orléans € Tours" and a point "AMBÉ", one byte a character.
    const std::string windows =
        std::string(kWindowsDeclaration) +
        "\r\n<SimBase.Document>\r\n<Title>Orl\xE9"
        "ans \x80 Tours</Title>\r\n"
        "<DepartureID>LFOJ</DepartureID>\r\n<ATCWaypoint id=\"AMB\xC9\">\r\n"
        "</SimBase.Document>\r\n";
    FlightPlan plan = EarlierPlan();
    ASSERT_TRUE(LoadPlanFile(plan, folder.Write("w.pln", windows), {}).loaded());
    EXPECT_EQ(plan.title,
              "Orl\xC3\xA9"
              "ans \xE2\x82\xAC Tours");
    EXPECT_EQ(plan.route_points, std::vector<std::string>{"AMB\xC3\x89"});
    EXPECT_EQ(plan.route_text, "AMB\xC3\x89");

    const std::string utf8 = xmlFile(
        "<Title>Orl\xC3\xA9"
        "ans</Title>\r\n");
    plan = EarlierPlan();
    ASSERT_TRUE(LoadPlanFile(plan, folder.Write("u.pln", utf8), {}).loaded());
    EXPECT_EQ(plan.title,
              "Orl\xC3\xA9"
              "ans");
}

TEST(XmlPlanFileTest, FileCutBeforeItsClosingLineAppliesWhatWasRead) {
    // A real plan whose copy stopped half way, inside its list of points.
    const std::string whole = test::ReadBytes(RealPlan("fsx_IFR_Vaasa_to_Arlanda.PLN"));
    const std::string cut = whole.substr(0, whole.find("<ATCWaypoint id=\"PRI\">") + 10);
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, folder.Write("cut.pln", cut), {});
    ASSERT_EQ(result.status, PlanLoadStatus::Loaded) << result.message;
    EXPECT_EQ(plan.title, "EFVA to ESSA");
    EXPECT_EQ(plan.flight_rules, "I");
    EXPECT_EQ(plan.cruise_level, "350");
    EXPECT_EQ(plan.route_text, "D156N/DEMOT/IPSUL");
    expectLoadedDefaultsAndKeptFields(plan);
}

TEST(XmlPlanFileTest, AbsentElementsKeepTheirFields) {
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    ASSERT_TRUE(LoadPlanFile(plan, folder.Write("p.pln", xmlFile("<Descr>nothing</Descr>\r\n")), {})
                    .loaded());
    EXPECT_EQ(plan.title, "earlier title");
    EXPECT_EQ(plan.flight_rules, "X");
    EXPECT_EQ(plan.cruise_level, "999");
    EXPECT_EQ(plan.departure, "AAAA");
    // The route is the file's, even an empty one.
    EXPECT_TRUE(plan.route_points.empty());
    EXPECT_EQ(plan.route_text, "");
    expectLoadedDefaultsAndKeptFields(plan);
}

// ---------------------------------------------------------------------------------------
// The cruising level

struct LevelCase {
    const char* feet;
    std::optional<std::string> level;  // nothing: no number
};

TEST(CruiseLevelTest, HundredsOfFeetRoundedHalfToEven) {
    const LevelCase cases[] = {
        {"35000", "350"},
        {"5500", "55"},
        {"2450", "24"},
        {"2550", "26"},
        {"2449", "24"},
        {"2451", "25"},
        {"0", "0"},
        {"9", "0"},
        {"758", "8"},
        {"-2450", "-24"},
        {"-2550", "-26"},
        {" 3500", "35"},
        {"+4500", "45"},
        {"2147483647", "21474836"},
        // A decimal fraction is a number too, rounded the same way.
        {"25000.000", "250"},
        {"2450.0", "24"},
        {"2550.00", "26"},
        {"2450.01", "25"},
        {"3549.999", "35"},
        {"-50.0", "0"},
        {"12.", "0"},
        {".5", "0"},
        // No number: the load stops with the conversion message.
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"35000ft", std::nullopt},
        {"3500 ", std::nullopt},
        {"1e5", std::nullopt},
        {"25000,000", std::nullopt},
        {"nan", std::nullopt},
        {"1.2.3", std::nullopt},
        {"99999999999", std::nullopt},
        {"99999999999.5", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.feet);
        if (c.level) {
            EXPECT_EQ(CruiseLevelFromFeet(c.feet), *c.level);
        } else {
            try {
                CruiseLevelFromFeet(c.feet);
                ADD_FAILURE() << "taken as a number";
            } catch (const ConversionError& error) {
                EXPECT_EQ(error.what(),
                          "'" + std::string(c.feet) + "' n'est pas un nombre entier valide");
            }
        }
    }
}

TEST(CruiseLevelTest, BothFormsReadTheAltitudeAlike) {
    PlanFolder folder;
    for (const char* feet : {"2550", "25000.000"}) {
        SCOPED_TRACE(feet);
        const std::string expected = CruiseLevelFromFeet(feet);
        FlightPlan xml = EarlierPlan();
        ASSERT_TRUE(LoadPlanFile(xml,
                                 folder.Write("x.pln", xmlFile(std::string("<CruisingAlt>") + feet +
                                                               "</CruisingAlt>\r\n")),
                                 {})
                        .loaded());
        EXPECT_EQ(xml.cruise_level, expected);
        FlightPlan ini = EarlierPlan();
        ASSERT_TRUE(LoadPlanFile(ini,
                                 folder.Write("i.pln", std::string("[flightplan]\r\nk=v\r\n"
                                                                   "cruising_altitude=") +
                                                           feet + "\r\n"),
                                 {})
                        .loaded());
        EXPECT_EQ(ini.cruise_level, expected);
    }
}

TEST(CruiseLevelTest, NoNumberStopsTheXmlLoadAfterTheRules) {
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(
        plan,
        folder.Write("p.pln", xmlFile("<Title>Bad level</Title>\r\n<FPType>IFR</FPType>\r\n"
                                      "<CruisingAlt>FL350</CruisingAlt>\r\n"
                                      "<DepartureID>LFMN</DepartureID>\r\n"
                                      "<ATCWaypoint id=\"ALBER\">\r\n")),
        {});
    EXPECT_EQ(result.status, PlanLoadStatus::ConversionFailed);
    EXPECT_EQ(result.message, "'FL350' n'est pas un nombre entier valide");
    // What the lines set and the rules, applied before the altitude, stay; nothing after.
    FlightPlan expected = EarlierPlan();
    expected.title = "Bad level";
    expected.departure = "LFMN";
    expected.route_points = {"ALBER"};
    expected.route_text = "ALBER";
    expected.flight_rules = "I";
    EXPECT_EQ(plan, expected);
}

TEST(CruiseLevelTest, NoNumberStopsTheIniLoadAtItsKey) {
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result =
        LoadPlanFile(plan,
                     folder.Write("p.pln",
                                  "[flightplan]\r\nAppVersion=9\r\ntitle=Bad level\r\ntype=VFR\r\n"
                                  "cruising_altitude=high\r\ndeparture_id=LFMN, N43* 39.88'\r\n"
                                  "waypoint.0=, ALBER, , ALBER, I, N43* 39.88'\r\n"),
                     {});
    EXPECT_EQ(result.status, PlanLoadStatus::ConversionFailed);
    EXPECT_EQ(result.message, "'high' n'est pas un nombre entier valide");
    FlightPlan expected = EarlierPlan();
    expected.title = "Bad level";
    expected.flight_rules = "V";
    expected.route_points.clear();
    expected.route_text.clear();
    EXPECT_EQ(plan, expected);
}

// ---------------------------------------------------------------------------------------
// The INI form, key by key

struct IniCase {
    const char* name;
    std::string keys;  // the section's lines after its header
    const char* title;
    const char* rules;
    const char* departure;
    const char* destination;
    const char* alternate;
    std::vector<std::string> route;
};

void PrintTo(const IniCase& c, std::ostream* out) {
    *out << c.name;
}

class IniPlanTest : public ::testing::TestWithParam<IniCase> {};

TEST_P(IniPlanTest, ReadsTheSectionFromItsSecondKey) {
    const IniCase& c = GetParam();
    PlanFolder folder;
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result =
        LoadPlanFile(plan, folder.Write("p.pln", "[flightplan]\r\n" + c.keys), {});
    ASSERT_EQ(result.status, PlanLoadStatus::Loaded) << result.message;
    EXPECT_EQ(result.form, PlanFileForm::Ini);
    EXPECT_EQ(plan.title, c.title);
    EXPECT_EQ(plan.flight_rules, c.rules);
    EXPECT_EQ(plan.departure, c.departure);
    EXPECT_EQ(plan.destination, c.destination);
    EXPECT_EQ(plan.alternate, c.alternate);
    EXPECT_EQ(plan.route_points, c.route);
    EXPECT_EQ(plan.route_text, JoinRoute(c.route));
    EXPECT_EQ(plan.cruise_level, "999");
    expectLoadedDefaultsAndKeptFields(plan);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniPlanTest,
    ::testing::Values(
        IniCase{"first_key_is_never_examined",
                "title=Not seen\r\ntype=IFR\r\n",
                "earlier title",
                "I",
                "AAAA",
                "BBBB",
                "LFPO",
                {}},
        IniCase{"every_field",
                "AppVersion=9.1\r\ntitle=LFPG to LFBO  \r\ntype=VFR\r\n"
                "departure_id=LFPG, N49* 0.57', E2* 32.87', +000392.00\r\n"
                "destination_id=LFBO, N43* 38.10', E1* 22.07', +000499.00\r\n"
                "alternate_name=LFBD, Bordeaux\r\n",
                "LFPG to LFBO",
                "V",
                "LFPG",
                "LFBO",
                "LFBD, Bordeaux",
                {}},
        IniCase{"key_names_count_letter_case",
                "v=1\r\nTitle=Not seen\r\nTYPE=IFR\r\nDeparture_ID=LFPG\r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                "LFPO",
                {}},
        IniCase{"rules_letter_case_counts",
                "v=1\r\ntype=ifr\r\n",
                "earlier title",
                "V",
                "AAAA",
                "BBBB",
                "LFPO",
                {}},
        IniCase{"empty_alternate",
                "v=1\r\nalternate_name=\r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                "",
                {}},
        // Only the first entry equal to each airport goes.
        IniCase{"first_airport_entries_removed",
                "v=1\r\ndeparture_id=LFPG\r\ndestination_id=LFBO\r\n"
                "waypoint.0=, LFPG, , LFPG, A, N49* 0.57'\r\n"
                "waypoint.1=LF, ABC, , ABC,  I, N48* 0.00'\r\n"
                "waypoint.2=, LFPG, , LFPG, A, N49* 0.57'\r\n"
                "waypoint.3=, LFBO, , LFBO, A, N43* 38.10'\r\n"
                "waypoint.4=, LFBO, , LFBO, A, N43* 38.10'\r\n",
                "earlier title",
                "X",
                "LFPG",
                "LFBO",
                "LFPO",
                {"ABC", "LFPG", "LFBO"}},
        IniCase{"short_waypoint_layout",
                "v=1\r\nwaypoint.0=AYKV, A, S2* 34.73', E150* 48.44', +000012.50, \r\n"
                "waypoint.1=PTKK, I, N7* 27.71', E151* 50.58', +041000.00, \r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                "LFPO",
                {"AYKV", "PTKK"}},
        IniCase{"waypoint_without_comma_is_skipped",
                "v=1\r\nwaypoint.0=LONE\r\nwaypoint.1=, ABC, , ABC, I, N48* 0.00'\r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                "LFPO",
                {"ABC"}},
        IniCase{"other_sections_are_not_read",
                "v=1\r\ntype=IFR\r\n\r\n[FSC]\r\ntitle=Not seen\r\nwaypoint.0=, X, , X\r\n",
                "earlier title",
                "I",
                "AAAA",
                "BBBB",
                "LFPO",
                {}},
        IniCase{"one_key_gives_nothing",
                "title=Not seen\r\n",
                "earlier title",
                "X",
                "AAAA",
                "BBBB",
                "LFPO",
                {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// Finding the file

class PlanFileLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        plan_ = EarlierPlan();
        config_path_ = folder_.Path("corvanta.ini");
        config_ = std::make_unique<IniFile>(config_path_);
        remembered_ = folder_.Path("plans") + "/";
        test::WriteBytes(config_path_, "[FSX_plan]\npath=" + remembered_ + "\n");
        access_.config = config_.get();
        access_.dialog_folder = "/start/here/";
        access_.choose_file = [this](const FileDialogRequest& request) {
            requests_.push_back(request);
            return answer_;
        };
    }

    std::string plan(const char* title) const {
        return xmlFile(std::string("<Title>") + title + "</Title>\r\n");
    }

    PlanFolder folder_;
    std::string config_path_;
    std::unique_ptr<IniFile> config_;
    std::string remembered_;
    PlanFileAccess access_;
    std::vector<FileDialogRequest> requests_;
    std::optional<std::string> answer_;
    FlightPlan plan_;
};

TEST_F(PlanFileLocationTest, FileAtItsPathIsReadWithoutAsking) {
    const std::string path = folder_.Write("here/KLAX.pln", plan("at its path"));
    folder_.Write("plans/KLAX.pln", plan("remembered"));
    EXPECT_TRUE(LoadPlanFile(plan_, path, access_).loaded());
    EXPECT_EQ(plan_.title, "at its path");
    EXPECT_TRUE(requests_.empty());
}

TEST_F(PlanFileLocationTest, MissingFileIsTakenFromTheRememberedFolder) {
    folder_.Write("plans/KLAX.pln", plan("remembered"));
    // The simulator names its plans the Windows way.
    for (const char* name : {"/gone/KLAX.pln", "C:\\Users\\pilot\\Documents\\KLAX.pln"}) {
        SCOPED_TRACE(name);
        const PlanLoadResult result = LoadPlanFile(plan_, name, access_);
        EXPECT_TRUE(result.loaded()) << result.message;
        EXPECT_EQ(result.path, remembered_ + "KLAX.pln");
        EXPECT_EQ(plan_.title, "remembered");
        EXPECT_EQ(plan_.plan_path, "/earlier/path.pln");
    }
    EXPECT_TRUE(requests_.empty());
}

TEST_F(PlanFileLocationTest, RememberedFolderIsReadAfresh) {
    folder_.Write("moved/KLAX.pln", plan("moved"));
    test::WriteBytes(config_path_, "[FSX_plan]\npath=" + folder_.Path("moved") + "/\n");
    EXPECT_TRUE(LoadPlanFile(plan_, "/gone/KLAX.pln", access_).loaded());
    EXPECT_EQ(plan_.title, "moved");
}

TEST_F(PlanFileLocationTest, DialogGivesTheFolderAndTheFirstNameIsKept) {
    folder_.Write("chosen/KLAX.pln", plan("chosen folder"));
    folder_.Write("chosen/other.pln", plan("picked file"));
    answer_ = folder_.Path("chosen/other.pln");
    const PlanLoadResult result = LoadPlanFile(plan_, "C:\\FS\\KLAX.pln", access_);
    ASSERT_TRUE(result.loaded()) << result.message;
    EXPECT_EQ(plan_.title, "chosen folder");
    EXPECT_EQ(result.path, folder_.Path("chosen") + "/KLAX.pln");
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].title, "path to flightplan");
    EXPECT_EQ(requests_[0].folder, "/start/here/");
    EXPECT_EQ(requests_[0].filter, kPlanFileFilter);
    EXPECT_EQ(IniFile(config_path_).ReadString("FSX_plan", "path", ""),
              folder_.Path("chosen") + "/");
}

TEST_F(PlanFileLocationTest, ChosenFolderWithoutTheFileFailsToOpenButIsRemembered) {
    folder_.Write("chosen/other.pln", plan("picked file"));
    answer_ = folder_.Path("chosen/other.pln");
    const PlanLoadResult result = LoadPlanFile(plan_, "/gone/KLAX.pln", access_);
    EXPECT_EQ(result.status, PlanLoadStatus::Unreadable);
    EXPECT_NE(result.message.find(folder_.Path("chosen") + "/KLAX.pln"), std::string::npos)
        << result.message;
    EXPECT_EQ(plan_, EarlierPlan());
    EXPECT_EQ(IniFile(config_path_).ReadString("FSX_plan", "path", ""),
              folder_.Path("chosen") + "/");
}

TEST_F(PlanFileLocationTest, CancelledDialogSaysWhichFileIsMissingAndChangesNothing) {
    const std::string config_before = test::ReadBytes(config_path_);
    const PlanLoadResult result = LoadPlanFile(plan_, "/gone/KLAX.pln", access_);
    EXPECT_EQ(result.status, PlanLoadStatus::Unreadable);
    EXPECT_EQ(result.message, "Plan de vol introuvable : /gone/KLAX.pln");
    EXPECT_EQ(requests_.size(), 1u);
    EXPECT_EQ(plan_, EarlierPlan());
    EXPECT_EQ(test::ReadBytes(config_path_), config_before);
}

TEST_F(PlanFileLocationTest, WithoutConfigurationOrDialogTheMissingFileIsUnreadable) {
    FlightPlan plan = EarlierPlan();
    const PlanLoadResult result = LoadPlanFile(plan, "/gone/KLAX.pln", {});
    EXPECT_EQ(result.status, PlanLoadStatus::Unreadable);
    EXPECT_EQ(result.message, "Plan de vol introuvable : /gone/KLAX.pln");
    EXPECT_EQ(plan, EarlierPlan());
}

TEST_F(PlanFileLocationTest, UnreadableFileChangesNothing) {
    const std::string path = folder_.Write("locked.pln", plan("locked"));
    std::filesystem::permissions(path, std::filesystem::perms::none);
    test::HeldToPermissionBits held;
    ASSERT_TRUE(held.held());
    const PlanLoadResult result = LoadPlanFile(plan_, path, access_);
    EXPECT_EQ(result.status, PlanLoadStatus::Unreadable);
    EXPECT_NE(result.message.find(path), std::string::npos);
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(plan_, EarlierPlan());
}

TEST_F(PlanFileLocationTest, FolderIsNoPlanFile) {
    // A folder is no file: it is looked for elsewhere like a missing one, and found nowhere.
    std::filesystem::create_directories(folder_.Path("plans/KLAX.pln"));
    const PlanLoadResult result = LoadPlanFile(plan_, folder_.Path("plans/KLAX.pln"), access_);
    EXPECT_EQ(result.status, PlanLoadStatus::Unreadable);
    EXPECT_EQ(result.message, "Plan de vol introuvable : " + folder_.Path("plans/KLAX.pln"));
    EXPECT_EQ(requests_.size(), 1u);
    EXPECT_EQ(plan_, EarlierPlan());
}

}  // namespace
}  // namespace tavoro
