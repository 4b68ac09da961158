// The real quintavolte-sim program over its pseudo-terminal, talked to by an independent
// Modbus master (libmodbus). Every wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef QUINTAVOLTE_SIM_PATH
#error "the tests need the path of the quintavolte-sim program"
#endif

extern char **environ;

namespace {

using namespace std::chrono_literals;

// One run of the program, stopped (and reaped) at the latest by the destructor.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        args.insert(args.begin(), QUINTAVOLTE_SIM_PATH);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~SimProcess()
    {
        Stop();
        if (out_ >= 0)
            close(out_);
    }

    // The first line of output, or empty when none comes within the time.
    std::string FirstLine(std::chrono::milliseconds limit = 5000ms)
    {
        std::string line;
        auto end = std::chrono::steady_clock::now() + limit;
        while (out_ >= 0 && std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char c;
            if (read(out_, &c, 1) != 1)
                break;
            if (c == '\n')
                return line;
            line.push_back(c);
        }
        return {};
    }

    // Exit status after SIGTERM (or on its own); -1 when it had to be killed.
    int Stop()
    {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGTERM);
        return Wait(5000ms);
    }

    int Wait(std::chrono::milliseconds limit)
    {
        auto end = std::chrono::steady_clock::now() + limit;
        int st = 0;
        while (pid_ > 0) {
            pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
                pid_ = -1;
            } else if (std::chrono::steady_clock::now() > end) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &st, 0);
                pid_ = -1;
                status_ = -1;
            } else {
                std::this_thread::sleep_for(10ms);
            }
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = -1;
};

struct Master {
    modbus_t *Ctx = nullptr;
    Master(const std::string &path, int unit)
    {
        Ctx = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
        if (!Ctx)
            return;
        modbus_set_slave(Ctx, unit);
        modbus_set_response_timeout(Ctx, 1, 0);
        if (modbus_connect(Ctx) != 0) {
            modbus_free(Ctx);
            Ctx = nullptr;
        }
    }
    ~Master()
    {
        if (Ctx) {
            modbus_close(Ctx);
            modbus_free(Ctx);
        }
    }
};

std::filesystem::path TempPath(const char *name)
{
    return std::filesystem::temp_directory_path() / ("qvsim-" + std::to_string(getpid()) + "-" + name);
}

}  // namespace

