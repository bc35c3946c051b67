#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "core/Text.h"
#include "platform/FileStamp.h"

namespace tavoro {
namespace {

TEST(FileStampTest, TellsVersionsOfAFileApartAndNothingElse) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::filesystem::path path = Utf8Path(folder.path().toStdString() + "/réglages.ini");
    EXPECT_FALSE(StampOfFile(path).has_value());
    EXPECT_FALSE(StampOfFile(path.parent_path()).has_value());

    std::ofstream(path, std::ios::binary) << "[envoi]\navion=5000\n";
    const std::optional<FileStamp> first = StampOfFile(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size, 19u);
    EXPECT_EQ(StampOfFile(path), first);

    std::ofstream(path, std::ios::binary | std::ios::app) << "x";
    const std::optional<FileStamp> grown = StampOfFile(path);
    ASSERT_TRUE(grown.has_value());
    EXPECT_NE(grown, first);
    EXPECT_EQ(grown->size, 20u);

    // A file put in its place is another file, even with the same size and time.
    const std::filesystem::path other = path.parent_path() / "other.ini";
    std::filesystem::copy_file(path, other);
    std::filesystem::last_write_time(other, std::filesystem::last_write_time(path));
    std::filesystem::rename(other, path);
    const std::optional<FileStamp> replaced = StampOfFile(path);
    ASSERT_TRUE(replaced.has_value());
    EXPECT_NE(replaced->file_id, grown->file_id);
}

}  // namespace
}  // namespace tavoro
