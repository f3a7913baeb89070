// A worker thread that calls one pass function again and again until stopped.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace locket {

class CSingleThread {
public:
    using PassFunction = bool (*)(void* argument);

    explicit CSingleThread(const char* name = "") : m_name(name ? name : "") {}
    virtual ~CSingleThread();
    CSingleThread(const CSingleThread&) = delete;
    CSingleThread& operator=(const CSingleThread&) = delete;

    // Starts the thread; false when one is already running. The two trailing values are
    // accepted for the callers' sake and have no meaning here.
    bool BeginThread(PassFunction function, void* argument, unsigned int = 0, int = 0);
    bool BeginThread(std::function<bool()> pass);

    // Returns once the current pass has finished and the thread has been joined; no pass
    // starts afterwards. Safe to call when nothing runs.
    void StopThread();
    // Only the flag of StopThread: no pass starts after the current one. A pass that waits for
    // work is woken by its owner after this, then StopThread joins.
    void RequestStop() { m_stop.store(true); }

    bool IsRunning() const { return m_thread.joinable(); }
    const std::string& Name() const { return m_name; }

private:
    void Run();

    std::string m_name;
    std::function<bool()> m_pass;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace locket
