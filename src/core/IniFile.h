#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavoro {

// A Windows-style INI file read and written by profile-string rules: section and key
// names match ignoring letter case, every read sees the file as it is now, every write
// reaches it at once. Writes keep every other line (comments, unknown sections, order) and
// replace the file atomically, so a crash mid-write never leaves half a file behind; only
// in a folder that takes no new file is the file written in place.
//
// Rules for untidy files, chosen to stay close to what the Windows calls did:
// - lines end at LF; a CR before it and blanks around names and values are ignored;
// - a line starting with ';' is a comment, a line without '=' is no key; both are kept;
// - lines before the first section header belong to no section;
// - with duplicate sections or keys the first one wins, for reading and for writing;
// - a value is read up to its first NUL byte, and one quoted whole in matching ' or "
//   quotes loses the quotes.
// True when a file stamped as modified at `modified_ns` (nanoseconds since the epoch) was
// last written before `read_start` by more than its clock's tick, so that any later write
// will show in its stamp. A whole-second stamp may come from a coarse file system.
bool StampSettledBefore(std::int64_t modified_ns, std::chrono::system_clock::time_point read_start);

// One key for IniFile::WriteStrings to set.
struct IniEntry {
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

class IniFile {
public:
    // The longest value a read returns; longer values are cut.
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& path() const { return path_; }

    // The value of `key` in `section`, or `default_value` when the key (or the file)
    // is absent. A key present with an empty value reads as the empty text.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view default_value) const;

    // The key names of `section` in file order, each name once.
    std::vector<std::string> ReadKeyNames(std::string_view section) const;

    // Every key of `section` in file order, each name once with the value ReadString gives
    // it: one read of the file for the whole section, however many keys it holds.
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;

    // True when a file is at the path but cannot be read (no permission, a read error).
    // It reads as absent, so every value has its default, and no write replaces it.
    bool Unreadable() const;

    // Sets `key` in `section`, creating both when needed. A value is one line: it is
    // cut at its first line break or NUL so that it cannot add lines to the file.
    // Returns false when the file could not be written, and always for a file that cannot
    // be read; the old file is then intact.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);

    // Sets every entry in turn, each by the rules of WriteString and to the same result as
    // those writes one after the other, and writes the file once: a reader, or the file
    // left by a crash, has either all of them or none. Returns false as WriteString does.
    bool WriteStrings(std::span<const IniEntry> entries);

private:
    struct Cache;
    // The file as parsed now: reused while its size, times and inode are those it had
    // when it was read, read again otherwise.
    const Cache& current() const;

    std::filesystem::path path_;
    // Shared by copies, which read the same file.
    std::shared_ptr<Cache> cache_;
};

}  // namespace tavoro
