#include "port/PortList.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace {
std::mutex g_mutex;
std::vector<std::string> g_explicit;

// The adapters the device is most likely behind come first.
constexpr std::string_view kFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};

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

void SetExplicitPorts(std::vector<std::string> paths)
{
  std::lock_guard<std::mutex> lock(g_mutex);
  g_explicit = std::move(paths);
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
  std::vector<std::string> paths;
  for (auto &family : found) {
    std::sort(family.begin(), family.end());
    for (auto &entry : family)
      paths.push_back(std::move(entry.second));
  }
  return paths;
}

std::vector<std::string> CandidatePorts()
{
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_explicit.empty())
      return g_explicit;
  }
  return ScanSerialDevices("/dev");
}

std::string PortPath(int n)
{
  if (n < 1)
    return {};
  std::vector<std::string> ports = CandidatePorts();
  return static_cast<size_t>(n) <= ports.size() ? ports[n - 1] : std::string();
}
