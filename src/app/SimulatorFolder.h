#pragma once

#include <QString>

namespace tavoro {

// The simulator executables looked for in the configured folder.
inline constexpr char kFsxExecutable[] = "FSX.exe";
inline constexpr char kP3dExecutable[] = "Prepar3D.exe";

// Whether `folder` + `name` is a file. The folder comes from a Windows installation,
// where names ignore letter case, so "fsx.exe" found on a Linux disk counts too.
bool SimulatorFileExists(const QString& folder, const QString& name);

// True when neither executable is in the folder: the user is asked where it is.
bool NeedsSimulatorPath(const QString& sim_dir);

// "FSX" or "P3D" by the executables present ("P3D" wins when both are); otherwise the
// previous value stays.
QString DetectSimType(const QString& sim_dir, const QString& previous);

// The folder of a chosen file, with its trailing separator, as [FSX] DIR holds it.
QString FolderWithSeparator(const QString& file_path);

}  // namespace tavoro
