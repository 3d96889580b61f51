#include "log/ScriptLogFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/system.h"

namespace hv {

bool TScriptLogFile::Failed(const char* what) {
    const int err = errno;
    if (!failureReported_) {
        failureReported_ = true;
        std::fprintf(stderr, "%s: cannot %s the script log file \"%s\" (%s); its text is dropped\n",
                     ModuleName().c_str(), what, path_.c_str(),
                     err ? std::strerror(err) : "not written");
    }
    return false;
}

bool TScriptLogFile::Init(const std::string& folder, const std::string& name) {
    path_ = folder + name;
    failureReported_ = false;
    errno = 0;
    std::FILE* f = std::fopen(ResolvePath(path_).c_str(), "wb");
    if (!f || std::fclose(f) != 0) return Failed("create");
    return true;
}

bool TScriptLogFile::Write(const std::string& text) {
    errno = 0;
    if (!Bound()) return Failed("write to (no file was set up)");
    std::FILE* f = std::fopen(ResolvePath(path_).c_str(), "ab");
    if (!f) return Failed("open");
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fwrite("\r\n", 1, 2, f) == 2 && ok;
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) return Failed("write to");
    failureReported_ = false;
    return true;
}

}  // namespace hv
