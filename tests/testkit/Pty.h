// A pseudo-terminal whose slave stands in for a serial device: the program under test
// opens the slave path as its port, the test plays the far end on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace testkit {

class Pty {
public:
    Pty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            const char *name = ptsname(master_);
            if (name)
                slave_ = name;
        }
    }
    ~Pty()
    {
        if (held_ >= 0)
            close(held_);
        CloseMaster();
    }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool Ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string &SlavePath() const { return slave_; }
    int MasterFd() const { return master_; }

    // Keeps the slave open in raw mode, so bytes pass as they are and the master never sees
    // a hang-up between one user's close and the next one's open.
    bool HoldSlave()
    {
        if (held_ < 0 && Ok())
            held_ = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        if (held_ < 0 || tcgetattr(held_, &t) != 0)
            return false;
        cfmakeraw(&t);
        return tcsetattr(held_, TCSANOW, &t) == 0;
    }
    void CloseMaster()
    {
        if (master_ >= 0)
            close(master_);
        master_ = -1;
    }

    bool Write(const std::vector<uint8_t> &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t r = write(master_, bytes.data() + done, bytes.size() - done);
            if (r <= 0)
                return false;
            done += static_cast<size_t>(r);
        }
        return true;
    }

    // What the program sent: reads until n bytes came (never more) or the bound passed.
    std::vector<uint8_t> Read(size_t n, int timeoutMs = 5000)
    {
        std::vector<uint8_t> got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                continue;
            uint8_t buf[256];
            ssize_t r = read(master_, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0)
                break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    // Everything that arrives within a short while (to check that nothing was sent).
    std::vector<uint8_t> Drain(int ms = 100) { return Read(SIZE_MAX, ms); }

    // One frame: waits up to firstByteMs for its start and ends it at silenceMs without a byte.
    std::vector<uint8_t> ReadFrame(int firstByteMs, int silenceMs)
    {
        std::vector<uint8_t> frame;
        for (int wait = firstByteMs;; wait = silenceMs) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, wait) <= 0 || !(p.revents & POLLIN))
                return frame;
            uint8_t buf[512];
            const ssize_t r = read(master_, buf, sizeof buf);
            if (r <= 0)
                return frame;
            frame.insert(frame.end(), buf, buf + r);
        }
    }

    // The slave's line settings, as the port set them.
    termios SlaveSettings() const
    {
        termios t{};
        tcgetattr(master_, &t);
        return t;
    }

private:
    int master_ = -1;
    int held_ = -1;
    std::string slave_;
};

}  // namespace testkit
