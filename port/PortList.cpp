#include "port/PortList.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace {
std::mutex g_mutex;
std::vector<std::string> g_explicit;
std::string g_deviceDir;  // empty: /dev

// The adapters the device is most likely behind come first; the by-id ports that no
// family names (adapters with drivers of their own) follow the USB families. The built-in
// ports are last: a silent one costs the whole reply time.
constexpr std::string_view kFamilies[] = {"ttyUSB", "ttyACM", "ttyAMA", "rfcomm", "ttyS"};
constexpr size_t kByIdAfter = 2;  // families before the by-id ports

bool ParseSuffix(std::string_view s, unsigned long &value)
{
    if (s.empty() || s.size() > 9)
        return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return true;
}
}  // namespace

namespace {

std::mutex g_openMutex;
PortOpenFunction g_open = nullptr;
std::map<std::string, int> g_openErrno;  // path -> errno of its last failed open
std::string g_preferred;

int PosixOpen(const char *path, int flags)
{
    return ::open(path, flags);
}

// The device a path stands for, so a by-id link and the node it points at compare equal.
std::string Canonical(const std::string &path)
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::canonical(path, ec);
    return ec ? path : p.string();
}

// A pseudo-terminal named by its number only, not through a link of its own.
bool BarePseudoTerminal(const std::string &path)
{
    return path.rfind("/dev/pts/", 0) == 0 && path.find('/', 9) == std::string::npos;
}

// Moves the preferred port, when it is one of the candidates, to the front; one the
// automatic search did not find goes in front of them (see SetPreferredPort).
void PreferredFirst(std::vector<std::string> &ports, const std::string &preferred, bool automatic)
{
    if (preferred.empty())
        return;
    std::error_code ec;
    if (!std::filesystem::exists(preferred, ec))
        return;
    const std::string target = Canonical(preferred);
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i] == preferred || Canonical(ports[i]) == target) {
            std::rotate(ports.begin(), ports.begin() + static_cast<long>(i), ports.begin() + static_cast<long>(i) + 1);
            return;
        }
    }
    if (automatic && !BarePseudoTerminal(preferred))
        ports.insert(ports.begin(), preferred);
}

// Appends the paths of more that name a device none of ports names yet.
void AppendNewDevices(std::vector<std::string> &ports, const std::vector<std::string> &more)
{
    std::vector<std::string> seen;
    for (const std::string &p : ports)
        seen.push_back(Canonical(p));
    for (const std::string &p : more) {
        const std::string c = Canonical(p);
        if (std::find(seen.begin(), seen.end(), c) == seen.end()) {
            seen.push_back(c);
            ports.push_back(p);
        }
    }
}

}  // namespace

void SetExplicitPorts(std::vector<std::string> paths)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_explicit = std::move(paths);
}

std::vector<std::string> ExplicitPorts()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_explicit;
}

void SetDeviceDirectory(std::string dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_deviceDir = std::move(dir);
}

std::string DeviceDirectory()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_deviceDir.empty() ? std::string("/dev") : g_deviceDir;
}

std::vector<std::string> ScanSerialDevices(const std::string &dir)
{
    namespace fs = std::filesystem;
    std::vector<std::pair<unsigned long, std::string>> found[std::size(kFamilies)];
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        for (size_t f = 0; f < std::size(kFamilies); ++f) {
            std::string_view family = kFamilies[f];
            unsigned long number;
            // "ttyS" is a prefix of no other family, so the first match is the family.
            if (name.compare(0, family.size(), family) == 0 &&
                ParseSuffix(std::string_view(name).substr(family.size()), number)) {
                found[f].emplace_back(number, it->path().string());
                break;
            }
        }
    }
    std::vector<std::string> byId;
    for (fs::directory_iterator it(dir + "/serial/by-id", ec), end; !ec && it != end; it.increment(ec))
        if (fs::exists(it->path(), ec))  // a link left behind by a device that is gone is no port
            byId.push_back(it->path().string());
    std::sort(byId.begin(), byId.end());

    std::vector<std::string> paths;
    for (size_t f = 0; f < std::size(kFamilies); ++f) {
        std::sort(found[f].begin(), found[f].end());
        std::vector<std::string> family;
        for (auto &entry : found[f])
            family.push_back(std::move(entry.second));
        AppendNewDevices(paths, family);
        if (f + 1 == kByIdAfter) {
            // Only links whose device no family names: the others are those nodes. Nodes are
            // compared to every family, so a link to a ttyS port is not added here either.
            std::vector<std::string> nodes;
            for (size_t g = 0; g < std::size(kFamilies); ++g)
                for (const auto &entry : found[g])
                    nodes.push_back(Canonical(entry.second));
            for (const std::string &link : byId)
                if (std::find(nodes.begin(), nodes.end(), Canonical(link)) == nodes.end())
                    AppendNewDevices(paths, {link});
        }
    }
    return paths;
}

