#include "ui/Worker.h"

#include <exception>

namespace eks {

Worker::Worker(QObject* parent) : QObject(parent) {}

Worker::~Worker() {
    Abandon();
}

void Worker::Join() {
    if (thread_.joinable()) thread_.join();
}

void Worker::Start(Task task, Progress progress) {
    Abandon();
    cancel_ = false;
    running_ = true;
    const int request = ++request_;
    thread_ = std::thread([this, request, task = std::move(task), progress = std::move(progress)] {
        const Context context{cancel_, [this, request, progress](int value) {
                                  if (!progress) return;
                                  QMetaObject::invokeMethod(
                                      this,
                                      [this, request, progress, value] {
                                          if (request == request_ && running_) progress(value);
                                      },
                                      Qt::QueuedConnection);
                              }};
        Done done;
        try {
            done = task(context);
        } catch (const std::exception&) {
            // A request reports its own failures; one that escapes ends it
            // with nothing to show.
        }
        QMetaObject::invokeMethod(
            this,
            [this, request, done = std::move(done)] {
                if (request != request_) return;
                Join();  // it has ended: this was the last thing it did
                running_ = false;
                if (done) done();
            },
            Qt::QueuedConnection);
    });
}

void Worker::Stop() {
    cancel_ = true;
}

void Worker::Abandon() {
    cancel_ = true;
    Join();
    ++request_;  // what it posted before it ended is dropped
    running_ = false;
}

}  // namespace eks
