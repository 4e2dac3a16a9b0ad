#pragma once
// The controller of the command line connected to the card named by a CARD
// argument, through an in-memory view, as the window connects: the folder,
// FTP or PS2Link button with the address or folder filled in, then the slot.
#include <memory>
#include <string>

#include "control/Control.h"
#include "control/MemoryView.h"
#include "cli/CardLocation.h"

class CardSession {
public:
    // card.path must be absolute. pcFolder: an absolute folder for the PC
    // list, or empty for none. operation names the command in log lines.
    CardSession(const CardLocation& card, const std::string& pcFolder, std::string operation);
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    // Connects and lists the card's slot. False (logged) when the card could
    // not be reached, the slot holds no card or its list could not be read.
    bool Connect();

    Control& Controller() { return *control; }
    MemoryView& View() { return view; }
    // The card as given on the command line, for messages.
    const std::string& CardText() const { return card.text; }
    const std::string& Operation() const { return operation; }

private:
    // When the controller selects the first slot found, the slot named on the
    // command line is selected in its place, so that the listing made while
    // connecting is already the named slot's. Listing the first slot and then
    // switching would leave that slot's rows in the controller's row cache,
    // where a save of the same name in the named slot would take its title.
    class SlotView : public MemoryView {
    public:
        std::string slot;
        void SelectComboItem(Combo combo, int index) override;
    };

    CardLocation card;
    std::string operation;
    SlotView view;
    std::unique_ptr<Control> control;
};
