#include "icon/IconRenderingManager.h"

#include <system_error>
#include <utility>

#include "common/Log.h"
#include "icon/IconObjectBase.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nothing blocks in Present, so the loop paces itself to a display's refresh
// rate instead of drawing as fast as a core allows.
constexpr auto kFramePeriod = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(16'666'667));
// How often a thread with the box unticked looks again.
constexpr auto kHiddenPause = std::chrono::milliseconds(100);

// The system's millisecond tick count: milliseconds since boot, wrapping at 2^32.
uint32_t TickCount()
{
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<uint32_t>(static_cast<uint64_t>(now.count()));
}

}  // namespace

IconRenderingManager::IconRenderingManager(IconRendererOwner* rendererOwner, uint32_t paneWidth, uint32_t paneHeight)
    : owner(rendererOwner)
{
    device = MakePaneDevice(paneWidth, paneHeight);
    // A pane without pixels gives no device to draw with; the program goes on without icons.
    if (!device) {
        Log("IconRenderingManager::IconRenderingManager() : Direct3Dデバイスの作成に失敗しました");
        return;
    }
    if (owner != nullptr) {
        IconRendererOwner* target = owner;
        device->SetPresentTarget([target](const DeviceFrame& frame) { target->PresentIconFrame(frame); });
    }
    try {
        thread = std::thread(&IconRenderingManager::RenderThread, this);
    } catch (const std::system_error& error) {
        // Without the thread the pane is simply never drawn.
        LogError(error.code());
    }
}

void IconRenderingManager::ForgetIcons(const std::string& prefix)
{
    for (auto it = icons.lower_bound(prefix); it != icons.end() && it->first.starts_with(prefix);) {
        it = icons.erase(it);
    }
}

std::shared_ptr<SoftwareDevice> IconRenderingManager::MakePaneDevice(uint32_t paneWidth, uint32_t paneHeight)
{
    if (paneWidth == 0 || paneHeight == 0) {
        return nullptr;
    }
    auto paneDevice = std::make_shared<SoftwareDevice>(paneWidth, paneHeight);
    // Set once for the life of the device.
    paneDevice->SetSamplerState(0, d3d::SAMP_MAGFILTER, d3d::TEXF_LINEAR);
    paneDevice->SetSamplerState(0, d3d::SAMP_MINFILTER, d3d::TEXF_LINEAR);
    paneDevice->SetSamplerState(0, d3d::SAMP_MIPFILTER, d3d::TEXF_LINEAR);
    paneDevice->SetSamplerState(0, d3d::SAMP_ADDRESSU, d3d::TADDRESS_CLAMP);
    paneDevice->SetSamplerState(0, d3d::SAMP_ADDRESSV, d3d::TADDRESS_CLAMP);
    return paneDevice;
}

IconRenderingManager::~IconRenderingManager()
{
    if (thread.joinable()) {
        {
            // Under the mutex, so that a thread about to pause cannot miss the wake-up.
            const std::lock_guard guard(wakeMutex);
            running = false;
            started = true;
        }
        wake.notify_all();
        // The thread ends after its current pass: at most one frame, or one
        // 100 ms pause of an object with nothing to draw.
        thread.join();
    }
    running = false;
    icons.clear();
    {
        const std::lock_guard guard(lock);
        current.reset();
    }
    device.reset();
}

std::shared_ptr<IconObjectBase> IconRenderingManager::AddIcon(const std::string& key, const std::string& path,
                                                              bool isPS2)
{
    if (!device) {
        return {};
    }
    std::shared_ptr<IconObjectBase> object;
    if (isPS2) {
        object = std::make_shared<IconObjectPS2>(path, device.get());
    } else {
        object = std::make_shared<IconObjectPS1>(path, device.get());
    }
    // A key already cached keeps its object; the new one goes at once.
    return icons.emplace(key, std::move(object)).first->second;
}

void IconRenderingManager::ShowIcon(const std::string& key, const std::string& iconSysPath)
{
    if (!device) {
        return;
    }
    // With the box unticked nothing changes, not even the cache.
    if (owner == nullptr || !owner->IsIconShown()) {
        return;
    }
    const auto found = icons.find(key);
    std::shared_ptr<IconObjectBase> object = found != icons.end() ? found->second : AddIcon(key, iconSysPath, true);
    {
        const std::lock_guard guard(lock);
        current = std::move(object);
    }
    {
        const std::lock_guard guard(wakeMutex);
        running = true;
        started = true;
    }
    wake.notify_all();
}

std::shared_ptr<IconObjectBase> IconRenderingManager::Current()
{
    const std::lock_guard guard(lock);
    return current;
}

void IconRenderingManager::WaitUntil(Clock::time_point deadline)
{
    std::unique_lock guard(wakeMutex);
    wake.wait_until(guard, deadline, [this] { return !running; });
}

void IconRenderingManager::RenderThread()
{
    {
        std::unique_lock guard(wakeMutex);
        wake.wait(guard, [this] { return started; });
    }
    const Clock::time_point origin = Clock::now();
    while (running) {
        const uint32_t time = TickCount();
        // The box's state comes from an atomic the window keeps current: the
        // window's thread may itself be waiting for this one to end.
        if (owner != nullptr && owner->IsIconShown()) {
            {
                const std::lock_guard guard(lock);
                if (current) {
                    current->Update(time);
                    current->Render();
                }
            }
            // The next frame slot after this frame; a frame that overran skips the slots it missed.
            const auto elapsed = Clock::now() - origin;
            WaitUntil(origin + (elapsed / kFramePeriod + 1) * kFramePeriod);
        } else {
            // The pane keeps whatever was last presented in it.
            WaitUntil(Clock::now() + kHiddenPause);
        }
    }
}