TEST(SimProgram, ServesTypeAndSetPointsOverItsTerminal)
{
    std::filesystem::path link = TempPath("link");
    SimProcess sim(
        {"--version", "1.10", "--address", "7", "--link", link.string(), "--uid", "0123456789abcdef00c0ffee"});
    std::string path = sim.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << "first line: " << path;
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    {
        Master m(link.string(), 7);  // libmodbus refuses unit 254, so the own address it is
        ASSERT_NE(m.Ctx, nullptr) << modbus_strerror(errno);

        uint16_t type[10] = {};
        ASSERT_EQ(modbus_read_registers(m.Ctx, 110, 10, type), 10) << modbus_strerror(errno);
        std::string text;
        for (uint16_t r : type)
            for (char c : {static_cast<char>(r & 0xFF), static_cast<char>(r >> 8)})
                if (c != '\0')
                    text.push_back(c);
        EXPECT_EQ(text, "Quintavolte 1.10");

        // The chip identity given on the command line, each word low half first.
        uint16_t uid[6] = {};
        ASSERT_EQ(modbus_read_registers(m.Ctx, 140, 6, uid), 6) << modbus_strerror(errno);
        EXPECT_EQ((std::vector<uint16_t>(uid, uid + 6)),
                  (std::vector<uint16_t>{0x4567, 0x0123, 0xcdef, 0x89ab, 0xffee, 0x00c0}));

        uint32_t bits = std::bit_cast<uint32_t>(13.75f);
        const uint16_t set[2] = {static_cast<uint16_t>(bits & 0xFFFF), static_cast<uint16_t>(bits >> 16)};
        ASSERT_EQ(modbus_write_registers(m.Ctx, 2002, 2, set), 2) << modbus_strerror(errno);
        uint16_t back[2] = {};
        ASSERT_EQ(modbus_read_registers(m.Ctx, 2002, 2, back), 2) << modbus_strerror(errno);
        EXPECT_EQ(back[0], set[0]);
        EXPECT_EQ(back[1], set[1]);

        // Outside the map: an exception reply, not silence.
        EXPECT_EQ(modbus_read_registers(m.Ctx, 2021, 1, back), -1);
        EXPECT_EQ(errno, EMBXILADD);
    }
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(SimProgram, FaultSwitchesShowOnTheLine)
{
    {
        SimProcess sim({"--exception", "Reg.ChargeI"});
        std::string path = sim.FirstLine();
        ASSERT_FALSE(path.empty());
        Master m(path, 1);
        ASSERT_NE(m.Ctx, nullptr);
        uint16_t regs[2];
        EXPECT_EQ(modbus_read_registers(m.Ctx, 2004, 2, regs), -1);
        EXPECT_EQ(errno, EMBXSFAIL);
        EXPECT_EQ(modbus_read_registers(m.Ctx, 2002, 2, regs), 2) << modbus_strerror(errno);
    }
    {
        SimProcess sim({"--bad-crc-every", "2"});
        std::string path = sim.FirstLine();
        ASSERT_FALSE(path.empty());
        Master m(path, 1);
        ASSERT_NE(m.Ctx, nullptr);
        uint16_t reg;
        EXPECT_EQ(modbus_read_registers(m.Ctx, 100, 1, &reg), 1) << modbus_strerror(errno);
        EXPECT_EQ(modbus_read_registers(m.Ctx, 100, 1, &reg), -1);
        EXPECT_EQ(errno, EMBBADCRC);
        modbus_flush(m.Ctx);
        EXPECT_EQ(modbus_read_registers(m.Ctx, 100, 1, &reg), 1) << modbus_strerror(errno);
    }
}

TEST(SimProgram, UnknownOptionExitsWithStatus2)
{
    SimProcess sim({"--no-such-option"});
    EXPECT_EQ(sim.FirstLine(3000ms), "");
    EXPECT_EQ(sim.Wait(5000ms), 2);
}

TEST(SimProgram, WriteLogShowsEachStoredVariableAtOnce)
{
    std::filesystem::path log = TempPath("writes.log");
    std::filesystem::remove(log);
    SimProcess sim({"--log", log.string()});
    std::string path = sim.FirstLine();
    ASSERT_FALSE(path.empty());
    Master m(path, 1);
    ASSERT_NE(m.Ctx, nullptr);

    // One request spanning two float variables, then a single-register write.
    uint32_t maxU = std::bit_cast<uint32_t>(14.4f), chargeI = std::bit_cast<uint32_t>(2.5f);
    const uint16_t both[4] = {static_cast<uint16_t>(maxU & 0xFFFF), static_cast<uint16_t>(maxU >> 16),
                              static_cast<uint16_t>(chargeI & 0xFFFF), static_cast<uint16_t>(chargeI >> 16)};
    ASSERT_EQ(modbus_write_registers(m.Ctx, 2002, 4, both), 4) << modbus_strerror(errno);
    ASSERT_EQ(modbus_write_register(m.Ctx, 2015, 3), 1) << modbus_strerror(errno);
    // A refused write stores nothing and logs nothing.
    EXPECT_EQ(modbus_write_register(m.Ctx, 2014, 1), -1);

    // Read while the stand-in still runs: every line must already be there.
    std::ifstream in(log);
    std::vector<std::string> names, regs, values;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string ms, name, reg, value, extra;
        ASSERT_TRUE(fields >> ms >> name >> reg >> value) << line;
        EXPECT_FALSE(fields >> extra) << line;
        EXPECT_EQ(ms.find_first_not_of("0123456789"), std::string::npos) << line;
        names.push_back(name);
        regs.push_back(reg);
        values.push_back(value);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Reg.ChargeMaxU", "Reg.ChargeI", "Reg.TrainingCycleCount"}));
    EXPECT_EQ(regs, (std::vector<std::string>{"2002", "2004", "2015"}));
    EXPECT_EQ(values, (std::vector<std::string>{"14.4", "2.5", "3"}));
    sim.Stop();
    std::filesystem::remove(log);
}

TEST(SimProgram, WriteLogThatCannotBeOpenedStopsTheStart)
{
    SimProcess sim({"--log", "/nonexistent-dir/writes.log"});
    EXPECT_EQ(sim.FirstLine(3000ms), "");
    EXPECT_EQ(sim.Wait(5000ms), 1);
}

TEST(SimProgram, RepliesArePacedAtTheLineRate)
{
    // 1200 baud: 8.33 ms a character, slow enough to measure without fine timers.
    SimProcess sim({"--line-rate", "1200"});
    std::string path = sim.FirstLine();
    ASSERT_FALSE(path.empty());
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    cfmakeraw(&tio);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &tio), 0);

    // Read 10 registers at 2000: the reply is 5 + 20 = 25 bytes.
    uint8_t request[8] = {0x01, 0x03, 0x07, 0xD0, 0x00, 0x0A};
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < 6; ++i) {
        crc ^= request[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    request[6] = static_cast<uint8_t>(crc);
    request[7] = static_cast<uint8_t>(crc >> 8);
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(write(fd, request, sizeof request), 8);
    std::vector<uint8_t> reply;
    std::chrono::steady_clock::time_point first, last;
    const auto end = sent + 5000ms;
    while (reply.size() < 25 && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        uint8_t buf[64];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        if (reply.empty())
            first = std::chrono::steady_clock::now();
        last = std::chrono::steady_clock::now();
        reply.insert(reply.end(), buf, buf + n);
    }
    close(fd);
    ASSERT_EQ(reply.size(), 25u);
    EXPECT_EQ(reply[2], 20);
    using ms = std::chrono::duration<double, std::milli>;
    const double charMs = 10000.0 / 1200;
    // The request's own 8 characters and the silence after it come before the reply's first
    // character is complete; then one character time per byte. (Lower bounds only: a busy
    // machine can only make us read later.)
    EXPECT_GE(ms(first - sent).count(), (8 + 3.5 + 1) * charMs - 1);
    EXPECT_GE(ms(last - sent).count(), (8 + 3.5 + 25) * charMs - 1);
}
