#include "app/RowIconRenderer.h"

#include <algorithm>
#include <memory>
#include <optional>

#include <QRect>

#include "app/WindowMailbox.h"
#include "common/FileHelpers.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"

namespace {

// Drawn larger than shown, then cropped to what was drawn and scaled down
// smoothly: the pane frames the model with room to turn, which at a row's
// height would leave a few pixels of icon in a mostly empty square.
constexpr uint32_t kOversample = 4;
constexpr uint32_t kLargestDrawn = 256;

// The part of the picture the model covers, made square about its middle;
// nothing when no pixel wrote depth (a PS1 icon fills the frame without depth).
std::optional<QRect> CoveredSquare(const std::vector<float>& depth, int side)
{
    int left = side, top = side, right = -1, bottom = -1;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            if (depth[static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x)] < 1.0f) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return std::nullopt;
    }
    const int extent = std::max(right - left, bottom - top) + 1;
    const QRect square((left + right + 1 - extent) / 2, (top + bottom + 1 - extent) / 2, extent, extent);
    return square.intersected({0, 0, side, side});
}

}  // namespace

QImage RowIconRenderer::DrawStill(const std::string& savePath, uint32_t size)
{
    if (size == 0) {
        return {};
    }
    const uint32_t drawnSide = std::clamp(size * kOversample, size, std::max(size, kLargestDrawn));
    const std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(drawnSide, drawnSide);
    if (!device) {
        return {};
    }
    std::optional<DeviceFrame> frame;
    device->SetPresentTarget([&frame](const DeviceFrame& presented) { frame = presented; });
    std::unique_ptr<IconObjectBase> icon;
    if (IsDirectory(savePath)) {
        icon = std::make_unique<IconObjectPS2>(JoinPath(savePath, "icon.sys"), device.get());
    } else {
        icon = std::make_unique<IconObjectPS1>(savePath, device.get());
    }
    icon->Update(0);
    icon->Render();
    const auto side = static_cast<int>(device->Width());
    const std::vector<float> depth = device->DepthBuffer();
    if (!frame || frame->width != device->Width() || frame->height != device->Height() ||
        frame->pixels.size() < depth.size() || depth.size() != static_cast<size_t>(side) * static_cast<size_t>(side)) {
        return {};
    }
    const std::optional<QRect> covered = CoveredSquare(depth, side);
    QImage drawn(side, side, QImage::Format_ARGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(drawn.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(side) + static_cast<size_t>(x);
            // The pane ignores alpha (a PS2 texel's 0x80 means opaque): a still shows
            // what the model covers, opaque, and nothing around it. A PS1 icon keeps its own.
            if (!covered) {
                line[x] = frame->pixels[at];
            } else {
                line[x] = depth[at] < 1.0f ? (frame->pixels[at] | 0xFF000000u) : 0u;
            }
        }
    }
    const auto shown = static_cast<int>(size);
    return drawn.copy(covered.value_or(QRect(0, 0, side, side)))
        .scaled(shown, shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

RowIconRenderer::RowIconRenderer(WindowMailbox* windowMailbox, Show onShow)
    : mailbox(windowMailbox), show(std::move(onShow)), worker([this] { Work(); })
{
}

RowIconRenderer::~RowIconRenderer()
{
    {
        const std::lock_guard guard(mutex);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    worker.join();
}

void RowIconRenderer::Request(ListSide side, const std::string& slot, const std::string& name,
                              const std::string& savePath, uint32_t size)
{
    {
        const std::lock_guard guard(mutex);
        jobs.push_back({side, slot, name, savePath, size, generations[static_cast<int>(side)]});
    }
    wake.notify_one();
}

void RowIconRenderer::Forget(ListSide side)
{
    const std::lock_guard guard(mutex);
    ++generations[static_cast<int>(side)];
    std::erase_if(jobs, [side](const Job& job) { return job.side == side; });
}

void RowIconRenderer::Work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock guard(mutex);
            wake.wait(guard, [this] { return stopping || !jobs.empty(); });
            if (stopping) {
                return;
            }
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        QImage still = DrawStill(job.path, job.size);
        if (still.isNull()) {
            continue;
        }
        // A still of a list emptied meanwhile would land on another save of the same name.
        mailbox->Post([this, job, still = std::move(still)] {
            {
                const std::lock_guard guard(mutex);
                if (job.generation != generations[static_cast<int>(job.side)]) {
                    return;
                }
            }
            show(job.side, job.slot, job.name, still);
        });
    }
}
