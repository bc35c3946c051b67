#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <vector>

#include "core/IniFile.h"
#include "platform/FileStamp.h"
#include "support/EventLoop.h"
#include "support/PermissionBits.h"
#include "support/Seed.h"
#include "support/TempConfig.h"

namespace tavoro {
namespace {

class IniFileTest : public ::testing::Test {
protected:
    std::filesystem::path file() const { return config_.path(); }
    void write(const std::string& content) { config_.Write(content); }
    std::string content() const { return config_.Read(); }

    test::TempConfig config_;
};

struct ReadCase {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::string expected;  // with default "DEFAULT"
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, ReadsValue) {
    write(GetParam().file);
    IniFile ini(file());
    EXPECT_EQ(ini.ReadString(GetParam().section, GetParam().key, "DEFAULT"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadTest,
    ::testing::Values(
        ReadCase{"plain", "[connect]\nadresse=atc.example\n", "connect", "adresse", "atc.example"},
        ReadCase{"names_ignore_case", "[Connect]\nADRESSE=host\n", "cOnNeCt", "adresse", "host"},
        ReadCase{"empty_value_is_empty_not_default", "[s]\nk=\n", "s", "k", ""},
        ReadCase{"absent_key_gives_default", "[s]\nother=1\n", "s", "k", "DEFAULT"},
        ReadCase{"absent_section_gives_default", "[t]\nk=1\n", "s", "k", "DEFAULT"},
        ReadCase{"blanks_around_names_and_value", "[ s ]\n  k \t=  v w  \n", "s", "k", "v w"},
        ReadCase{"crlf_lines", "[s]\r\nk=v\r\n", "s", "k", "v"},
        ReadCase{"quoted_value_loses_quotes", "[s]\nk=\" a b \"\n", "s", "k", " a b "},
        ReadCase{"single_quotes", "[s]\nk='x'\n", "s", "k", "x"},
        ReadCase{"unbalanced_quote_kept", "[s]\nk=\"x\n", "s", "k", "\"x"},
        ReadCase{"equals_in_value", "[s]\nk=a=b\n", "s", "k", "a=b"},
        ReadCase{"duplicate_key_first_wins", "[s]\nk=1\nk=2\n", "s", "k", "1"},
        ReadCase{"duplicate_section_first_wins", "[s]\nk=1\n[s]\nk=2\n", "s", "k", "1"},
        ReadCase{"key_only_in_second_duplicate_section", "[s]\na=1\n[s]\nk=2\n", "s", "k",
                 "DEFAULT"},
        ReadCase{"comment_is_no_key", "[s]\n;k=1\nk=2\n", "s", "k", "2"},
        ReadCase{"line_without_equals_skipped", "[s]\ngarbage line\nk=v\n", "s", "k", "v"},
        ReadCase{"missing_final_newline", "[s]\nk=v", "s", "k", "v"},
        ReadCase{"keys_before_any_section", "k=v\n[s]\n", "s", "k", "DEFAULT"},
        ReadCase{"key_of_next_section_not_read", "[s]\n[t]\nk=v\n", "s", "k", "DEFAULT"},
        ReadCase{"header_without_bracket_is_no_section", "[s\nk=v\n", "s", "k", "DEFAULT"},
        ReadCase{"binary_bytes_pass_until_nul",
                 std::string("[s]\nk=\x01\xff\xe9", 10) + std::string("\0tail\n", 6), "s", "k",
                 "\x01\xff\xe9"},
        ReadCase{"binary_garbage_lines_around",
                 std::string("\x00\x01\x02\n[s]\n\xff\xfe\nk=v\n", 15), "s", "k", "v"},
        ReadCase{"value_cut_to_2047", "[s]\nk=" + std::string(5000, 'x') + "\n", "s", "k",
                 std::string(2047, 'x')},
        ReadCase{"long_line_without_equals", "[s]\n" + std::string(100000, 'y') + "\nk=v\n", "s",
                 "k", "v"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, MissingFileReadsDefaultsAndListsNoKeys) {
    IniFile ini(file());
    // Nothing to keep: a first start writes the file without a word.
    EXPECT_FALSE(ini.Unreadable());
    EXPECT_EQ(ini.ReadString("FSX", "DIR", "ERROR"), "ERROR");
    EXPECT_TRUE(ini.ReadKeyNames("turbulence").empty());
}

TEST_F(IniFileTest, KeyNamesInFileOrderEachOnce) {
    write("[other]\nz=0\n[Table]\nb=2\n; a=comment\na=1\nB=3\nnot a key\nc=\n[next]\nd=4\n");
    IniFile ini(file());
    EXPECT_EQ(ini.ReadKeyNames("table"), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_TRUE(ini.ReadKeyNames("absent").empty());
}

TEST_F(IniFileTest, SectionReadWholeGivesWhatKeyByKeyReadsGive) {
    // Duplicates in other letter cases, a quoted value, a NUL, a value past the longest
    // read, an empty value, and names folded only in ASCII ("É" and "é" are two keys).
    const std::string long_value(IniFile::kMaxValueLength + 10, 'x');
    write(std::string("[Table]\nb=2\nA='one'\n; a=comment\na=1\nB=3\nnul=ab") +
          std::string(1, '\0') + "cd\nlong=" + long_value + "\nc=\n\xc3\x89=up\n\xc3\xa9=low\n" +
          "[next]\nd=4\n");
    IniFile ini(file());
    std::vector<std::pair<std::string, std::string>> key_by_key;
    for (const std::string& key : ini.ReadKeyNames("table")) {
        key_by_key.emplace_back(key, ini.ReadString("table", key, "absent"));
    }
    const auto whole = ini.ReadSection("TABLE");
    EXPECT_EQ(whole, key_by_key);
    ASSERT_EQ(whole.size(), 7u);
    EXPECT_EQ(whole[0], std::make_pair(std::string("b"), std::string("2")));
    EXPECT_EQ(whole[1], std::make_pair(std::string("A"), std::string("one")));
    EXPECT_EQ(whole[2].second, "ab");
    EXPECT_EQ(whole[3].second.size(), IniFile::kMaxValueLength);
    EXPECT_EQ(whole[4].second, "");
    EXPECT_EQ(whole[5].second, "up");
    EXPECT_EQ(whole[6].second, "low");
    EXPECT_TRUE(ini.ReadSection("absent").empty());
}

TEST_F(IniFileTest, EveryReadSeesTheFileAsItIsNow) {
    write("[facility]\n1=FSS\n");
    IniFile ini(file());
    EXPECT_EQ(ini.ReadString("facility", "1", "error"), "FSS");
    write("[facility]\n1=Delivery\n");
    EXPECT_EQ(ini.ReadString("facility", "1", "error"), "Delivery");
}

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    std::string value;
    std::string after;
};

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, KeepsEveryOtherLine) {
    if (!GetParam().before.empty()) {
        write(GetParam().before);
    }
    IniFile ini(file());
    ASSERT_TRUE(ini.WriteString(GetParam().section, GetParam().key, GetParam().value));
    EXPECT_EQ(content(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniWriteTest,
    ::testing::Values(
        WriteCase{"new_file", "", "ATIS", "audio", "false", "[ATIS]\naudio=false\n"},
        WriteCase{"replace_keeps_comments_and_order",
                  "; top comment\n[s]\n; about k\nk=old\nj=1\n\n[u]\nx=y\n", "s", "k", "new",
                  "; top comment\n[s]\n; about k\nk=new\nj=1\n\n[u]\nx=y\n"},
        WriteCase{"replace_keeps_key_spelling", "[S]\nKey=1\n", "s", "key", "2", "[S]\nKey=2\n"},
        WriteCase{"new_key_after_last_line_of_section", "[a]\nx=1\n\n[b]\ny=2\n", "a", "z", "3",
                  "[a]\nx=1\nz=3\n\n[b]\ny=2\n"},
        WriteCase{"new_key_in_last_section", "[a]\nx=1\n", "a", "y", "2", "[a]\nx=1\ny=2\n"},
        WriteCase{"new_section_at_end", "[a]\nx=1\n", "s", "k", "v", "[a]\nx=1\n[s]\nk=v\n"},
        WriteCase{"missing_final_newline_new_key", "[a]\nx=1", "a", "y", "2", "[a]\nx=1\ny=2\n"},
        WriteCase{"missing_final_newline_new_section", "[a]\nx=1", "s", "k", "v",
                  "[a]\nx=1\n[s]\nk=v\n"},
        WriteCase{"missing_final_newline_replace", "[a]\nx=1", "a", "x", "2", "[a]\nx=2"},
        WriteCase{"crlf_file_stays_crlf", "[a]\r\nx=1\r\n", "a", "y", "2", "[a]\r\nx=1\r\ny=2\r\n"},
        WriteCase{"line_break_in_value_cannot_add_lines", "[a]\nx=1\n", "a", "x",
                  "evil\r\n[connect]\nadresse=attacker", "[a]\nx=evil\n"},
        WriteCase{"duplicate_section_first_written", "[a]\nx=1\n[a]\nx=2\n", "a", "x", "9",
                  "[a]\nx=9\n[a]\nx=2\n"},
        WriteCase{"binary_lines_kept", std::string("\x01\x02\xff\n[a]\nx=1\n", 12), "a", "x", "2",
                  std::string("\x01\x02\xff\n[a]\nx=2\n", 12)},
        WriteCase{"empty_value", "[a]\nx=1\n", "a", "x", "", "[a]\nx=\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BatchEntry {
    std::string section;
    std::string key;
    std::string value;
};

struct BatchCase {
    const char* name;
    std::optional<std::string> before;  // nothing: no file
    std::vector<BatchEntry> entries;
};

void PrintTo(const BatchCase& c, std::ostream* out) {
    *out << c.name;
}

class IniBatchTest : public IniFileTest, public ::testing::WithParamInterface<BatchCase> {};

// Several keys written at once give the file that writing them one after the other gives.
TEST_P(IniBatchTest, EqualsTheSingleWritesInOrder) {
    const std::filesystem::path one_by_one = config_.FilePath("one-by-one.ini").toStdString();
    if (GetParam().before) {
        write(*GetParam().before);
        std::ofstream(one_by_one, std::ios::binary) << *GetParam().before;
    }
    IniFile single(one_by_one);
    std::vector<IniEntry> entries;
    for (const BatchEntry& entry : GetParam().entries) {
        ASSERT_TRUE(single.WriteString(entry.section, entry.key, entry.value));
        entries.push_back({entry.section, entry.key, entry.value});
    }
    IniFile batch(file());
    ASSERT_TRUE(batch.WriteStrings(entries));

    EXPECT_EQ(std::filesystem::exists(file()), std::filesystem::exists(one_by_one));
    std::ifstream in(one_by_one, std::ios::binary);
    EXPECT_EQ(content(),
              std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniBatchTest,
    ::testing::Values(
        BatchCase{"no_file_no_entries", std::nullopt, {}},
        BatchCase{"new_file_the_close_step",
                  std::nullopt,
                  {{"ATIS", "audio", "false"},
                   {"TS", "DIR", "error"},
                   {"TS", "adresse", "error"},
                   {"TS", "password", "error"},
                   {"TS", "nickname", "error"},
                   {"connect", "serveur", "Tavoro"},
                   {"connect", "adresse", "127.0.0.1"}}},
        BatchCase{"keys_keep_spelling_new_keys_above_blank_lines",
                  "; mine\n[ts]\nDir=/old/\n\n[Connect]\nSERVEUR=x\nport=6809\n\n\n; end\n",
                  {{"TS", "DIR", "/new/"},
                   {"TS", "nickname", "Pilot"},
                   {"connect", "serveur", "Tavoro"},
                   {"connect", "adresse", "atc.example"}}},
        BatchCase{"section_made_by_one_entry_takes_the_next",
                  "[a]\nx=1\n",
                  {{"s", "k1", "1"}, {"t", "k", "2"}, {"S", "k2", "3"}, {"a", "y", "4"}}},
        BatchCase{"same_key_twice_last_value_stays",
                  "[a]\nx=0\n",
                  {{"a", "x", "1"}, {"A", "X", "2"}, {"b", "y", "1"}, {"b", "Y", "2"}}},
        BatchCase{"duplicates_in_the_file_first_wins",
                  "[a]\nx=1\nx=2\n[a]\nx=3\ny=4\n",
                  {{"a", "x", "9"}, {"a", "y", "8"}}},
        BatchCase{"values_cut_at_their_first_line_break",
                  "[a]\nx=1\n",
                  {{"a", "x", "evil\r\n[connect]\nadresse=attacker"},
                   {"connect", "adresse", std::string("nul\0after", 9)},
                   {"a", "y", "two\nlines"}}},
        BatchCase{"crlf_without_final_newline",
                  "[a]\r\nx=1",
                  {{"a", "x", "2"}, {"b", "z", "3"}, {"a", "y", "4"}}},
        BatchCase{"binary_and_comment_lines_kept",
                  std::string("\x01\x02\xff\n[a]\n;x=0\nnot a key\nx=1\n", 27),
                  {{"a", "x", "2"}, {"a", "w", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, WrittenValueReadsBack) {
    IniFile ini(file());
    ASSERT_TRUE(ini.WriteString("FSX", "DIR", "/home/pilot/FSX/"));
    ASSERT_TRUE(ini.WriteString("fsx", "dir", "C:\\FSX\\"));
    EXPECT_EQ(ini.ReadString("FSX", "DIR", "ERROR"), "C:\\FSX\\");
    EXPECT_EQ(content(), "[FSX]\nDIR=C:\\FSX\\\n");
}

TEST_F(IniFileTest, FailedWriteReportsFailureAndKeepsFile) {
    // A directory where the file should be: the new file cannot replace it.
    std::filesystem::create_directory(file());
    IniFile ini(file());
    EXPECT_FALSE(ini.WriteString("s", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(file()));

    IniFile nowhere(config_.path().parent_path() / "no/such/dir/corvanta.ini");
    EXPECT_FALSE(nowhere.WriteString("s", "k", "v"));
}

// A file that is there but cannot be read is no absent file: a write would put a stub with
// its one key in place of every setting it holds. It reads as absent, and no write touches it.
TEST_F(IniFileTest, UnreadableFileIsNeverReplaced) {
    const std::string before = "; mine\n[connect]\nport=6809\npassword=pw\n[facility]\n1=FSS\n";
    write(before);
    test::HeldToPermissionBits held;
    if (!held.held()) {
        GTEST_SKIP() << "running as root, unable to give up the capabilities that pass "
                        "permission bits: a write-only file reads like any other";
    }
    std::filesystem::permissions(file(), std::filesystem::perms::owner_write);
    IniFile ini(file());
    EXPECT_TRUE(ini.Unreadable());
    EXPECT_EQ(ini.ReadString("connect", "port", "error"), "error");
    EXPECT_FALSE(ini.WriteString("ATIS", "audio", "true"));

    std::filesystem::permissions(
        file(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(content(), before);
    // Readable again, it is read again.
    EXPECT_FALSE(ini.Unreadable());
    EXPECT_EQ(ini.ReadString("connect", "port", "error"), "6809");
}

// A read that fails after the file opened counts as no read either. The process's own
// memory, read from address 0 (never mapped), opens as a regular file and fails its first
// read: a real read error through the very calls that read the configuration. A folder in
// the file's place would not do: it is no file and takes another path; nor would a
// stand-in reader, which would only return what the test told it to.
TEST(IniFileReadErrorTest, FileThatFailsToReadIsNeverWritten) {
    const std::filesystem::path memory = "/proc/self/mem";
    if (!std::filesystem::is_regular_file(memory)) {
        GTEST_SKIP() << "no /proc/self/mem here, the only file at hand that fails its reads";
    }
    IniFile ini(memory);
    EXPECT_TRUE(ini.Unreadable());
    EXPECT_EQ(ini.ReadString("s", "k", "DEFAULT"), "DEFAULT");
    EXPECT_TRUE(ini.ReadKeyNames("s").empty());
    // Refused before anything is opened for writing (were it not, a write at address 0
    // would fail all the same).
    EXPECT_FALSE(ini.WriteString("s", "k", "v"));
}

// A folder that takes no new file, such as a program folder the user may not add to, cannot
// hold the temporary file of an atomic replace: a writable file there is written in place.
// Everywhere else it is replaced whole, a new file, so that a crash leaves no half of it.
struct FolderCase {
    const char* name;
    bool folder_writable;
    bool replaced;
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.name;
}

class IniFolderTest : public IniFileTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(IniFolderTest, WritesTheFileInPlaceOnlyWhenTheFolderTakesNoNewFile) {
    namespace fs = std::filesystem;
    write("[a]\nx=1\n");
    const auto before = StampOfFile(file());
    ASSERT_TRUE(before);
    // Root passes a folder's mode bits; held to them, this thread meets the refusal of the
    // temporary file that a user gets, so the case runs as root too.
    test::HeldToPermissionBits held;
    if (!held.held()) {
        GTEST_SKIP() << "running as root, unable to give up the capabilities that pass "
                        "permission bits: a read-only folder takes new files like any other";
    }
    const fs::path folder = file().parent_path();
    if (!GetParam().folder_writable) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    IniFile ini(file());
    const bool written = ini.WriteString("a", "y", "2");
    fs::permissions(folder, fs::perms::owner_all);

    EXPECT_TRUE(written);
    EXPECT_EQ(content(), "[a]\nx=1\ny=2\n");
    EXPECT_EQ(ini.ReadString("a", "y", ""), "2");
    const auto after = StampOfFile(file());
    ASSERT_TRUE(after);
    EXPECT_EQ(after->file_id != before->file_id, GetParam().replaced);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Folders, IniFolderTest,
                         ::testing::Values(FolderCase{"writable_folder", true, true},
                                           FolderCase{"read_only_folder", false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Kills a process that rewrites the file in a loop at random moments: the file must
// always be one complete version, never a torn one.
TEST_F(IniFileTest, WriterKilledMidWriteLeavesACompleteFile) {
    auto complete = [](const std::string& line) {
        if (line == "[s]") {
            return true;
        }
        auto equals = line.find('=');
        if (line.empty() || line[0] != 'k' || equals == std::string::npos) {
            return false;
        }
        std::string value = line.substr(equals + 1);
        return value == std::string(1500, 'a') || value == std::string(1900, 'b');
    };
    std::mt19937 random(test::TestSeed());
    std::uniform_int_distribution<int> delay_ms(5, 59);
    for (int round = 0; round < 15; ++round) {
        QProcess writer;
        writer.start(TAVORO_INI_WRITER_LOOP, {QString::fromStdString(file().string())});
        ASSERT_TRUE(writer.waitForStarted(30000));
        ASSERT_TRUE(test::WaitUntil(
            [&] { return writer.canReadLine() || writer.state() != QProcess::Running; }));
        ASSERT_EQ(writer.readLine().trimmed(), "ready");
        test::RunEventsFor(std::chrono::milliseconds(delay_ms(random)));
        writer.kill();
        writer.waitForFinished(30000);

        std::string text = content();
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(text.back(), '\n') << "round " << round;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            ASSERT_TRUE(complete(line))
                << "round " << round << ": torn line of " << line.size() << " bytes";
            start = end + 1;
        }
    }
}

}  // namespace
}  // namespace tavoro
