// tavoro-metar: decodes observations, one per line, with the client's own decoder over one
// carried record, and prints each decoded record as one JSON line.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "core/IniFile.h"
#include "core/Settings.h"
#include "core/Text.h"
#include "weather/MetarDecoder.h"
#include "weather/ReportJson.h"
#include "weather/WeatherReport.h"

namespace {

using namespace tavoro;

// Decodes every line of `in` over `report`, as the client decodes one observation after
// the other, and prints the record after each.
void DecodeLines(std::istream& in, const CodeTables& tables, WeatherReport& report) {
    std::string line;
    while (std::getline(in, line)) {
        // A file written on Windows: the CR ends the line, it is no part of the observation.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        DecodeMetar(line, tables, report);
        const std::string json = WeatherReportJson(report);
        std::fwrite(json.data(), 1, json.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tavoro-metar");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Decodes weather observations as the Tavoro client does, one observation a line\n"
        "(standard input when no file is given), and prints one JSON object a line with\n"
        "every field of the decoded record. The record is carried from one line to the\n"
        "next, as in the client: fields an observation does not reach keep the values of\n"
        "an earlier one. Codes become words through the code tables of --config; without\n"
        "it no code has a word and those fields stay empty.");
    parser.addHelpOption();
    QCommandLineOption config_option("config", "Read the code tables from FILE, a corvanta.ini.",
                                     "FILE");
    parser.addOption(config_option);
    parser.addPositionalArgument("FILE", "Observations, one a line.", "[FILE...]");
    parser.process(app);

    CodeTables tables;
    if (parser.isSet(config_option)) {
        const std::filesystem::path path = Utf8Path(parser.value(config_option).toStdString());
        IniFile ini(path);
        if (!std::filesystem::is_regular_file(path) || ini.Unreadable()) {
            std::fprintf(stderr, "error: cannot read the configuration file %s\n",
                         PathText(path).c_str());
            return 2;
        }
        Settings settings;
        // The client's own start-up read, so the tables are those the client would have.
        if (const LoadResult loaded = LoadSettings(ini, settings, tables);
            loaded.conversion_error) {
            std::fprintf(stderr,
                         "warning: %s: [envoi] avion is not a whole number (%s); the client "
                         "stops reading there too, so no code has a word\n",
                         PathText(path).c_str(), loaded.conversion_error->c_str());
        }
    }

    WeatherReport report;
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        DecodeLines(std::cin, tables, report);
        return 0;
    }
    int status = 0;
    for (const QString& file : files) {
        std::ifstream in(Utf8Path(file.toStdString()), std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "error: cannot read %s\n", qPrintable(file));
            status = 1;
            continue;
        }
        DecodeLines(in, tables, report);
    }
    return status;
}
