#pragma once
// The icon pane: shows the frames the rendering thread presents. At most one
// frame waits for the window's thread, and a newer one replaces it: a busy
// window thread never builds a queue of frames, it just shows the newest.
#include <atomic>
#include <mutex>

#include <QImage>
#include <QLabel>

#include "icon/SoftwareDevice.h"

class IconPane : public QLabel {
    Q_OBJECT

public:
    explicit IconPane(QWidget* parent = nullptr);

    // From any thread: the frame is copied once and the pane asked to repaint.
    void Present(const DeviceFrame& frame);
    // Frames presented, and frames the window's thread took to show (for tests).
    uint64_t PresentedCount() const { return presented.load(); }
    uint64_t ShownCount() const { return shown.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::mutex mutex;
    // Written by Present, taken by paintEvent: two images swapped, never reallocated
    // while the pane keeps its size.
    QImage pending;
    QImage showing;
    bool hasPending = false;
    std::atomic<bool> updatePosted{false};
    std::atomic<uint64_t> presented{0};
    std::atomic<uint64_t> shown{0};
};
