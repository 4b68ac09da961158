// Re-entrant critical section and its scope guard, the only locks of the program.
#pragma once
#include <mutex>

class CCritSection {
public:
    CCritSection() = default;
    CCritSection(const CCritSection &) = delete;
    CCritSection &operator=(const CCritSection &) = delete;

    void Enter() { m_.lock(); }
    bool TryEnter() { return m_.try_lock(); }
    void Leave() { m_.unlock(); }

private:
    std::recursive_mutex m_;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSection &cs) : cs_(cs) { cs_.Enter(); }
    ~CAutoLock() { cs_.Leave(); }
    CAutoLock(const CAutoLock &) = delete;
    CAutoLock &operator=(const CAutoLock &) = delete;

private:
    CCritSection &cs_;
};
