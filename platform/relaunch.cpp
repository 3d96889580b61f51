#include "platform/relaunch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace hv {

std::string RestartInFolder(const std::string& folder, const std::vector<std::string>& args,
                            const char* dropVariable) {
    if (::chdir(folder.c_str()) != 0) return "cannot enter " + folder + ": " + std::strerror(errno);
    ::unsetenv(dropVariable);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
    return "cannot start the program again in " + folder + ": " + std::strerror(errno);
}

}  // namespace hv
