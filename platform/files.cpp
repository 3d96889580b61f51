#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/exceptions.h"

namespace fs = std::filesystem;

namespace hv {
namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool Exists(const std::string& native) {
    struct stat st;
    return ::stat(native.c_str(), &st) == 0;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Finds `name` in `folder` without regard to case; empty when there is no such entry.
std::string FindNoCase(const std::string& folder, std::string_view name) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? "." : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (EqualNoCase(entry, name)) return entry;
    }
    return {};
}

// Temporary files of a save of `name` are called this, followed by decimal digits.
std::string TemporaryPrefix(const std::string& name) {
    return "." + name + ".tmp";
}

// Closes the file descriptor it holds (-1: none) when it goes out of scope.
struct FileDescriptor {
    explicit FileDescriptor(int fd) : Fd(fd) {}
    const int Fd;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (Fd >= 0) ::close(Fd);
    }
};

// Links followed before a save gives up, as the system does for a path.
constexpr int kMaxLinks = 40;

// The file a save of `path` must replace: `path` itself, or the file its chain of symbolic links
// leads to (which need not exist yet), so that the links stay as the player made them. Throws
// EInOutError for a chain that does not end.
std::string SaveTarget(const std::string& path) {
    std::string target = path;
    for (int links = 0;; ++links) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        std::error_code ec;
        fs::path next = fs::read_symlink(target, ec);
        if (ec || links == kMaxLinks)
            throw EInOutError("Cannot write file \"" + path + "\". " +
                              (ec ? ec.message() : ErrnoText(ELOOP)));
        if (next.is_relative()) next = fs::path(target).parent_path() / next;
        target = next.string();
    }
}

}  // namespace

std::string NativePath(std::string_view hostPath) {
    std::string p(hostPath);
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

std::string ResolvePath(std::string_view hostPath) {
    std::string native = NativePath(hostPath);
    if (native.empty() || Exists(native)) return native;

    // Walk the components; once one cannot be found, the rest are kept as written.
    std::string result = native[0] == '/' ? "/" : "";
    bool lost = false;
    size_t pos = 0;
    while (pos < native.size()) {
        size_t slash = native.find('/', pos);
        if (slash == std::string::npos) slash = native.size();
        std::string_view part = std::string_view(native).substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty()) continue;  // doubled or leading separators
        std::string candidate = result + std::string(part);
        if (!lost && part != "." && part != ".." && !Exists(candidate)) {
            std::string found = FindNoCase(result, part);
            if (found.empty())
                lost = true;
            else
                candidate = result + found;
        }
        result = candidate;
        if (slash < native.size()) result += '/';
    }
    return result;
}

