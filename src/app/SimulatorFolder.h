#pragma once

#include <QString>

namespace tavoro {

// Which simulator executables the configured folder holds.
struct SimulatorExecutables {
    bool fsx = false;       // "FSX.exe"
    bool prepar3d = false;  // "Prepar3D.exe"

    bool none() const { return !fsx && !prepar3d; }
};

// Looks for `sim_dir` + "FSX.exe" and `sim_dir` + "Prepar3D.exe", joined as the
// configuration stores the folder (with its trailing separator). The folder comes from a
// Windows installation, where names ignore letter case, so "fsx.exe" on a Linux disk
// counts too. The folder is listed once for both names.
SimulatorExecutables FindSimulatorExecutables(const QString& sim_dir);

// "FSX" or "P3D" by the executables present ("P3D" wins when both are); otherwise the
// previous value stays.
QString SimTypeOf(const SimulatorExecutables& found, const QString& previous);

// The folder of a chosen file, with its trailing separator, as [FSX] DIR holds it.
QString FolderWithSeparator(const QString& file_path);

}  // namespace tavoro
