#pragma once
// What the game-information lookup may use of the window, through the
// controller that made it. Every call comes from the lookup's own thread
// (the command line's lookup: from the caller's thread).
#include <string>

#include "common/WindowFields.h"

class InternetSession;

class GameDataOwner {
public:
    virtual ~GameDataOwner() = default;
    // FetchGameInfo and UseWebProxy, read at the moment of use; must not wait
    // for the window's thread (keep the boxes mirrored in atomics).
    virtual bool IsOptionChecked(Option option) const = 0;
    // The program's internet session; null when it could not be made.
    virtual InternetSession* GetInternetSession() const = 0;
    // Sets the game-information text: plain text, three lines joined by
    // "\r\n", to be shown as it is (never read as markup). Must post the text
    // to the window's thread and return at once: the window's thread may be
    // waiting for the lookup's thread while the program closes.
    virtual void SetGameInfoText(const std::string& text) = 0;
};