bool FileExists(std::string_view hostPath) {
    struct stat st;
    return ::stat(ResolvePath(hostPath).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TFileStamp FileStamp(std::string_view hostPath) {
    struct stat st;
    if (::stat(ResolvePath(hostPath).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    return {true, uint64_t(st.st_size),
            int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec),
            uint64_t(st.st_ino)};
}

bool FilePresent(std::string_view hostPath) {
    const std::string path = ResolvePath(hostPath);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
    const int err = errno;
    if (err == ENOTDIR) return false;
    if (err == ENOENT) {
        struct stat link;
        if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return false;
        throw EInOutError("Cannot open file \"" + path + "\". It is a link to a missing file");
    }
    throw EInOutError("Cannot open file \"" + path + "\". " + ErrnoText(err));
}

bool DirectoryExists(std::string_view hostPath) {
    struct stat st;
    return ::stat(ResolvePath(hostPath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadFileBytes(std::string_view hostPath, uint64_t maxBytes) {
    const std::string path = ResolvePath(hostPath);
    auto error = [&](const char* verb, const std::string& why) {
        return EInOutError(std::string(verb) + " file \"" + path + "\". " + why);
    };
    // Looked at before opening: opening a FIFO for reading waits for a writer.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) throw error("Cannot open", ErrnoText(errno));
    if (S_ISDIR(st.st_mode)) throw error("Cannot open", "Is a directory");
    if (!S_ISREG(st.st_mode)) throw error("Cannot open", "Not a regular file");
    // Non-blocking, and looked at again once open, in case the file was replaced meanwhile.
    const FileDescriptor fd{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (fd.Fd < 0) throw error("Cannot open", ErrnoText(errno));
    if (::fstat(fd.Fd, &st) != 0) throw error("Cannot open", ErrnoText(errno));
    if (!S_ISREG(st.st_mode)) throw error("Cannot open", "Not a regular file");
    const std::string tooLarge = "It is larger than " + std::to_string(maxBytes) + " bytes";
    if (uint64_t(st.st_size) > maxBytes) throw error("Cannot read", tooLarge);
    std::string data;
    data.reserve(size_t(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw error("Cannot read", ErrnoText(errno));
        }
        if (n == 0) break;
        // The size at opening is no bound: the file may grow while it is read.
        if (data.size() + size_t(n) > maxBytes) throw error("Cannot read", tooLarge);
        data.append(buf, size_t(n));
    }
    return data;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0, i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string_view SkipByteOrderMark(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text;
}

std::vector<std::string> ReadFileLines(std::string_view hostPath) {
    return SplitLines(SkipByteOrderMark(ReadFileBytes(hostPath)));
}

void WriteFileAtomic(std::string_view hostPath, std::string_view bytes) {
    const std::string path = SaveTarget(ResolvePath(hostPath));
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

    std::random_device rd;
    std::string tmp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        tmp = (slash == std::string::npos ? std::string() : folder) + TemporaryPrefix(name) +
              std::to_string(rd() % 1000000);
        fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw EInOutError("Cannot create file \"" + path + "\". " + ErrnoText(errno));

    auto fail = [&](const char* what) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        throw EInOutError(std::string(what) + " \"" + path + "\". " + ErrnoText(err));
    };
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write file");
        }
        done += size_t(n);
    }
    if (::fsync(fd) != 0) fail("Cannot write file");
    // Keep the old file's permissions where there is one.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    if (::close(fd) != 0) {
        ::unlink(tmp.c_str());
        throw EInOutError("Cannot write file \"" + path + "\". " + ErrnoText(errno));
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw EInOutError("Cannot rename file \"" + path + "\". " + ErrnoText(err));
    }
    // Make the rename itself durable.
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

int RemoveStaleSaveFiles(std::string_view hostPath) {
    std::string path;
    try {
        path = SaveTarget(ResolvePath(hostPath));
    } catch (const EInOutError&) {
        return 0;  // the file's own load reports what is wrong with it
    }
    const fs::path target(path);
    const std::string prefix = TemporaryPrefix(target.filename().string());
    const auto cutoff = fs::file_time_type::clock::now() - kStaleSaveAge;
    int removed = 0;
    std::error_code ec;
    fs::directory_iterator it(target.has_parent_path() ? target.parent_path() : ".", ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix) || name.size() == prefix.size()) continue;
        if (!std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(),
                         [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::error_code fec;
        if (!it->is_regular_file(fec) || it->last_write_time(fec) > cutoff || fec) continue;
        if (fs::remove(it->path(), fec)) ++removed;
    }
    return removed;
}

bool ForceDirectories(std::string_view hostPath) {
    std::string path = ResolvePath(hostPath);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
    // Iterative matcher with one back-track point for the last "*".
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || LowerAscii(pattern[p]) == LowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<FindEntry> FindFiles(std::string_view hostPattern) {
    std::string native = NativePath(hostPattern);
    size_t slash = native.rfind('/');
    std::string folder = slash == std::string::npos ? "" : native.substr(0, slash + 1);
    std::string pattern = slash == std::string::npos ? native : native.substr(slash + 1);

    std::vector<FindEntry> result;
    std::string dir = folder.empty() ? "." : ResolvePath(folder);
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return result;
    // "*.*" matches every name on Windows, also names without a dot.
    bool all = pattern == "*" || pattern == "*.*";
    if (all) {
        result.push_back({".", kAttrDirectory});
        result.push_back({"..", kAttrDirectory});
    }
    std::error_code ec;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!all && !WildcardMatch(pattern, name)) continue;
        std::error_code sec;
        bool isDir = it->is_directory(sec);
        result.push_back({name, isDir ? kAttrDirectory : kAttrArchive});
    }
    return result;
}

}  // namespace hv
