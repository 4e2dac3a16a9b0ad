#pragma once
// What the icon renderer needs of the window, through the controller. Both
// are called from the rendering thread: implementations read an atomic and
// post the frame; they never wait for the window's thread.
#include "icon/SoftwareDevice.h"

class IconRendererOwner {
public:
    virtual ~IconRendererOwner() = default;
    // The state of the "アイコンを表示する" check box.
    virtual bool IsIconShown() const = 0;
    // A finished frame for the icon pane.
    virtual void PresentIconFrame(const DeviceFrame& frame) = 0;
};