namespace {
std::vector<std::string> PreferredFirst(std::vector<std::string> ports, bool automatic)
{
    std::string preferred;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        preferred = g_preferred;
    }
    PreferredFirst(ports, preferred, automatic);
    return ports;
}
}  // namespace

std::vector<std::string> CandidatePorts()
{
    std::vector<std::string> ports = ExplicitPorts();
    if (!ports.empty())
        return PreferredFirst(std::move(ports), false);
    return PreferredFirst(ScanSerialDevices(DeviceDirectory()), true);
}

std::vector<std::string> PortChoices()
{
    std::vector<std::string> ports = CandidatePorts();
    if (!ExplicitPorts().empty())
        AppendNewDevices(ports, PreferredFirst(ScanSerialDevices(DeviceDirectory()), true));
    return ports;
}

bool SamePort(const std::string &a, const std::string &b)
{
    return a == b || Canonical(a) == Canonical(b);
}

std::string PortPath(int n)
{
    if (n < 1)
        return {};
    std::vector<std::string> ports = CandidatePorts();
    return static_cast<size_t>(n) <= ports.size() ? ports[n - 1] : std::string();
}

void SetPreferredPort(std::string path)
{
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_preferred = std::move(path);
}

void SetPortOpenFunction(PortOpenFunction open)
{
    std::lock_guard<std::mutex> lock(g_openMutex);
    g_open = open;
}

int OpenPortFile(const std::string &path, int flags)
{
    PortOpenFunction open;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        open = g_open != nullptr ? g_open : &PosixOpen;
    }
    const int fd = open(path.c_str(), flags);
    const int error = fd < 0 ? errno : 0;
    {
        std::lock_guard<std::mutex> lock(g_openMutex);
        g_openErrno[path] = error;
    }
    errno = error;
    return fd;
}

int LastOpenErrno(const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_openMutex);
    const auto it = g_openErrno.find(path);
    return it == g_openErrno.end() ? 0 : it->second;
}

bool OpenRefusedForPermission(const std::string &path)
{
    const int e = LastOpenErrno(path);
    return e == EACCES || e == EPERM;
}

