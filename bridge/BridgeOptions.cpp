#include "bridge/BridgeOptions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "device/ModbusAction.h"
#include "device/RegisterMap.h"

namespace {

bool ParseInt(const std::string &text, int lo, int hi, int *out)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi)
        return false;
    *out = value;
    return true;
}

std::string Utf8(const char16_t *name)
{
    return MString(name).ToUtf8();
}

const MbVariableRow *FindRow(const std::string &name)
{
    for (const MbVariableRow &row : DeviceRegisterMap())
        if (Utf8(row.Name) == name)
            return &row;
    return nullptr;
}

// A topic level may not hold the wildcards, and a prefix must not be empty.
bool ValidPrefix(const std::string &prefix)
{
    return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos && prefix.front() != '/' &&
           prefix.find('\0') == std::string::npos;
}

bool ReadFirstLine(const std::string &path, std::string *line)
{
    std::ifstream in(path);
    if (!in)
        return false;
    std::getline(in, *line);
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return true;
}

}  // namespace

const char *BridgeUsage()
{
    return "usage: quintavolte-cli [--port PATH]... mqtt --broker HOST[:PORT] [options]\n"
           "       quintavolte-cli [--port PATH]... mqtt --config FILE [options]\n"
           "\n"
           "Publishes the device's variables to an MQTT broker under PREFIX/<device id>/\n"
           "(<device id>: 24 hexadecimal digits of the device's chip identity):\n"
           "  NAME           the value, retained, on change and every 60 s; numbers in the C\n"
           "                 locale, floats as the shortest text that reads back to the\n"
           "                 device's float (14.4, 27, 0.000123456)\n"
           "  status         \"online\"; \"searching\" while the device is away; \"offline\"\n"
           "                 when the bridge stops, when another device took the port, and\n"
           "                 as its last will; retained\n"
           "  info           {\"type\",\"version\",\"port\"} of the device, retained\n"
           "  stats          the serial link's counters as JSON, retained, every 60 s and at\n"
           "                 once after a reconnection to the broker\n"
           "  set/NAME       a value text to write (only names given with --writable; at most\n"
           "                 64 bytes; an empty one is ignored, a retained one refused); a newer\n"
           "                 set of a name replaces one still waiting, so the last value wins\n"
           "  result/NAME    \"ok\"; \"unchanged\" when the device holds the value already (nothing\n"
           "                 is written); \"replaced\" when a newer set came before it was written;\n"
           "                 or \"refused: ...\", \"failed: ...\" or \"unknown: ...\"\n"
           "  result/SaveConfigToRomNow\n"
           "                 \"saved\" when the device was asked to keep what was written\n"
           "  DPREFIX/<component>/quintavolte_<device id>/<object>/config\n"
           "                 discovery messages, retained (with --ha-discovery)\n"
           "\n"
           "Saving: what a set wrote is saved in the device once no set has come for\n"
           "--save-after seconds (default 5), at most once in 10 minutes (a later save waits\n"
           "its turn), and always when the bridge stops with something unsaved.\n"
           "\n"
           "options:\n"
           "  --config FILE          options from FILE, one a line: \"name = value\" (the option\n"
           "                         without its dashes; yes or no for a switch; # begins a\n"
           "                         comment), and \"password = ...\"; a file with a password\n"
           "                         that others than its owner may read is refused; options\n"
           "                         on the command line override the file\n"
           "  --broker HOST[:PORT]   the broker (port 1883, or 8883 with --tls-ca)\n"
           "  --prefix TOPIC         first topic levels (default quintavolte)\n"
           "  --interval MS          start reading the variables every MS milliseconds (default\n"
           "                         1000); a round that takes longer goes on, one read at a time\n"
           "  --names LIST           variables to publish, comma-separated; Area.* takes a whole\n"
           "                         area (default: every variable that can be read)\n"
           "  --writable LIST        variables a set may write (default: none); the device's\n"
           "                         baud rate and address only with --allow-link-changes, and\n"
           "                         only variables the connected firmware has\n"
           "  --allow-link-changes   let sets change 485.Init.BaudRate and Mb.MyModbusAddr, which\n"
           "                         can cut the device off from the bridge\n"
           "  --address N            the device's unit address (1..247) on a shared RS-485 bus\n"
           "                         (default 254, which whichever device is on the line answers)\n"
           "  --rts-direction        RTS high while sending, for adapters without automatic\n"
           "                         direction control\n"
           "  --save-after SECONDS   the quiet time before a save (default 5); 0: only when\n"
           "                         the bridge stops\n"
           "  --keepalive SECONDS    the MQTT keep-alive (default 30, at least 5): the broker\n"
           "                         drops a link silent for 1.5 times as long\n"
           "  --retry-max SECONDS    attempts to reach the broker back off from 1 s to SECONDS\n"
           "                         (default 30); after a session shorter than a minute (the\n"
           "                         broker ended it, or another client took the client id) the\n"
           "                         back-off goes on growing\n"
           "  --client-id ID         MQTT client id (default quintavolte-<device id>); two bridges\n"
           "                         with one id push each other off the broker\n"
           "  --username U           log in as U, with the password from --password-file F (its\n"
           "                         first line), else QUINTAVOLTE_MQTT_PASSWORD, else the\n"
           "                         configuration file\n"
           "  --tls-ca FILE          TLS with the certificate authorities in FILE (read at start);\n"
           "                         never falls back to a plain connection\n"
           "  --tls-cert FILE --tls-key FILE\n"
           "                         the client's certificate and its unprotected private key,\n"
           "                         for brokers that require one (with --tls-ca; read at start)\n"
           "  --ha-discovery         publish home-automation discovery messages\n"
           "  --discovery-prefix DPREFIX\n"
           "                         first topic level of the discovery messages (default\n"
           "                         homeassistant)\n"
           "  --lang en|ru           the words of the output modes' choices in discovery\n"
           "                         (default en); the home-automation side keeps them as states\n"
           "\n"
           "The broker's refusals (an access rule on a topic or a subscription) are logged once\n"
           "each, with the broker's reason; so is why it ended a session. Log lines begin with\n"
           "the local time in ISO 8601.\n"
           "\n"
           "As a service (systemd), one per serial port, its name under /dev/serial/by-id or\n"
           "a terminal name such as ttyUSB0:\n"
           "  /lib/systemd/system/quintavolte-mqtt@.service   the unit, run as the user quintavolte\n"
           "  /etc/quintavolte/mqtt.conf                      its options (--config), mode 0600\n"
           "  /var/lib/quintavolte/                           its state: the write journal\n"
           "  systemctl enable --now quintavolte-mqtt@ttyUSB0.service\n";
}

