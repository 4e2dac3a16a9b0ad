#include "app/IconPane.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <QMetaObject>
#include <QPainter>
#include <QRegion>

IconPane::IconPane(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void IconPane::Present(const DeviceFrame& frame)
{
    const auto width = static_cast<int>(frame.width);
    const auto height = static_cast<int>(frame.height);
    if (width <= 0 || height <= 0 || frame.pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height)) {
        return;
    }
    {
        const std::lock_guard guard(mutex);
        if (pending.width() != width || pending.height() != height) {
            // Opaque: drawn onto the window as it is, without a per-frame conversion.
            pending = QImage(width, height, QImage::Format_RGB32);
        }
        // One look-up of the image's memory: scanLine would check for sharing on every row.
        uchar* const bits = pending.bits();
        const auto stride = static_cast<size_t>(pending.bytesPerLine());
        const size_t row = static_cast<size_t>(width) * 4;
        if (stride == row) {
            std::memcpy(bits, frame.pixels.data(), row * static_cast<size_t>(height));
        } else {
            for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
                std::memcpy(bits + y * stride, frame.pixels.data() + y * static_cast<size_t>(width), row);
            }
        }
        hasPending = true;
    }
    ++presented;
    // One repaint request in flight at most; the paint takes whatever is newest then.
    if (!updatePosted.exchange(true)) {
        // By name: the request is Qt's own allocation, never one made on the rendering thread.
        QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
    }
}

void IconPane::paintEvent(QPaintEvent* event)
{
    updatePosted = false;
    {
        const std::lock_guard guard(mutex);
        if (hasPending) {
            std::swap(pending, showing);
            hasPending = false;
            ++shown;
        }
    }
    if (showing.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // The frame covers the pane (the rest is black): nothing below it needs painting first.
    QPainter painter(this);
    // A frame drawn in the screen's own pixels covers fewer of the window's units.
    showing.setDevicePixelRatio(std::max(1.0, devicePixelRatioF()));
    const QSize onWindow = showing.deviceIndependentSize().toSize();
    const QPoint at((width() - onWindow.width()) / 2, (height() - onWindow.height()) / 2);
    const QRect picture(at, onWindow);
    if (!picture.contains(rect())) {
        const QRegion around = QRegion(rect()).subtracted(picture);
        for (const QRect& part : around) {
            painter.fillRect(part, Qt::black);
        }
    }
    painter.drawImage(at, showing);
}