std::string PortGroupName(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<char> buf(16384);
    struct group g {};
    struct group *found = nullptr;
    if (getgrgid_r(st.st_gid, &g, buf.data(), buf.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(st.st_gid);
}

std::string PortAccessGroup(const std::string &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    const std::string name = PortGroupName(path);
    return name == "root" ? std::string() : name;
}

bool PortOwnership(const std::string &path, PortOwner *owner)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd *found = nullptr;
    owner->User = getpwuid_r(st.st_uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr
                      ? std::string(found->pw_name)
                      : std::to_string(st.st_uid);
    owner->Group = PortGroupName(path);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    owner->Mode = mode;
    return true;
}

std::string PortOwnerText(const std::string &path)
{
    PortOwner o;
    if (!PortOwnership(path, &o))
        return {};
    return PortOwnerText(o);
}

std::string PortOwnerText(const PortOwner &owner)
{
    if (owner.Mode.empty())
        return {};
    return "owner " + owner.User + ", group " + owner.Group + ", mode " + owner.Mode;
}

std::string SerialByIdName(const std::string &path, const std::string &byIdDir)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string target = Canonical(path);
    const std::string dir = byIdDir.empty() ? DeviceDirectory() + "/serial/by-id" : byIdDir;
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (Canonical(it->path().string()) == target)
            names.push_back(it->path().string());
    std::sort(names.begin(), names.end());  // one answer whatever the directory order
    return names.empty() ? std::string() : names.front();
}

PortState ExaminePort(const std::string &path)
{
    PortState state;
    state.Path = path;
    state.ById = SerialByIdName(path);
    if (state.ById == path)
        state.ById.clear();
    const int fd = OpenPortFile(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (OpenRefusedForPermission(path)) {
            state.Access = PortAccess::NoPermission;
            state.Group = PortAccessGroup(path);
            if (state.Group.empty())
                PortOwnership(path, &state.Owner);
        } else if (e == EBUSY) {
            state.Access = PortAccess::InUse;  // another holder's exclusive mode
        } else {
            state.Error = std::strerror(e);
        }
        return state;
    }
    if (!isatty(fd)) {
        ::close(fd);
        state.Access = PortAccess::NotSerial;
        return state;
    }
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    // A pseudo-terminal is held open by the program that made it (its other end): only
    // another program's lock on it counts there.
    const bool held = BarePseudoTerminal(Canonical(path)) ? LockFileHeld(path) : HeldByOtherProcess(path);
    state.Access = free && !held ? PortAccess::Free : PortAccess::InUse;
    return state;
}

namespace {
std::string g_procDir;
std::string g_lockDir;
}  // namespace

void SetHolderDirectories(std::string procDir, std::string lockDir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_procDir = std::move(procDir);
    g_lockDir = std::move(lockDir);
}

bool LockFileHeld(const std::string &path)
{
    namespace fs = std::filesystem;
    std::string lockDir;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        lockDir = g_lockDir.empty() ? std::string("/var/lock") : g_lockDir;
    }
    // The lock file of the old convention holds the owner's process id, as text.
    for (const std::string &name :
         {fs::path(path).filename().string(), fs::path(Canonical(path)).filename().string()}) {
        std::ifstream in(lockDir + "/LCK.." + name);
        long pid = 0;
        if (in >> pid && pid > 0 && pid != static_cast<long>(getpid()) &&
            (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return true;
    }
    return false;
}

bool HeldByOtherProcess(const std::string &path)
{
    namespace fs = std::filesystem;
    if (LockFileHeld(path))
        return true;
    std::string procDir;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        procDir = g_procDir.empty() ? std::string("/proc") : g_procDir;
    }
    const std::string target = Canonical(path);
    const std::string self = std::to_string(getpid());
    std::error_code ec;
    for (fs::directory_iterator it(procDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self)
            continue;
        std::error_code fdEc;
        for (fs::directory_iterator fd(it->path() / "fd", fdEc), fdEnd; !fdEc && fd != fdEnd; fd.increment(fdEc)) {
            std::error_code linkEc;
            const fs::path to = fs::read_symlink(fd->path(), linkEc);
            if (!linkEc && to.string() == target)
                return true;
        }
    }
    return false;
}

std::string RememberedPortFile()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string dir;
    if (config != nullptr && config[0] == '/') {
        dir = config;
    } else {
        const char *home = std::getenv("HOME");
        if (home == nullptr || home[0] == 0)
            return {};
        dir = std::string(home) + "/.config";
    }
    return dir + "/quintavolte/last-port";
}

namespace {
// The remembered port's file: the port on its first line, its rate (if any) on the second.
std::vector<std::string> RememberedLines()
{
    const std::string file = RememberedPortFile();
    std::vector<std::string> lines;
    if (file.empty())
        return lines;
    std::ifstream in(file);
    for (std::string line; lines.size() < 2 && std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
}  // namespace

std::string RememberedPort()
{
    const std::vector<std::string> lines = RememberedLines();
    return lines.empty() ? std::string() : lines[0];
}

uint32_t RememberedBaud()
{
    const std::vector<std::string> lines = RememberedLines();
    uint32_t baud = 0;
    if (lines.size() < 2)
        return 0;
    const std::string &t = lines[1];
    const auto res = std::from_chars(t.data(), t.data() + t.size(), baud);
    return res.ec == std::errc() && res.ptr == t.data() + t.size() ? baud : 0;
}

bool RememberPort(const std::string &path, uint32_t baud)
{
    namespace fs = std::filesystem;
    const std::string file = RememberedPortFile();
    if (file.empty() || path.empty())
        return false;
    const std::string byId = SerialByIdName(path);
    const std::string name = byId.empty() ? path : byId;
    if (RememberedPort() == name && RememberedBaud() == baud)
        return true;  // nothing to write on every connect
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    // Written aside and renamed: a reader never sees half a name.
    const std::string tmp = file + "." + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out || !(out << name << "\n") || (baud != 0 && !(out << baud << "\n")) || !out.flush()) {
            fs::remove(tmp, ec);
            return false;
        }
    }
    if (std::rename(tmp.c_str(), file.c_str()) != 0) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}