bool ParseBrokerAddress(const std::string &text, std::string *host, int *port)
{
    std::string h = text;
    std::string p;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        h = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return false;
            p = rest.substr(1);
            if (p.empty())
                return false;
        }
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string::npos) {
            if (text.find(':', colon + 1) != std::string::npos)
                return false;  // an IPv6 address needs brackets
            h = text.substr(0, colon);
            p = text.substr(colon + 1);
            if (p.empty())
                return false;
        }
    }
    if (h.empty())
        return false;
    int number = 0;
    if (!p.empty() && !ParseInt(p, 1, 65535, &number))
        return false;
    *host = h;
    *port = number;
    return true;
}

bool ExpandNames(const std::string &list, std::vector<std::string> *names, std::string *unknown)
{
    std::set<std::string> wanted;
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        // "A, B" as a person writes it in a configuration file.
        std::string part = list.substr(pos, comma - pos);
        part.erase(0, std::min(part.size(), part.find_first_not_of(" \t")));
        part.erase(part.find_last_not_of(" \t") + 1);
        pos = comma + 1;
        if (part.empty())
            continue;
        bool found = false;
        for (const MbVariableRow &row : DeviceRegisterMap()) {
            const std::string name = Utf8(row.Name);
            const bool match =
                part.back() == '*' ? name.compare(0, part.size() - 1, part, 0, part.size() - 1) == 0 : name == part;
            if (match) {
                wanted.insert(name);
                found = true;
            }
        }
        if (!found) {
            *unknown = part;
            return false;
        }
    }
    names->clear();
    for (const MbVariableRow &row : DeviceRegisterMap())
        if (wanted.count(Utf8(row.Name)) != 0)
            names->push_back(Utf8(row.Name));
    return true;
}

