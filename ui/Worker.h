#pragma once

// Work off the window's thread: one request at a time on a thread of its
// own, its progress and its result brought back to the window's thread. A
// newer request overtakes the running one: that one is told to stop, waited
// for, and nothing more of it arrives.

#include <QObject>
#include <atomic>
#include <functional>
#include <thread>

namespace eks {

class Worker : public QObject {
    Q_OBJECT
  public:
    explicit Worker(QObject* parent = nullptr);
    ~Worker() override;  // abandons the running request

    // What a request sees on the worker's thread: the flag that asks it to
    // stop, and its progress, shown on the window's thread unless it has
    // been overtaken meanwhile.
    struct Context {
        const std::atomic<bool>& cancel;
        std::function<void(int value)> progress;
    };
    // A request: its work, run on the worker's thread, returns what is to be
    // done with its result on the window's thread once it has ended.
    using Done = std::function<void()>;
    using Task = std::function<Done(const Context&)>;
    using Progress = std::function<void(int value)>;

    // Abandons the running request and starts this one.
    void Start(Task task, Progress progress = {});
    // Asks the running request to stop without waiting for it; its result
    // still arrives, and says that it stopped.
    void Stop();
    // Asks the running request to stop and waits for it; nothing of it
    // arrives any more.
    void Abandon();
    // Between Start and the delivery of the request's result.
    bool Running() const { return running_; }

  private:
    void Join();

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    int request_ = 0;  // the request whose results count; older ones are dropped
};

}  // namespace eks
