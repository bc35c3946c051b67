#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "core/Text.h"
#include "flightplan/PlanFile.h"

namespace tavoro {
namespace {

struct CheckRun {
    int exit_code = -1;
    std::vector<QJsonObject> objects;
    QByteArray error_output;
};

CheckRun check(const QStringList& files) {
    QProcess process;
    process.start(TAVORO_PLN_PATH, files);
    CheckRun run;
    if (!process.waitForFinished(60000)) {
        ADD_FAILURE() << "tavoro-pln did not finish";
        return run;
    }
    run.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.error_output = process.readAllStandardError();
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        run.objects.push_back(document.object());
    }
    return run;
}

QString realPlan(const QString& name) {
    return QString(TAVORO_PLN_DATA) + "/" + name;
}

// What the loader gives for `file` in this process, in the program's JSON shape.
QJsonObject loadedHere(const QString& file) {
    FlightPlan plan;
    const PlanLoadResult result = LoadPlanFile(plan, file.toStdString(), {});
    QJsonObject object{{"file", file}, {"loaded", result.loaded()}};
    if (!result.loaded()) {
        object["refused"] = ToDisplay(result.message);
        return object;
    }
    QJsonArray points;
    for (const std::string& point : plan.route_points) {
        points.append(ToDisplay(point));
    }
    object["form"] = result.form == PlanFileForm::Ini ? "ini" : "xml";
    object["title"] = ToDisplay(plan.title);
    object["flight_rules"] = ToDisplay(plan.flight_rules);
    object["departure"] = ToDisplay(plan.departure);
    object["destination"] = ToDisplay(plan.destination);
    object["alternate"] = ToDisplay(plan.alternate);
    object["cruise_level"] = ToDisplay(plan.cruise_level);
    object["route_points"] = points;
    object["route_text"] = ToDisplay(plan.route_text);
    return object;
}

TEST(PlnCheckTest, FolderOfRealPlansGivesOneObjectEachAndFailsForTheRefused) {
    QStringList files;
    for (const QString& name : QDir(TAVORO_PLN_DATA).entryList({"*.pln", "*.PLN"}, QDir::Files)) {
        files << realPlan(name);
    }
    ASSERT_EQ(files.size(), 19);
    files << realPlan("no such plan.pln");
    const CheckRun run = check(files);
    EXPECT_EQ(run.exit_code, 1);
    ASSERT_EQ(run.objects.size(), static_cast<std::size_t>(files.size()));
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(run.objects[i], loadedHere(files[i]));
    }

    // A few read off the files by hand.
    auto objectFor = [&](const QString& name) {
        return run.objects[static_cast<std::size_t>(files.indexOf(realPlan(name)))];
    };
    const QJsonObject binary = objectFor("fs9_BINARY_nav3Sven_afr_first.pln");
    EXPECT_FALSE(binary["loaded"].toBool());
    EXPECT_EQ(binary["refused"].toString(), "plan de vol non conforme");
    const QJsonObject missing = objectFor("no such plan.pln");
    EXPECT_FALSE(missing["loaded"].toBool());
    EXPECT_EQ(missing["refused"].toString(),
              "Plan de vol introuvable : " + realPlan("no such plan.pln"));
    const QJsonObject windows = objectFor("fsx_GCLP-KDTW.PLN");
    EXPECT_EQ(windows["form"].toString(), "xml");
    EXPECT_EQ(windows["title"].toString(), "GCLP to KDTW");
    EXPECT_EQ(windows["cruise_level"].toString(), "550");
    EXPECT_EQ(windows["route_points"].toArray().size(), 19);
    const QJsonObject decimal = objectFor("msfs_simbrief-mfs.pln");
    EXPECT_EQ(decimal["cruise_level"].toString(), "250");
    EXPECT_EQ(decimal["flight_rules"].toString(), "I");
    const QJsonObject ini = objectFor("fs9_the.last.bit.home.fs9.pln");
    EXPECT_EQ(ini["form"].toString(), "ini");
    EXPECT_EQ(ini["departure"].toString(), "AYKV");
    EXPECT_EQ(ini["destination"].toString(), "TNCM");
    EXPECT_EQ(ini["route_text"].toString(),
              "PTKK/PGSN/RJAW/RJAA/UHSS/UHPP/PASY/PASN/PAGA/PATA/CYVQ/CYPY/CYGM/KORD/KSUA/KPBI/"
              "MDST");
}

TEST(PlnCheckTest, EveryFileLoadedExitsWithZero) {
    const CheckRun run =
        check({realPlan("fsx_VFR_Gillespie_to_Van_Nuys.PLN"), realPlan("fs9_EGCCOMDB12L.PLN")});
    EXPECT_EQ(run.exit_code, 0);
    ASSERT_EQ(run.objects.size(), 2u);
    EXPECT_EQ(run.objects[0]["route_text"].toString(), "KMYF");
    EXPECT_EQ(run.objects[0]["flight_rules"].toString(), "V");
    EXPECT_EQ(run.objects[1]["title"].toString(), "EGCC to OMDB");
    EXPECT_EQ(run.objects[1]["alternate"].toString(), "");
}

TEST(PlnCheckTest, TextsComeOutAsUnicode) {
    QTemporaryDir dir;
    const QString path = dir.filePath("orleans.pln");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n<SimBase.Document>\r\n"
        "<Title>Orl\xE9"
        "ans</Title>\r\n</SimBase.Document>\r\n");
    file.close();
    const CheckRun run = check({path});
    EXPECT_EQ(run.exit_code, 0);
    ASSERT_EQ(run.objects.size(), 1u);
    EXPECT_EQ(run.objects[0]["title"].toString(), QString::fromUtf8("Orléans"));
}

TEST(PlnCheckTest, NoFileIsAWrongCommandLine) {
    const CheckRun run = check({});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.objects.empty());
    EXPECT_TRUE(run.error_output.startsWith("usage: tavoro-pln FILE..."));
}

}  // namespace
}  // namespace tavoro
