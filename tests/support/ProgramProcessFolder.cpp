#include "support/ProgramProcessFolder.h"

#include <QDir>
#include <QFile>

#include "support/EventLoop.h"

namespace tavoro::test {

ProgramProcessFolder::ProgramProcessFolder(const QString& program, const QString& sim_folder) {
    config_.Write("[FSX]\nDIR=" + config_.MakeSimulatorFolder() + "\n[envoi]\navion=1000\n");
    copied_ = QFile::copy(program, this->program());
    QDir().mkpath(runtime());
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("XDG_RUNTIME_DIR", runtime());
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    if (sim_folder.isEmpty()) {
        env_.remove("TAVORO_SIM_DIR");
    } else {
        env_.insert("TAVORO_SIM_DIR", sim_folder);
    }
}

bool ProgramProcessFolder::Start(QProcess& process) const {
    process.setProcessEnvironment(env_);
    process.setWorkingDirectory(config_.folder());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(), {});
    return process.waitForStarted(kDeadline.count());
}

}  // namespace tavoro::test
