#include "control/ControlIds.h"

#include <algorithm>

std::vector<std::pair<ControlId, bool>> EnabledStates(bool enable, bool connected)
{
    std::vector<std::pair<ControlId, bool>> states;
    const auto setAll = [&](const auto& group) {
        for (ControlId id : group) {
            states.emplace_back(id, enable);
        }
    };
    setAll(kButtons);
    setAll(kEdits);
    setAll(kCombos);
    setAll(kLists);
    setAll(kCheckBoxes);
    const auto set = [&](ControlId id, bool state) {
        auto found = std::find_if(states.begin(), states.end(), [id](const auto& s) { return s.first == id; });
        found->second = state;
    };
    // The two folder edits change only through their browse buttons or a drop.
    set(IDC_EDIT_PC_FOLDER, false);
    set(IDC_EDIT_USB_FOLDER, false);
    if (!enable) {
        return states;
    }
    if (connected) {
        for (ControlId id : {IDC_BUTTON_FTP_CONNECT, IDC_BUTTON_PS2LINK_CONNECT, IDC_BUTTON_USB_CONNECT,
                             IDC_BUTTON_BROWSE_USB, IDC_EDIT_ADDRESS}) {
            set(id, false);
        }
    } else {
        for (ControlId id : {IDC_BUTTON_DISCONNECT, IDC_BUTTON_MOVE_TO_PS2, IDC_BUTTON_MOVE_TO_PC,
                             IDC_BUTTON_DELETE_PS2, IDC_BUTTON_COPY_TO_PS2, IDC_BUTTON_COPY_TO_PC,
                             IDC_BUTTON_SELECT_ALL_PS2, IDC_BUTTON_UNSELECT_ALL_PS2}) {
            set(id, false);
        }
    }
    return states;
}
