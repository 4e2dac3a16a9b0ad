#include "app/WindowMailbox.h"

#include <utility>

#include <QMetaObject>

WindowMailbox::WindowMailbox(QObject* parent) : QObject(parent) {}

void WindowMailbox::Post(std::function<void()> work)
{
    {
        const std::lock_guard guard(mutex);
        queue.push_back(std::move(work));
        if (drainPosted) {
            return;
        }
        drainPosted = true;
    }
    // By name: Qt allocates the event itself, and one event drains everything queued by then.
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void WindowMailbox::Drain()
{
    std::deque<std::function<void()>> batch;
    {
        const std::lock_guard guard(mutex);
        batch.swap(queue);
        drainPosted = false;
    }
    for (auto& work : batch) {
        work();
    }
}
