// A named, non-recursive lock, with a scoped guard for RAII use.
#pragma once

#include <mutex>
#include <string>

namespace locket {

class CSync {
public:
    explicit CSync(const char* name = "none") : m_name(name ? name : "") {}
    virtual ~CSync() = default;
    CSync(const CSync&) = delete;
    CSync& operator=(const CSync&) = delete;

    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }
    const std::string& Name() const { return m_name; }

    // BasicLockable, so std::lock_guard and std::unique_lock work on it.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    std::mutex m_mutex;
    std::string m_name;
};

// Holds a CSync for the lifetime of the guard.
class CSyncLock {
public:
    explicit CSyncLock(CSync& sync) : m_sync(sync) { m_sync.Lock(); }
    ~CSyncLock() { m_sync.Unlock(); }
    CSyncLock(const CSyncLock&) = delete;
    CSyncLock& operator=(const CSyncLock&) = delete;

private:
    CSync& m_sync;
};

}  // namespace locket
