#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tavoro::test {

// A configuration file of a test's own, in a folder that goes away with it.
class TempConfig {
public:
    static constexpr char kFileName[] = "corvanta.ini";

    // The folder the file lives in: the program folder, for tests that run the client.
    QString folder() const { return dir_.path(); }
    QString FilePath(const QString& name) const { return QDir(dir_.path()).filePath(name); }
    std::filesystem::path path() const {
        return std::filesystem::path(dir_.path().toStdString()) / kFileName;
    }

    // A simulator folder with the simulator's executable in it, so that start-up finds the
    // simulator and asks nothing; returns the folder as [FSX] DIR holds it.
    std::string MakeSimulatorFolder() const {
        QDir(dir_.path()).mkpath("sim");
        QFile(FilePath("sim/FSX.exe")).open(QIODevice::WriteOnly);
        return FilePath("sim").toStdString() + "/";
    }

    // Replaces the file's bytes with `content`, exactly as given.
    void Write(const std::string& content) const {
        std::ofstream(path(), std::ios::binary) << content;
    }
    // The file's bytes; empty when it does not exist.
    std::string Read() const {
        std::ifstream in(path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    QTemporaryDir dir_;
};

}  // namespace tavoro::test
