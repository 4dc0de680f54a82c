// A CSmartKey that records its events in order, for the monitor tests and the probe.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "smart_key.h"

class RecordingKey : public CSmartKey {
public:
    ~RecordingKey() override { StopMonitoring(); }

    void onKeyOpened(const char *name, DWORD, const char *pin) override { Add("opened " + std::string(name) + " " + pin); }
    void onKeyInserted(const char *name) override
    {
        Add("inserted " + std::string(name));
        if (insertedHook)
            insertedHook(name);
    }
    void onKeyRemoved(const char *name) override { Add("removed " + std::string(name)); }
    void onFinishInit(int value) override
    {
        Add("finish " + std::to_string(value));
        if (startOnFinish)
            StartMonitoring();
        monitorStarted_ = true;
    }
    bool onNeedPIN(const char *name, int count, int tries) override
    {
        Add("needpin " + std::string(name) + " " + std::to_string(count) + " " + std::to_string(tries));
        return CSmartKey::onNeedPIN(name, count, tries);
    }
    void onKeyError(const char *name, const char *text) override { Add("error " + std::string(name) + " " + text); }
    void onNoKey() override { Add("nokey"); }
    void onReaderChanged(const char *name, int attached) override
    {
        Add("reader " + std::string(name) + " " + std::to_string(attached));
    }

    std::vector<std::string> Events()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    int Count(const std::string &event)
    {
        int n = 0;
        for (const std::string &e : Events())
            n += e == event;
        return n;
    }
    // Waits up to `ms` for `event` to have happened `times` times.
    bool WaitFor(const std::string &event, DWORD ms = 5000, int times = 1)
    {
        DWORD start = GetTickCount();
        while (Count(event) < times) {
            if (GetTickCount() - start > ms)
                return false;
            Sleep(10);
        }
        return true;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    // Starts the initialisation (monitoring follows from onFinishInit) and waits for it, and for
    // onFinishInit to have started the monitor: it records "finish" before it does. (A monitor
    // stopped by one of its own event handlers meanwhile is started all the same.)
    bool Start(bool monitor = true)
    {
        startOnFinish = monitor;
        monitorStarted_ = false;
        HANDLE done = StartInit(kAppNotes);
        if (done == INVALID_HANDLE_VALUE)
            return false;
        if (WaitForSingleObject(done, 15000) != WAIT_OBJECT_0 || !WaitFor("finish 0"))
            return false;
        for (DWORD start = GetTickCount(); !monitorStarted_; Sleep(1))
            if (GetTickCount() - start > 5000)
                return false;
        return true;
    }
    HANDLE MonitorThread() const { return m_monitorThread; }
    // The monitor gate's state as it is now.
    keygate::GateSnapshot Gate() { return m_gate.Snapshot(); }
    ReaderRecord *Record(int i) { return m_readers[i]; }
    // The name of the record FindReader finds for `readerName`, empty when none.
    std::string NameOf(const char *readerName)
    {
        std::optional<ReaderRecord> r = FindReader(readerName);
        return r ? std::string(r->name) : std::string();
    }
    ReaderRecord *AnyReader() { return &m_anyReader; }

    bool startOnFinish = true;
    std::function<void(const char *)> insertedHook;
    // Called with every event's text once it is recorded, on the thread that raised the event
    // (inside the handler: a hook that blocks, blocks the handler).
    std::function<void(const std::string &)> eventHook;

private:
    void Add(const std::string &event)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
        }
        if (eventHook)
            eventHook(event);
    }
    std::mutex mutex_;
    std::atomic<bool> monitorStarted_{false};
    std::vector<std::string> events_;
};
