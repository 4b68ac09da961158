// Where the programs and sources a test needs are, found from the test program's own place.
// The build hands each test only paths relative to its folder, so a test's compile command
// is the same in every clone and build folder, and the compiler cache serves all of them.
#pragma once

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

namespace qvtest {

// relative (to the folder of the running test program) made absolute; the text lives as
// long as the program.
inline const char *BuildPath(const char *relative)
{
    static std::mutex guard;
    static std::map<std::string, std::string> known;
    std::lock_guard<std::mutex> lock(guard);
    auto [it, added] = known.try_emplace(relative);
    if (added) {
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        const std::filesystem::path exe(std::string(self, n > 0 ? static_cast<size_t>(n) : 0));
        it->second = (exe.parent_path() / relative).lexically_normal().string();
    }
    return it->second.c_str();
}

}  // namespace qvtest
