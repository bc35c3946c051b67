#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include "core/IniFile.h"
#include "core/Settings.h"
#include "platform/FileStamp.h"
#include "support/EventLoop.h"
#include "support/TempConfig.h"

namespace tavoro {
namespace {

namespace fs = std::filesystem;

// An hour ago: a file last written then is one the reader may keep parsed.
const fs::file_time_type kLongAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// Overwrites the file's bytes where it stands: same inode, same size when the content is.
void rewriteInPlace(const fs::path& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

std::int64_t changeTime(const fs::path& path) {
    const auto stamp = StampOfFile(path);
    return stamp ? stamp->changed_ns : 0;
}

// File times move in clock ticks; waits until a file written now gets a later change
// time than `path` has, so that a change made from now on shows in its times.
bool waitForTheNextFileTick(const fs::path& path) {
    const std::int64_t before = changeTime(path);
    const fs::path probe = path.parent_path() / "probe";
    return test::WaitUntil([&] {
        writeFile(probe, "x");
        return changeTime(probe) != before;
    });
}

struct ChangeCase {
    const char* name;
    std::function<void(const fs::path& path, IniFile& ini)> change;
    const char* expected;
};

void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.name;
}

class IniFileCacheTest : public ::testing::TestWithParam<ChangeCase> {
protected:
    fs::path path() const { return config_.path(); }

    test::TempConfig config_;
};

TEST_P(IniFileCacheTest, AChangedFileIsSeenAtTheNextRead) {
    writeFile(path(), "[facility]\nTWR=Tour\n");
    fs::last_write_time(path(), kLongAgo);
    ASSERT_TRUE(waitForTheNextFileTick(path()));
    IniFile ini(path());
    // Read twice: the second read may come from what the first one parsed.
    ASSERT_EQ(LookupFacility(ini, "TWR"), "Tour");
    ASSERT_EQ(LookupFacility(ini, "TWR"), "Tour");

    GetParam().change(path(), ini);
    EXPECT_EQ(LookupFacility(ini, "TWR"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, IniFileCacheTest,
    ::testing::Values(ChangeCase{"rewritten_in_place_same_size",
                                 [](const fs::path& path, IniFile&) {
                                     rewriteInPlace(path, "[facility]\nTWR=Toit\n");
                                 },
                                 "Toit"},
                      // Its modification time put back: the change time still tells.
                      ChangeCase{"rewritten_in_place_time_put_back",
                                 [](const fs::path& path, IniFile&) {
                                     rewriteInPlace(path, "[facility]\nTWR=Toit\n");
                                     fs::last_write_time(path, kLongAgo);
                                 },
                                 "Toit"},
                      ChangeCase{"replaced_by_another_file_same_size_and_time",
                                 [](const fs::path& path, IniFile&) {
                                     fs::path other = path.parent_path() / "other.ini";
                                     writeFile(other, "[facility]\nTWR=Toit\n");
                                     fs::last_write_time(other, kLongAgo);
                                     fs::rename(other, path);
                                 },
                                 "Toit"},
                      ChangeCase{"grown",
                                 [](const fs::path& path, IniFile&) {
                                     std::ofstream(path, std::ios::app) << "TWR=ignored\n";
                                     rewriteInPlace(path, "[facility]\nTWR=Toit\n");
                                     fs::last_write_time(path, kLongAgo);
                                 },
                                 "Toit"},
                      ChangeCase{"removed",
                                 [](const fs::path& path, IniFile&) { fs::remove(path); }, "error"},
                      ChangeCase{"written_through_the_file",
                                 [](const fs::path&, IniFile& ini) {
                                     ASSERT_TRUE(ini.WriteString("facility", "TWR", "Toit"));
                                 },
                                 "Toit"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file written in the same clock tick as it is read could be written again without any
// change to its times or size: such a file is read again each time until it has settled.
TEST(IniFileFreshTest, AFileWrittenJustNowIsReadAgain) {
    QTemporaryDir dir;
    const fs::path path = fs::path(dir.path().toStdString()) / "corvanta.ini";
    writeFile(path, "[facility]\nTWR=Tour\n");
    IniFile ini(path);
    ASSERT_EQ(LookupFacility(ini, "TWR"), "Tour");
    rewriteInPlace(path, "[facility]\nTWR=Toit\n");
    EXPECT_EQ(LookupFacility(ini, "TWR"), "Toit");
}

// When a stamp is trusted to show the next write: a fine stamp once the clock's tick has
// surely passed, a whole-second stamp (a coarse file system, whose time may lie two seconds
// from the write) only once those two seconds have passed too.
TEST(StampSettledTest, CoarseStampsWaitForTheirWholeSpan) {
    using namespace std::chrono;
    const auto read = system_clock::time_point(seconds(1'700'000'000) + milliseconds(500));
    const auto at = [](system_clock::time_point time) {
        return duration_cast<nanoseconds>(time.time_since_epoch()).count();
    };
    struct Case {
        const char* name;
        std::int64_t modified_ns;
        bool settled;
    };
    const Case cases[] = {
        {"fine, 50 ms before the read", at(read - milliseconds(50)) + 1, false},
        {"fine, 150 ms before the read", at(read - milliseconds(150)) + 1, true},
        {"fine, after the read", at(read + milliseconds(10)) + 1, false},
        {"whole second 0.5 s before", at(read - milliseconds(500)), false},
        {"whole second 1.5 s before", at(read - milliseconds(1500)), false},
        {"whole second 2.5 s before", at(read - milliseconds(2500)), true},
        {"whole second an hour before", at(read - hours(1) - milliseconds(500)), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StampSettledBefore(c.modified_ns, read), c.settled) << c.name;
    }
}

}  // namespace
}  // namespace tavoro
