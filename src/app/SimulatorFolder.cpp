#include "app/SimulatorFolder.h"

#include <QDir>
#include <QFileInfo>

namespace tavoro {

SimulatorExecutables FindSimulatorExecutables(const QString& sim_dir) {
    // Joined as text, as the program always did: a value such as "ERROR" names a file
    // "ERRORFSX.exe" in the current folder, which does not exist.
    const QFileInfo fsx(sim_dir + "FSX.exe");
    const QFileInfo prepar3d(sim_dir + "Prepar3D.exe");
    SimulatorExecutables found;
    const QDir dir = fsx.absoluteDir();
    if (sim_dir.isEmpty() || !dir.exists()) {
        return found;
    }
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files)) {
        found.fsx |= entry.fileName().compare(fsx.fileName(), Qt::CaseInsensitive) == 0;
        found.prepar3d |= entry.fileName().compare(prepar3d.fileName(), Qt::CaseInsensitive) == 0;
    }
    return found;
}

QString SimTypeOf(const SimulatorExecutables& found, const QString& previous) {
    if (found.prepar3d) {
        return "P3D";
    }
    if (found.fsx) {
        return "FSX";
    }
    return previous;
}

QString FolderWithSeparator(const QString& file_path) {
    QString folder = QFileInfo(file_path).absolutePath();
    if (!folder.endsWith('/')) {
        folder += '/';
    }
    return folder;
}

}  // namespace tavoro