namespace {

constexpr size_t kMaxConfigSize = 64 * 1024;

// Options that take no value; in a configuration file they are "name = yes" or "name = no".
const std::set<std::string> &Flags()
{
    static const std::set<std::string> flags{"--ha-discovery", "--allow-link-changes", "--rts-direction"};
    return flags;
}

const std::set<std::string> &WithValue()
{
    static const std::set<std::string> options{
        "--broker",     "--prefix",        "--interval",  "--names",    "--writable", "--client-id",
        "--username",   "--password-file", "--tls-ca",    "--tls-cert", "--tls-key",  "--discovery-prefix",
        "--save-after", "--keepalive",     "--retry-max", "--lang",     "--address"};
    return options;
}

bool ReadWhole(const std::string &path, std::string *text)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    if (!in || !(all << in.rdbuf()))
        return false;
    *text = all.str();
    return true;
}

// Reads a certificate or key named by an option, once: a file changed or removed later
// cannot turn TLS off or change who the bridge is.
bool ReadPem(const std::string &option, const std::string &path, std::string *file, std::string *pem,
             std::string *error)
{
    if (!ReadWhole(path, pem)) {
        *error = "cannot read the " + std::string(option == "--tls-key" ? "key" : "certificate") + " file " + path;
        return false;
    }
    *file = path;
    return true;
}

