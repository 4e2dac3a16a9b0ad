#pragma once
// What a backend may read of the window, through the controller that made it.
// Backends read these again at every operation, so a change in the window
// (another slot, another folder) applies to the next operation.
#include <string>

#include "common/WindowFields.h"

class InternetSession;

class MemoryCardOwner {
public:
    virtual ~MemoryCardOwner() = default;
    // The text of the selected slot ("0", "1"), empty when none is selected.
    virtual std::string GetSlotText() const = 0;
    virtual std::string GetEditText(Edit edit) const = 0;
    virtual bool IsOptionChecked(Option option) const = 0;
    // The program's internet session; null when it could not be made.
    virtual InternetSession* GetInternetSession() const { return nullptr; }
};
