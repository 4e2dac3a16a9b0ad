#pragma once
// Everything the icon pane needs: the device that draws into it, a cache of
// icon objects keyed by save name, the object currently shown, and a
// rendering thread that animates it while the "show the icon" box is ticked.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "icon/IconRendererOwner.h"
#include "icon/SoftwareDevice.h"

class IconObjectBase;

class IconRenderingManager {
public:
    // The pane's size in pixels. Starts the rendering thread, which waits for the first ShowIcon.
    IconRenderingManager(IconRendererOwner* owner, uint32_t paneWidth, uint32_t paneHeight);
    IconRenderingManager(const IconRenderingManager&) = delete;
    IconRenderingManager& operator=(const IconRenderingManager&) = delete;
    // Stops the thread (within one frame) before anything is released.
    virtual ~IconRenderingManager();

    // Creates and caches an icon object (PS2 from an icon.sys path, PS1 from a
    // save file); an existing entry stays. Returns the object under key.
    std::shared_ptr<IconObjectBase> AddIcon(const std::string& key, const std::string& path, bool isPS2);
    // Shows the icon of key (made from iconSysPath when not cached), when the box is ticked.
    void ShowIcon(const std::string& key, const std::string& iconSysPath);
    bool IsCached(const std::string& key) const { return icons.count(key) != 0; }
    // Drops every cached icon whose key begins with prefix: a card's icons when
    // another card or slot takes its place. The icon being drawn stays until replaced.
    void ForgetIcons(const std::string& prefix);
    void ForgetIcon(const std::string& key) { icons.erase(key); }

    // A device as the pane draws with it: the pane's size, linear filtering
    // between texels and mip levels, clamped addressing. Null for an empty pane.
    static std::shared_ptr<SoftwareDevice> MakePaneDevice(uint32_t paneWidth, uint32_t paneHeight);

    // False when the pane has no size to draw into: nothing is made or drawn then.
    bool HasDevice() const { return device != nullptr; }
    // The object the rendering thread draws (empty before the first ShowIcon).
    std::shared_ptr<IconObjectBase> Current();
    // True from the first ShowIcon until destruction.
    bool IsRunning() const { return running; }

    // Window thread only.
    std::map<std::string, std::shared_ptr<IconObjectBase>> icons;

private:
    void RenderThread();
    // Sleeps until the deadline, or less when destruction asks the thread to end.
    void WaitUntil(std::chrono::steady_clock::time_point deadline);

    IconRendererOwner* owner;
    std::shared_ptr<SoftwareDevice> device;
    std::shared_ptr<IconObjectBase> current;
    // Guards current and every Update/Render pair.
    std::recursive_mutex lock;
    std::atomic<bool> running{false};
    // The start hand-shake (the thread waits once, for the first ShowIcon or
    // for destruction) and the wake-up that cuts the thread's pauses short.
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool started = false;
    std::thread thread;
};
