#pragma once
// What the renderer draws in the icon pane: one object per save whose icon
// has been shown or prepared, posed for a time and drawn as one whole frame.
#include <cstdint>

class IconObjectBase {
public:
    virtual ~IconObjectBase() = default;
    // time: the system's millisecond tick count. Called once per frame, before Render.
    virtual void Update(uint32_t time) = 0;
    // Draws one complete frame into the pane and presents it.
    virtual void Render() = 0;
};
