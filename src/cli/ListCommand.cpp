#include "cli/ListCommand.h"

#include <dirent.h>

#include <cerrno>
#include <system_error>

#include <boost/format.hpp>

#include "app/Control.h"
#include "app/MemoryView.h"
#include "cli/CliOutput.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"
#include "common/Log.h"

namespace {

// The controller would create a missing PC folder, and lists an unreadable one
// as empty: both would turn a wrong folder name into an empty listing that
// looks like success. Checked here first.
bool IsReadableFolder(const std::string& folder, const char* operation)
{
    if (!IsDirectory(folder)) {
        Log((boost::format("エラー : フォルダが見つかりません %1% : %2%") % operation % folder).str());
        return false;
    }
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        const int error = errno;
        Log((boost::format("エラー : フォルダを開けませんでした %1% : %2%") % operation % folder).str());
        LogError(std::error_code(error, std::generic_category()));
        return false;
    }
    closedir(directory);
    return true;
}

}  // namespace

ListResult ListPcFolder(const std::string& folder)
{
    ListResult result;
    if (!IsReadableFolder(folder, "tansu-cli list pc")) {
        return result;
    }
    MemoryView view;
    view.SetEditText(Edit::PcFolder, folder);
    // Construction lists the PC folder, as when the window opens.
    Control control(&view);
    result.rows = view.Rows(ListSide::PC);
    result.done = true;
    return result;
}

ListResult ListCardFolder(const std::string& folder)
{
    ListResult result;
    if (!IsReadableFolder(folder, "tansu-cli list card")) {
        return result;
    }
    SetRemovableDriveProbe([](const std::string&) { return true; });
    MemoryView view;
    // An empty PC folder edit: the controller lists no PC folder.
    view.SetEditText(Edit::PcFolder, "");
    view.SetEditText(Edit::UsbFolder, folder);
    Control control(&view);
    control.OnConnectUSBMemory();
    if (!control.IsCardConnected()) {
        Log((boost::format("エラー : メモリーカードに接続できませんでした tansu-cli list card : %1%") % folder).str());
        return result;
    }
    result.rows = view.Rows(ListSide::PS2);
    const std::string usageText = view.Text(TextField::Usage);
    result.usageKB = ParseUsageText(usageText);
    if (!result.usageKB) {
        Log((boost::format("エラー : 使用量を読み取れませんでした tansu-cli list card : %1%") % usageText).str());
        return result;
    }
    result.done = true;
    return result;
}
