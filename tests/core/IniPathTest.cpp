#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/IniFile.h"
#include "core/Text.h"

// Built for Windows too, where a path's narrow text is not UTF-8.
namespace tavoro {
namespace {

// A configuration in a folder named with accents (a user's own folder) is read and written
// through its UTF-8 path, and the path reads back as the same text.
TEST(IniFilePathTest, AFolderWithAccentsIsReadAndWritten) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const std::string folder = root.path().toStdString() + "/Frédéric Désiré";
    const std::filesystem::path path = Utf8Path(folder + "/corvanta.ini");
    std::filesystem::create_directories(path.parent_path());
    EXPECT_EQ(PathText(path), folder + "/corvanta.ini");
    {
        std::ofstream out(path);
        out << "[envoi]\navion=5000\n";
    }
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("envoi", "avion", "ERROR"), "5000");
    EXPECT_TRUE(ini.WriteString("FSX", "DIR", "C:\\FSX\\"));
    EXPECT_EQ(IniFile(Utf8Path(folder + "/corvanta.ini")).ReadString("FSX", "DIR", ""),
              "C:\\FSX\\");
}

}  // namespace
}  // namespace tavoro
