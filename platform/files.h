// Files and folders as the host sees them. Every path argument is a host path: Windows-style
// backslashes are accepted beside "/", and a path that does not exist with its exact letter case
// is matched component by component without regard to case, as Windows games expect.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hv {

// Backslashes become "/"; nothing else changes. "data\Textures\x.png" -> "data/Textures/x.png".
std::string NativePath(std::string_view hostPath);

// The native path of an existing file or folder: exact first, then each component that does not
// exist as spelt is replaced by the first entry of its folder equal to it without regard to ASCII
// case. Components past the first that cannot be found are kept as written, so the result also
// names where a new file should be created.
std::string ResolvePath(std::string_view hostPath);

// A file (not a folder) exists; a folder exists. Any failure to look reads as "no": for files
// the game can do without (pictures, the farewell link).
bool FileExists(std::string_view hostPath);
bool DirectoryExists(std::string_view hostPath);

// What identifies one version of a file: a changed file (rewritten, replaced, touched) has
// another stamp. A missing file has the stamp {} (Exists false).
struct TFileStamp {
    bool Exists = false;
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;  // last modification, nanoseconds since 1970
    uint64_t Inode = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp FileStamp(std::string_view hostPath);

// Whether a file (not a folder) is at the path, for files whose absence starts something anew
// (the player's stores, the script bundle): false only when nothing is there (no such file, or a
// path component that is no folder). Any other failure to look (a folder that cannot be
// searched, a loop of links, a link to a missing file, an I/O error) throws EInOutError naming
// the file, so that a file that is there but out of reach is never taken for a missing one.
bool FilePresent(std::string_view hostPath);

// The largest file ReadFileBytes reads unless its caller names another limit.
inline constexpr uint64_t kMaxReadFileBytes = 256ull << 20;

// The whole file as bytes. Only a regular file (or a link to one) is read: a FIFO, a device such
// as /dev/zero, a socket or a folder is refused without being read, so nothing blocks or reads
// without end; so is a file of more than `maxBytes` bytes. Throws EInOutError naming the file
// when it cannot be read or is refused.
std::string ReadFileBytes(std::string_view hostPath, uint64_t maxBytes = kMaxReadFileBytes);
// The file's lines: CR, LF and CR LF each end a line; a final line without an ending counts,
// an ending at the very end adds no empty line. A UTF-8 byte-order mark at the start, which
// Windows editors write, is not part of the first line. Throws EInOutError like ReadFileBytes.
std::vector<std::string> ReadFileLines(std::string_view hostPath);
// `text` without a UTF-8 byte-order mark (EF BB BF) at its start.
std::string_view SkipByteOrderMark(std::string_view text);
// Splits text into lines by the rule of ReadFileLines.
std::vector<std::string> SplitLines(std::string_view text);

// Replaces the file with `bytes` so that a reader sees the old content or the new, never a
// mixture: a temporary file in the same folder is written, flushed and synced, then renamed
// over the old one. A symbolic link (or a chain of them) is kept: the file it leads to is the
// one replaced, created when missing. Throws EInOutError and leaves the old file whole when any
// step fails.
void WriteFileAtomic(std::string_view hostPath, std::string_view bytes);

// How old a temporary file of WriteFileAtomic must be to count as left by a save that was cut
// short: younger ones may belong to a save in progress in another running copy of the game.
inline constexpr std::chrono::seconds kStaleSaveAge{60};
// Removes the temporary files that saves of the file, cut short by a crash or power cut, left
// beside it (beside the file its links lead to), when older than kStaleSaveAge. Returns how
// many were removed; failures to look or remove are ignored.
int RemoveStaleSaveFiles(std::string_view hostPath);

// Creates the folder and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(std::string_view hostPath);

// Attribute bits of a folder entry, as the host's file search reports them.
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;  // an ordinary file

struct FindEntry {
    std::string Name;
    uint32_t Attr = 0;
};

// The entries of a folder matching a wildcard pattern ("*" and "?", compared without regard to
// case), in the order the file system lists them. `hostPattern` is a folder and a pattern,
// "History\*.*" or "*.lua"; "*.*" and "*" also list "." and "..", as the host's callers expect
// and skip. A missing folder gives an empty list.
std::vector<FindEntry> FindFiles(std::string_view hostPattern);

// True when `name` matches `pattern` ("*" any run, "?" one character, ASCII case ignored).
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace hv
