#include "SimulatorFolder.h"

#include <QDir>
#include <QFileInfo>

namespace tavoro {

bool SimulatorFileExists(const QString& folder, const QString& name) {
    // The folder text is joined as it is, as the configuration stores it with its
    // trailing separator; a value such as "ERROR" names no folder at all.
    QFileInfo exact(folder + name);
    if (exact.isFile()) {
        return true;
    }
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) {
        return false;
    }
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files)) {
        if (entry.fileName().compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool NeedsSimulatorPath(const QString& sim_dir) {
    return !SimulatorFileExists(sim_dir, kFsxExecutable) &&
           !SimulatorFileExists(sim_dir, kP3dExecutable);
}

QString DetectSimType(const QString& sim_dir, const QString& previous) {
    QString type = previous;
    if (SimulatorFileExists(sim_dir, kFsxExecutable)) {
        type = "FSX";
    }
    if (SimulatorFileExists(sim_dir, kP3dExecutable)) {
        type = "P3D";
    }
    return type;
}

QString FolderWithSeparator(const QString& file_path) {
    QString folder = QFileInfo(file_path).absolutePath();
    if (!folder.endsWith('/')) {
        folder += '/';
    }
    return folder;
}

}  // namespace tavoro
