#include "app/RowIconRenderer.h"

#include <memory>
#include <optional>

#include "app/WindowMailbox.h"
#include "common/FileHelpers.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"

QImage RowIconRenderer::DrawStill(const std::string& savePath, uint32_t size)
{
    const std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(size, size);
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
    if (!frame || frame->width == 0 || frame->pixels.size() < size_t{frame->width} * frame->height) {
        return {};
    }
    QImage still(static_cast<int>(frame->width), static_cast<int>(frame->height), QImage::Format_ARGB32);
    for (uint32_t y = 0; y < frame->height; ++y) {
        std::copy_n(frame->pixels.data() + size_t{y} * frame->width, frame->width,
                    reinterpret_cast<uint32_t*>(still.scanLine(static_cast<int>(y))));
    }
    return still;
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
