#include "core/IniFile.h"

#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <unordered_set>

#include "core/Text.h"
#include "platform/FileStamp.h"

namespace tavoro {
namespace {

enum class LineKind { Other, Section, Key };

struct IniLine {
    std::string raw;  // the line as in the file, without its line end
    LineKind kind = LineKind::Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed
};

struct IniDocument {
    std::vector<IniLine> lines;
    std::string line_end = "\n";
    bool ends_with_newline = true;
};

IniLine classify(std::string raw) {
    IniLine line;
    line.raw = std::move(raw);
    std::string_view text = TrimBlanks(line.raw);
    if (text.empty() || text.front() == ';') {
        return line;
    }
    if (text.front() == '[') {
        auto close = text.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = std::string(TrimBlanks(text.substr(1, close - 1)));
        }
        return line;
    }
    auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return line;
    }
    std::string_view name = TrimBlanks(text.substr(0, equals));
    if (name.empty()) {
        return line;
    }
    line.kind = LineKind::Key;
    line.name = std::string(name);
    line.value = std::string(TrimBlanks(text.substr(equals + 1)));
    return line;
}

IniDocument parse(const std::string& content) {
    IniDocument doc;
    std::size_t start = 0;
    bool line_end_seen = false;
    while (start < content.size()) {
        std::size_t lf = content.find('\n', start);
        std::size_t end = lf == std::string::npos ? content.size() : lf;
        std::size_t text_end = end;
        bool crlf = text_end > start && content[text_end - 1] == '\r';
        if (crlf) {
            --text_end;
        }
        if (lf != std::string::npos && !line_end_seen) {
            // New lines follow the file's own convention.
            doc.line_end = crlf ? "\r\n" : "\n";
            line_end_seen = true;
        }
        doc.lines.push_back(classify(content.substr(start, text_end - start)));
        doc.ends_with_newline = lf != std::string::npos;
        start = end + 1;
    }
    return doc;
}

// What a read found at the configuration's path.
enum class FileState {
    Absent,      // nothing there, or no regular file (a folder): there is nothing to keep
    Read,        // the whole file, read
    Unreadable,  // a file is there, or may be, but its bytes could not be read
};

struct LoadedFile {
    FileState state = FileState::Absent;
    IniDocument document;
};

// A path whose folders may not be searched may hide a file, so it counts as unreadable.
LoadedFile load(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return {};
    }
    if (error) {
        return {FileState::Unreadable, {}};
    }
    if (!std::filesystem::is_regular_file(status)) {
        return {};
    }
    // Opened by its path as the system spells it (wide on Windows), so any folder name works.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {FileState::Unreadable, {}};
    }
    // Read in blocks through read(), which turns a failing read into bad() where the
    // stream buffer itself would throw.
    std::string content;
    std::string block(std::size_t{1} << 16, '\0');
    while (file.read(block.data(), static_cast<std::streamsize>(block.size())) ||
           file.gcount() > 0) {
        content.append(block.data(), static_cast<std::size_t>(file.gcount()));
    }
    if (file.bad()) {
        return {FileState::Unreadable, {}};
    }
    return {FileState::Read, parse(content)};
}