// One option at args[*i] (its value after it); *i ends on the last argument taken.
bool TakeOption(const std::vector<std::string> &args, size_t *i, bool fromFile, BridgeOptions *o, bool *namesGiven,
                std::string *passwordFile, bool *passwordGiven, std::string *error)
{
    const std::string &a = args[*i];
    if (a == "--help" || a == "-h") {
        o->Help = true;
        return true;
    }
    if (a == "--ha-discovery") {
        o->Discovery = true;
        return true;
    }
    if (a == "--allow-link-changes") {
        o->AllowLinkChanges = true;
        return true;
    }
    if (a == "--rts-direction") {
        o->RtsDirection = true;
        return true;
    }
    // A password on the command line would show in the list of processes.
    const bool password = a == "--password" && fromFile;
    if (a == "--password" && !fromFile) {
        *error = "a password goes in the configuration file, in " + std::string(kPasswordVariable) +
                 " or in --password-file: on the command line it would show in the list of processes";
        return false;
    }
    if (WithValue().count(a) == 0 && !password) {
        *error = a.rfind("--", 0) == 0 ? "unknown option " + a + " for mqtt" : "mqtt takes no argument " + a;
        return false;
    }
    if (*i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
    }
    const std::string &v = args[++*i];
    std::string unknown;
    if (password) {
        o->Password = v;
        *passwordGiven = true;
        passwordFile->clear();
    } else if (a == "--broker") {
        if (!ParseBrokerAddress(v, &o->Host, &o->Port)) {
            *error = "--broker wants HOST or HOST:PORT (port 1..65535), not '" + v + "'";
            return false;
        }
    } else if (a == "--prefix") {
        std::string prefix = v;
        while (!prefix.empty() && prefix.back() == '/')
            prefix.pop_back();
        if (!ValidPrefix(prefix)) {
            *error = "--prefix wants topic levels without + or #, not '" + v + "'";
            return false;
        }
        o->Prefix = prefix;
    } else if (a == "--interval") {
        if (!ParseInt(v, 10, 3600000, &o->IntervalMs)) {
            *error = "--interval wants milliseconds from 10 to 3600000, not '" + v + "'";
            return false;
        }
    } else if (a == "--address") {
        if (!ParseUnitAddress(v, &o->Address)) {
            *error = UnitAddressError(v);
            return false;
        }
    } else if (a == "--save-after") {
        int seconds = 0;
        if (!ParseInt(v, 0, 86400, &seconds)) {
            *error = "--save-after wants seconds from 0 to 86400, not '" + v + "'";
            return false;
        }
        o->Saving.QuietMs = uint32_t(seconds) * 1000;
    } else if (a == "--keepalive") {
        // Below 5 s the protocol's own traffic would crowd a slow link.
        if (!ParseInt(v, 5, 65535, &o->KeepAliveS)) {
            *error = "--keepalive wants seconds from 5 to 65535, not '" + v + "'";
            return false;
        }
    } else if (a == "--retry-max") {
        if (!ParseInt(v, 1, 3600, &o->RetryMaxS)) {
            *error = "--retry-max wants seconds from 1 to 3600, not '" + v + "'";
            return false;
        }
    } else if (a == "--names" || a == "--writable") {
        std::vector<std::string> *list = a == "--names" ? &o->Names : &o->Writable;
        if (!ExpandNames(v, list, &unknown)) {
            *error = "unknown variable " + unknown + " in " + a;
            return false;
        }
        *namesGiven = *namesGiven || a == "--names";
    } else if (a == "--client-id") {
        if (v.empty()) {
            *error = "--client-id must not be empty";
            return false;
        }
        o->ClientId = v;
    } else if (a == "--username") {
        o->Username = v;
    } else if (a == "--password-file") {
        *passwordFile = v;
        *passwordGiven = false;
    } else if (a == "--tls-ca") {
        return ReadPem(a, v, &o->TlsCaFile, &o->TlsCaPem, error);
    } else if (a == "--tls-cert") {
        return ReadPem(a, v, &o->TlsCertFile, &o->TlsCertPem, error);
    } else if (a == "--tls-key") {
        return ReadPem(a, v, &o->TlsKeyFile, &o->TlsKeyPem, error);
    } else if (a == "--lang") {
        if (v != "en" && v != "ru") {
            *error = "--lang wants en or ru, not '" + v + "'";
            return false;
        }
        o->English = v == "en";
    } else if (a == "--discovery-prefix") {
        std::string prefix = v;
        while (!prefix.empty() && prefix.back() == '/')
            prefix.pop_back();
        if (!ValidPrefix(prefix)) {
            *error = "--discovery-prefix wants topic levels without + or #, not '" + v + "'";
            return false;
        }
        o->DiscoveryPrefix = prefix;
    }
    return true;
}

std::string TrimmedText(const std::string &text)
{
    const size_t b = text.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    return text.substr(b, text.find_last_not_of(" \t\r") - b + 1);
}

}  // namespace

