#include "platform/shell/shell.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cstring>

extern char** environ;

namespace hv {
namespace {

// Children started earlier that have ended are collected here, so that a long game that opens
// several links leaves no finished processes behind; running ones are left alone.
void ReapFinishedChildren(std::vector<pid_t>& children) {
    for (size_t i = 0; i < children.size();) {
        int status = 0;
        if (::waitpid(children[i], &status, WNOHANG) != 0) {
            children[i] = children.back();
            children.pop_back();
        } else {
            ++i;
        }
    }
}

}  // namespace

bool SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                   std::string* error) {
    static std::vector<pid_t> children;
    ReapFinishedChildren(children);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int rc = ::posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (error) *error = program + ": " + std::strerror(rc);
        return false;
    }
    children.push_back(pid);
    return true;
}

}  // namespace hv
