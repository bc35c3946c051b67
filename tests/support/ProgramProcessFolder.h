#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include "support/TempConfig.h"

namespace tavoro::test {

// The real program in a folder of its own: a copy of the executable, a simulator folder,
// a configuration, and a private runtime folder (Qt refuses one open to others, and the
// single-instance lock lives there). `sim_folder` is the stand-in simulator's folder, or
// empty for the default under the runtime folder.
class ProgramProcessFolder {
public:
    explicit ProgramProcessFolder(const QString& program, const QString& sim_folder = {});

    bool copied() const { return copied_; }
    QString program() const { return config_.FilePath("tavoro"); }
    QString runtime() const { return config_.FilePath("runtime"); }
    QString ini() const { return QString::fromStdString(config_.path().string()); }
    // The configuration file and its folder, for a test that writes its own.
    const TempConfig& config() const { return config_; }

    bool Start(QProcess& process) const;

private:
    TempConfig config_;
    QProcessEnvironment env_;
    bool copied_ = false;
};

}  // namespace tavoro::test