bool ReadBridgeConfig(const std::string &path, std::vector<std::string> *args, std::vector<std::string> *where,
                      std::string *error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = "cannot read the configuration file " + path + ": " +
                 (fd >= 0 ? std::string("not a regular file") : std::string(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0 && text.size() <= kMaxConfigSize;)
        text.append(buf, size_t(n));
    ::close(fd);
    if (text.size() > kMaxConfigSize) {
        *error = "the configuration file " + path + " is too large to be one";
        return false;
    }
    std::istringstream in(text);
    int lineNo = 0;
    bool holdsPassword = false;
    for (std::string raw; std::getline(in, raw);) {
        ++lineNo;
        const std::string line = TrimmedText(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const std::string at = path + ":" + std::to_string(lineNo);
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = at + ": not a \"name = value\" line";
            return false;
        }
        const std::string name = TrimmedText(line.substr(0, eq));
        const std::string value = TrimmedText(line.substr(eq + 1));
        const std::string option = "--" + name;
        if (name == "config" || (WithValue().count(option) == 0 && Flags().count(option) == 0 && name != "password")) {
            *error = at + ": unknown option " + name;
            return false;
        }
        if (Flags().count(option) != 0) {
            if (value == "yes" || value == "true" || value == "1") {
                args->push_back(option);
                where->push_back(at);
            } else if (value != "no" && value != "false" && value != "0") {
                *error = at + ": " + name + " wants yes or no, not '" + value + "'";
                return false;
            }
            continue;
        }
        holdsPassword = holdsPassword || (name == "password" && !value.empty());
        args->push_back(option);
        args->push_back(value);
        where->push_back(at);
        where->push_back(at);
    }
    if (holdsPassword && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *error = "the configuration file " + path +
                 " holds a password and others may read it: make it its owner's alone (chmod 600 " + path + ")";
        return false;
    }
    return true;
}

bool ParseBridgeOptions(const std::vector<std::string> &commandLine, BridgeOptions *o, std::string *error)
{
    *o = BridgeOptions();
    // The file's options first, so that the command line overrides them.
    std::vector<std::string> args;
    std::vector<std::string> where;
    std::vector<std::string> rest;
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != "--config") {
            rest.push_back(commandLine[i]);
            continue;
        }
        if (i + 1 >= commandLine.size()) {
            *error = "--config needs a file";
            return false;
        }
        if (!ReadBridgeConfig(commandLine[++i], &args, &where, error))
            return false;
    }
    const size_t fromFile = args.size();
    args.insert(args.end(), rest.begin(), rest.end());
    where.resize(args.size());

    bool namesGiven = false;
    std::string passwordFile;
    bool passwordGiven = false;  // by the file itself
    bool passwordFileOnCommandLine = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const size_t first = i;
        passwordFileOnCommandLine = passwordFileOnCommandLine || (i >= fromFile && args[i] == "--password-file");
        if (!TakeOption(args, &i, i < fromFile, o, &namesGiven, &passwordFile, &passwordGiven, error)) {
            if (!where[first].empty())
                *error = where[first] + ": " + *error;
            return false;
        }
    }
    if (o->Help)
        return true;
    if (o->Host.empty()) {
        *error = "mqtt needs --broker HOST[:PORT]";
        return false;
    }
    // The environment stands above the file, below the command line.
    const char *fromEnvironment = std::getenv(kPasswordVariable);
    if (fromEnvironment != nullptr && *fromEnvironment != '\0' && !passwordFileOnCommandLine) {
        o->Password = fromEnvironment;
        passwordFile.clear();
        passwordGiven = true;
    }
    if (!passwordFile.empty()) {
        if (!ReadFirstLine(passwordFile, &o->Password)) {
            *error = "cannot read the password file " + passwordFile;
            return false;
        }
        passwordGiven = true;
    }
    if (passwordGiven && o->Username.empty()) {
        *error = "a password goes with --username";
        return false;
    }
    if (o->TlsCertFile.empty() != o->TlsKeyFile.empty()) {
        *error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (!o->TlsCertFile.empty() && o->TlsCaFile.empty()) {
        *error = "--tls-cert goes with --tls-ca, the authorities that vouch for the broker";
        return false;
    }
    for (const std::string &name : o->Writable) {
        if (FindRow(name)->Access == mbaRead) {
            *error = name + " is read-only and cannot be made writable";
            return false;
        }
    }
    if (!namesGiven) {
        // Commands that can only be written have nothing to show.
        for (const MbVariableRow &row : DeviceRegisterMap())
            if (row.Access != mbaWrite)
                o->Names.push_back(Utf8(row.Name));
    }
    return true;
}