// Index of the first header of `section`, if any.
std::optional<std::size_t> findSection(const IniDocument& doc, std::string_view section) {
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        if (doc.lines[i].kind == LineKind::Section &&
            EqualsIgnoringCase(doc.lines[i].name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

// One past the last line of the section whose header is at `header`.
std::size_t sectionEnd(const IniDocument& doc, std::size_t header) {
    std::size_t i = header + 1;
    while (i < doc.lines.size() && doc.lines[i].kind != LineKind::Section) {
        ++i;
    }
    return i;
}

std::optional<std::size_t> findKey(const IniDocument& doc, std::size_t header,
                                   std::string_view key) {
    std::size_t end = sectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (doc.lines[i].kind == LineKind::Key && EqualsIgnoringCase(doc.lines[i].name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// No value read is longer than kMaxValueLength.
std::string clipped(std::string value) {
    if (value.size() > IniFile::kMaxValueLength) {
        value.resize(IniFile::kMaxValueLength);
    }
    return value;
}

std::string unquote(std::string value) {
    auto nul = value.find('\0');
    if (nul != std::string::npos) {
        value.resize(nul);
    }
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

std::string serialise(const IniDocument& doc) {
    std::string out;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        out += doc.lines[i].raw;
        if (i + 1 < doc.lines.size() || doc.ends_with_newline) {
            out += doc.line_end;
        }
    }
    return out;
}

// Sets `key` in `section` by the rules of IniFile::WriteString. Each line it sets or adds
// is classified as reading the written file would classify it, so that keys set in turn
// here give the file that writing them one by one gives.
void setKey(IniDocument& doc, std::string_view section, std::string_view key,
            std::string_view value) {
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    std::string entry = std::string(key) + "=" + std::string(value);

    if (auto header = findSection(doc, section)) {
        if (auto line = findKey(doc, *header, key)) {
            // Keep the key's spelling as the user wrote it.
            doc.lines[*line] = classify(doc.lines[*line].name + "=" + std::string(value));
        } else {
            // After the section's last non-blank line, so blank separators stay below it.
            std::size_t at = sectionEnd(doc, *header);
            while (at > *header + 1 && TrimBlanks(doc.lines[at - 1].raw).empty()) {
                --at;
            }
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), classify(entry));
            if (at == doc.lines.size() - 1) {
                doc.ends_with_newline = true;
            }
        }
    } else {
        doc.lines.push_back(classify("[" + std::string(section) + "]"));
        doc.lines.push_back(classify(entry));
        doc.ends_with_newline = true;
    }
}

bool replaceFile(const std::filesystem::path& path, const std::string& content) {
    // QSaveFile writes a temporary file beside the target, syncs it and renames it
    // over the target, so readers see either the old file or the new one.
    QSaveFile file(QString::fromStdString(PathText(path)));
    // A folder the user may not add files to (a program folder) cannot take the temporary
    // file; the file itself may still be writable, and is then written in place. A crash
    // there can tear it, but the settings are saved, where otherwise they never could be.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(content.data(), static_cast<qint64>(content.size())) !=
        static_cast<qint64>(content.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// A file written again within the tick of the clock that stamps it could keep its times
// and size. Only a file last modified well before the read is trusted to change its stamp
// when it changes. Fine-grained clocks tick every few milliseconds; a time stamp with no
// fraction of a second comes from a file system that keeps whole seconds (two on FAT), and
// there the time may lie up to two seconds away from the write. A longer wait would make
// every look-up read the file again for that long after each write, which a burst of
// station lines cannot afford. The client's own writes replace the file, so they change
// its identity whatever the clock; one written in place drops what was parsed.
constexpr std::chrono::milliseconds kSettledAge{100};
constexpr std::chrono::milliseconds kCoarseStampSpan{2000};

}  // namespace

bool StampSettledBefore(std::int64_t modified_ns,
                        std::chrono::system_clock::time_point read_start) {
    constexpr std::int64_t kPerSecond = 1'000'000'000;
    const bool coarse = modified_ns % kPerSecond == 0;
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(modified_ns)));
    const auto latest_write = coarse ? modified + kCoarseStampSpan : modified;
    return latest_write < read_start - kSettledAge;
}

struct IniFile::Cache {
    std::optional<FileStamp> stamp;  // set while `document` may be reused
    IniDocument document;
    bool unreadable = false;
};

IniFile::IniFile(std::filesystem::path path)
    : path_(std::move(path)), cache_(std::make_shared<Cache>()) {}

const IniFile::Cache& IniFile::current() const {
    // A busy network's station lines look facilities up thousands of times a second;
    // parsing the file each time is what would cost, so an unchanged file is parsed once.
    std::optional<FileStamp> stamp = StampOfFile(path_);
    if (stamp && cache_->stamp == stamp) {
        return *cache_;
    }
    auto read_start = std::chrono::system_clock::now();
    LoadedFile loaded = load(path_);
    cache_->document = std::move(loaded.document);
    cache_->unreadable = loaded.state == FileState::Unreadable;
    cache_->stamp.reset();
    // A file that failed to read is tried again at the next read: a read error may pass
    // without any change to the file's stamp.
    if (stamp && !cache_->unreadable && StampSettledBefore(stamp->modified_ns, read_start)) {
        cache_->stamp = stamp;
    }
    return *cache_;
}

bool IniFile::Unreadable() const {
    return current().unreadable;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
    const IniDocument& doc = current().document;
    std::string value(default_value);
    if (auto header = findSection(doc, section)) {
        if (auto line = findKey(doc, *header, key)) {
            value = unquote(doc.lines[*line].value);
        }
    }
    return clipped(std::move(value));
}

std::vector<std::string> IniFile::ReadKeyNames(std::string_view section) const {
    std::vector<std::string> names;
    for (auto& [name, value] : ReadSection(section)) {
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(
    std::string_view section) const {
    const IniDocument& doc = current().document;
    std::vector<std::pair<std::string, std::string>> entries;
    auto header = findSection(doc, section);
    if (!header) {
        return entries;
    }
    // Names already taken, folded to lower case as EqualsIgnoringCase folds them: a set
    // keeps a large code table linear where comparing with every earlier name would not.
    std::unordered_set<std::string> seen;
    std::size_t end = sectionEnd(doc, *header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        const IniLine& line = doc.lines[i];
        if (line.kind != LineKind::Key || !seen.insert(AsciiLower(line.name)).second) {
            continue;
        }
        entries.emplace_back(line.name, clipped(unquote(line.value)));
    }
    return entries;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const IniEntry entry{section, key, value};
    return WriteStrings({&entry, 1});
}

bool IniFile::WriteStrings(std::span<const IniEntry> entries) {
    if (entries.empty()) {
        // Nothing to set: the file stays as no write at all would leave it.
        return true;
    }
    LoadedFile loaded = load(path_);
    if (loaded.state == FileState::Unreadable) {
        // With nothing read, the new file would hold these keys alone in place of every
        // setting the file has: it stays as it is, and the caller tells the user.
        return false;
    }
    for (const IniEntry& entry : entries) {
        setKey(loaded.document, entry.section, entry.key, entry.value);
    }
    if (!replaceFile(path_, serialise(loaded.document))) {
        return false;
    }
    cache_->stamp.reset();
    return true;
}

}  // namespace tavoro
