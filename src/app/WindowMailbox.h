#pragma once

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

#include <QObject>

// Work handed to the window's thread by the controller's worker and the rendering thread.
// Each hand-off passes through this queue's own mutex, so what a piece of work captured on
// one thread is seen whole on the other (Qt's event queue gives the same order, but its
// locks are invisible to ThreadSanitizer).
class WindowMailbox : public QObject {
    Q_OBJECT

public:
    explicit WindowMailbox(QObject* parent);

    // Runs work later on this object's thread, in the order posted. Any thread.
    void Post(std::function<void()> work);

    // Runs work on this object's thread and waits for its result. Only from another thread:
    // the window's thread must never wait for itself. Work dropped unrun (the window went
    // away) answers the fallback.
    template <typename T>
    T Ask(std::function<T()> work, T fallback)
    {
        auto answer = std::make_shared<std::promise<T>>();
        std::future<T> result = answer->get_future();
        Post([answer, work = std::move(work)] { answer->set_value(work()); });
        try {
            return result.get();
        } catch (const std::future_error&) {
            return fallback;
        }
    }

private:
    Q_INVOKABLE void Drain();

    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    bool drainPosted = false;
};
