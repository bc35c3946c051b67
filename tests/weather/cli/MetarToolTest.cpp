// tavoro-metar as a user runs it: observation files or standard input, a configuration
// file's code tables, one JSON line per observation.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

namespace {

const QString kTool = TAVORO_METAR_TOOL;
const QString kCodes = QString(TAVORO_METAR_DATA) + "/codes.ini";

constexpr char kObservations[] =
    "KSEA&A131 000000Z 00000KT&D985NG 100KM&B-581&D3048 2CU053&CU000FNMN-19N 15/05 Q1013 "
    "@@@ 65 15 270 20 | 196 15 270 25 |\n"
    // Written on Windows: the CR is no part of the observation.
    "CWEZ&A24 000000Z 04612G15KT&D985NG 036V056 06315G18KT&A1416LG 058V068 32KM&B-33&D2000 "
    "7ST046&ST001FNHS000L -2/-4 Q1001 @@@ 47 -9 63 15 |\r\n"
    "KABC 130000Z NIL\n";

struct ToolRun {
    int exit_code = -1;
    QByteArray output;
    QByteArray errors;
};

ToolRun RunTool(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(kTool, arguments);
    EXPECT_TRUE(process.waitForStarted(30000)) << process.errorString().toStdString();
    process.write(input);
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

// Every output line, which must each be one JSON object.
std::vector<QJsonObject> Objects(const QByteArray& output) {
    std::vector<QJsonObject> objects;
    QList<QByteArray> lines = output.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the output ends with a line break";
    lines.removeLast();
    for (const QByteArray& line : lines) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        objects.push_back(document.object());
    }
    return objects;
}

class MetarToolTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& content) {
        const QString path = QDir(dir_.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // The three observations, each checked in the record printed after it.
    static void ExpectDecoded(const std::vector<QJsonObject>& objects) {
        ASSERT_EQ(objects.size(), 3u);
        const QJsonObject& sea = objects[0];
        EXPECT_EQ(sea["station"], "KSEA");
        EXPECT_EQ(sea["elevation"], 131);
        EXPECT_EQ(sea["surface_wind"].toObject()["turbulence"], "none");
        EXPECT_EQ(sea["surface_wind"].toObject()["shear"], "gradual");
        EXPECT_EQ(sea["winds_aloft"].toArray().size(), 2);
        EXPECT_EQ(sea["winds_aloft"].toArray().at(1).toObject()["altitude"], "19600");
        EXPECT_EQ(sea["visibility"].toArray().at(0).toObject()["distance"], "100KM");
        EXPECT_EQ(sea["clouds"].toArray().at(0).toObject()["cover"], "2/8 cumulus");
        EXPECT_EQ(sea["clouds"].toArray().at(0).toObject()["base"], "-1900");
        EXPECT_EQ(sea["pressure"], "1013mB");

        const QJsonObject& ez = objects[1];
        EXPECT_EQ(ez["station"], "CWEZ");
        EXPECT_EQ(ez["surface_wind"].toObject()["variable_from"], "036");
        EXPECT_EQ(ez["winds_aloft"].toArray().at(0).toObject()["turbulence"], "light");
        EXPECT_EQ(ez["clouds"].toArray().at(0).toObject()["precipitation_type"], "snow");
        EXPECT_EQ(ez["temperatures"].toArray().at(0).toObject()["dewpoint"], "-4");
        EXPECT_EQ(ez["pressure"], "1001mB");

        // The record is carried: after NIL only the station and time are new, and the
        // winds aloft are cleared.
        QJsonObject nil = objects[2];
        EXPECT_EQ(nil["station"], "KABC");
        EXPECT_EQ(nil["time"], "130000Z");
        EXPECT_EQ(nil["elevation"], 24);
        EXPECT_TRUE(nil["winds_aloft"].toArray().isEmpty());
        QJsonObject carried = ez;
        for (const char* changed : {"station", "time", "winds_aloft"}) {
            carried.remove(changed);
            nil.remove(changed);
        }
        EXPECT_EQ(nil, carried);
    }

    QTemporaryDir dir_;
};

TEST_F(MetarToolTest, DecodesAFileWithTheConfigurationsCodeTables) {
    const ToolRun run = RunTool({"--config", kCodes, Write("observations.txt", kObservations)});
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ExpectDecoded(Objects(run.output));
}

TEST_F(MetarToolTest, ReadsStandardInputWithoutAFile) {
    const ToolRun run = RunTool({"--config", kCodes}, kObservations);
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ExpectDecoded(Objects(run.output));
}

TEST_F(MetarToolTest, CarriesTheRecordFromOneFileToTheNext) {
    const QByteArray text(kObservations);
    const qsizetype second = text.indexOf('\n') + 1;
    const ToolRun run = RunTool(
        {"--config", kCodes, Write("a.txt", text.left(second)), Write("b.txt", text.mid(second))});
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    ExpectDecoded(Objects(run.output));
}

TEST_F(MetarToolTest, WithoutConfigurationNoCodeHasAWord) {
    const ToolRun run = RunTool({Write("observations.txt", kObservations)});
    EXPECT_EQ(run.exit_code, 0) << run.errors.toStdString();
    const std::vector<QJsonObject> objects = Objects(run.output);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["station"], "KSEA");
    EXPECT_EQ(objects[0]["surface_wind"].toObject()["depth"], "985");
    EXPECT_EQ(objects[0]["surface_wind"].toObject()["turbulence"], "");
    EXPECT_EQ(objects[0]["clouds"].toArray().at(0).toObject()["cover"], "");
}

TEST_F(MetarToolTest, ConfigurationStoppedBeforeItsTablesGivesNoWords) {
    QFile codes(kCodes);
    ASSERT_TRUE(codes.open(QIODevice::ReadOnly));
    const QString config =
        Write("corvanta.ini", codes.readAll().replace("avion=5000", "avion=often"));
    const ToolRun run = RunTool({"--config", config}, kObservations);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(run.errors.contains("[envoi] avion")) << run.errors.toStdString();
    const std::vector<QJsonObject> objects = Objects(run.output);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0]["surface_wind"].toObject()["turbulence"], "");
}

TEST_F(MetarToolTest, MissingConfigurationStopsBeforeDecoding) {
    const ToolRun run =
        RunTool({"--config", QDir(dir_.path()).filePath("none.ini")}, kObservations);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(run.errors.contains("none.ini")) << run.errors.toStdString();
    EXPECT_TRUE(run.output.isEmpty());
}

TEST_F(MetarToolTest, MissingFileIsReportedAndTheOthersDecoded) {
    const ToolRun run = RunTool({"--config", kCodes, QDir(dir_.path()).filePath("none.txt"),
                                 Write("observations.txt", kObservations)});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.errors.contains("none.txt")) << run.errors.toStdString();
    ExpectDecoded(Objects(run.output));
}

}  // namespace
