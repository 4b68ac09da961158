// A helper program started by a test: its first output line is read with a bound, its
// stderr kept for the failure message, and it is stopped when the test ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

namespace testutil {

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess() { Stop(); }

    // Starts argv[0] with stdout on a pipe and stderr in a temporary file.
    bool Start(const std::vector<std::string> &argv)
    {
        int out[2];
        if (pipe(out) != 0)
            return false;
        char errName[] = "/tmp/qv-child-stderr-XXXXXX";
        const int errFd = mkstemp(errName);
        errPath_ = errName;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(errFd);
        out_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            return false;
        }
        return true;
    }

    // The first line of stdout, or empty when none came within the bound.
    std::string FirstLine(int timeoutMs = 5000)
    {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char c;
            const ssize_t r = read(out_, &c, 1);
            if (r <= 0)
                break;
            if (c == '\n')
                return line;
            line.push_back(c);
        }
        return {};
    }

    // Everything readable on stdout within the bound (until the program closes it).
    std::string ReadAll(int timeoutMs)
    {
        std::string text;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char buf[256];
            const ssize_t r = read(out_, buf, sizeof buf);
            if (r <= 0)
                break;
            text.append(buf, static_cast<size_t>(r));
        }
        return text;
    }

    std::string Stderr() const
    {
        std::ifstream in(errPath_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    bool Signal(int sig) { return pid_ > 0 && kill(pid_, sig) == 0; }

    // Bytes the program has read so far, from files and its terminal alike (from /proc):
    // a stand-in's count grows with every request that reaches it.
    unsigned long long BytesRead() const
    {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/io");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("rchar:", 0) == 0)
                return std::stoull(line.substr(6));
        return 0;
    }

    // Whether the program has installed a handler for the signal (from /proc).
    bool Catches(int sig) const
    {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
        return false;
    }

    // Stops reading: the program's next write to stdout fails.
    void CloseOutput()
    {
        if (out_ >= 0) {
            close(out_);
            out_ = -1;
        }
    }

    // The exit status once the program has ended within the bound, 128 + the signal's
    // number when a signal ended it, or -1 when it was still running (it is then killed,
    // unless kill is false).
    int WaitExit(int timeoutMs, bool killWhenLate = true)
    {
        if (pid_ <= 0)
            return -1;
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (waitpid(pid_, &status, WNOHANG) != pid_) {
            if (std::chrono::steady_clock::now() >= end) {
                if (!killWhenLate)
                    return -1;
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                pid_ = -1;
                return -1;
            }
            usleep(10000);
        }
        pid_ = -1;
        if (WIFSIGNALED(status))
            return 128 + WTERMSIG(status);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Stop()
    {
        if (pid_ > 0) {
            kill(pid_, SIGCONT);
            kill(pid_, SIGTERM);
            for (int i = 0; i < 200; ++i) {
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                usleep(10000);
            }
            if (pid_ > 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                pid_ = -1;
            }
        }
        if (out_ >= 0) {
            close(out_);
            out_ = -1;
        }
        if (!errPath_.empty()) {
            unlink(errPath_.c_str());
            errPath_.clear();
        }
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string errPath_;
};

}  // namespace testutil
