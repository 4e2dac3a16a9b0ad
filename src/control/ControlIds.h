#pragma once
// The window's controls by id, and the fixed orders of its control groups.
// The orders bind: the settings keys and the language-file keys count along them.
#include <array>
#include <utility>
#include <vector>

enum ControlId : int {
    IDC_EDIT_ADDRESS = 1000,
    IDC_BUTTON_FTP_CONNECT = 1001,
    IDC_BUTTON_DISCONNECT = 1002,
    IDC_COMBO_SLOT = 1003,
    IDC_LIST_PS2 = 1004,
    IDC_LIST_PC = 1005,
    IDC_BUTTON_COPY_TO_PC = 1006,
    IDC_BUTTON_COPY_TO_PS2 = 1007,
    IDC_BUTTON_EXPORT = 1008,
    IDC_BUTTON_IMPORT = 1009,
    IDC_STATIC_SAVE_INFO = 1010,
    IDC_STATIC_GAME_INFO = 1011,
    IDC_BUTTON_MOVE_TO_PC = 1012,
    IDC_BUTTON_MOVE_TO_PS2 = 1013,
    IDC_BUTTON_DELETE_PC = 1014,
    IDC_BUTTON_DELETE_PS2 = 1015,
    IDC_CHECK_WEB_PROXY = 1016,
    IDC_CHECK_FETCH_GAME_INFO = 1017,
    IDC_STATIC_STATUS = 1018,
    IDC_BUTTON_SELECT_ALL_PS2 = 1019,
    IDC_BUTTON_UNSELECT_ALL_PS2 = 1020,
    IDC_BUTTON_SELECT_ALL_PC = 1021,
    IDC_BUTTON_UNSELECT_ALL_PC = 1022,
    IDC_EDIT_PC_FOLDER = 1023,
    IDC_BUTTON_BROWSE_PC = 1024,
    IDC_CHECK_SPEED_LIMIT = 1025,
    IDC_STATIC_ICON = 1026,
    IDC_CHECK_POWER_OFF = 1027,
    IDC_BUTTON_PS2LINK_CONNECT = 1028,
    IDC_PROGRESS = 1029,
    IDC_CHECK_FORCE_DIRECTORY = 1030,
    IDC_BUTTON_BROWSE_USB = 1031,
    IDC_BUTTON_USB_CONNECT = 1032,
    IDC_BUTTON_REFRESH_PC = 1033,
    IDC_STATIC_USAGE = 1034,
    IDC_CHECK_SHOW_ICON = 1035,
    IDC_EDIT_USB_FOLDER = 1036,
    IDC_LABEL_PC_FOLDER = 1037,
    IDC_LABEL_ADDRESS = 1038,
    IDC_LABEL_SLOT = 1039,
    IDC_LABEL_USB_FOLDER = 1040,
    IDC_LABEL_PS2_LIST = 1041,
    IDC_LABEL_PC_LIST = 1042,
    IDC_GROUP_LAN = 1043,
    IDC_GROUP_USB = 1044,
    IDC_GROUP_GAME_INFO = 1045,
    IDC_GROUP_SAVE_INFO = 1046,
    IDC_GROUP_OPTIONS = 1047,
    IDC_GROUP_ICON = 1048,
    IDC_COMBO_LANGUAGE = 1049,
    IDC_LABEL_LANGUAGE = 1050,
    IDC_BUTTON_CANCEL = 1051,
    IDC_BUTTON_LOG = 1052,
};

inline constexpr std::array<ControlId, 19> kButtons = {
    IDC_BUTTON_FTP_CONNECT, IDC_BUTTON_DISCONNECT, IDC_BUTTON_MOVE_TO_PC, IDC_BUTTON_MOVE_TO_PS2,
    IDC_BUTTON_COPY_TO_PC, IDC_BUTTON_COPY_TO_PS2, IDC_BUTTON_DELETE_PC, IDC_BUTTON_DELETE_PS2,
    IDC_BUTTON_EXPORT, IDC_BUTTON_IMPORT, IDC_BUTTON_SELECT_ALL_PS2, IDC_BUTTON_UNSELECT_ALL_PS2,
    IDC_BUTTON_SELECT_ALL_PC, IDC_BUTTON_UNSELECT_ALL_PC, IDC_BUTTON_BROWSE_PC, IDC_BUTTON_PS2LINK_CONNECT,
    IDC_BUTTON_BROWSE_USB, IDC_BUTTON_USB_CONNECT, IDC_BUTTON_REFRESH_PC,
};
inline constexpr std::array<ControlId, 3> kEdits = {IDC_EDIT_ADDRESS, IDC_EDIT_PC_FOLDER, IDC_EDIT_USB_FOLDER};
inline constexpr std::array<ControlId, 2> kCombos = {IDC_COMBO_SLOT, IDC_COMBO_LANGUAGE};
inline constexpr std::array<ControlId, 2> kLists = {IDC_LIST_PS2, IDC_LIST_PC};
inline constexpr std::array<ControlId, 4> kTextLabels = {IDC_STATIC_SAVE_INFO, IDC_STATIC_GAME_INFO,
                                                         IDC_STATIC_STATUS, IDC_STATIC_USAGE};
inline constexpr std::array<ControlId, 7> kCaptionLabels = {
    IDC_LABEL_PC_FOLDER, IDC_LABEL_ADDRESS, IDC_LABEL_SLOT,    IDC_LABEL_USB_FOLDER,
    IDC_LABEL_PS2_LIST,  IDC_LABEL_PC_LIST, IDC_LABEL_LANGUAGE,
};
inline constexpr std::array<ControlId, 6> kGroups = {IDC_GROUP_LAN,       IDC_GROUP_USB,     IDC_GROUP_GAME_INFO,
                                                     IDC_GROUP_SAVE_INFO, IDC_GROUP_OPTIONS, IDC_GROUP_ICON};
// In the order of the options (common/WindowFields.h).
inline constexpr std::array<ControlId, 6> kCheckBoxes = {IDC_CHECK_WEB_PROXY,  IDC_CHECK_FETCH_GAME_INFO,
                                                         IDC_CHECK_SPEED_LIMIT, IDC_CHECK_POWER_OFF,
                                                         IDC_CHECK_FORCE_DIRECTORY, IDC_CHECK_SHOW_ICON};

// The enabling rule of the window: the state every enableable control takes
// for EnableControls(enable) while the card is or is not connected.
std::vector<std::pair<ControlId, bool>> EnabledStates(bool enable, bool connected);
