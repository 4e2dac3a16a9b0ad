#include "cli/ImportCommand.h"

#include <exception>

#include <boost/format.hpp>

#include "control/Control.h"
#include "control/MemoryView.h"
#include "common/FileHelpers.h"
#include "common/Log.h"

namespace {

void LogFailure(const std::string& what, const std::string& path)
{
    Log((boost::format("エラー : %1% tansu-cli import : %2%") % what % path).str());
}

}  // namespace

bool ImportFiles(const std::vector<std::string>& files, const std::string& targetFolder)
{
    // The controller would create a missing PC folder: a mistyped target
    // would then quietly receive the saves.
    if (!IsDirectory(targetFolder)) {
        LogFailure("読み込み先のフォルダが見つかりません", targetFolder);
        return false;
    }
    MemoryView view;
    view.SetEditText(Edit::PcFolder, targetFolder);
    Control control(&view);
    bool done = true;
    for (const std::string& file : files) {
        if (!IsFile(file)) {
            LogFailure("ファイルが見つかりません", file);
            done = false;
            continue;
        }
        bool imported = false;
        try {
            imported = control.ImportFile(file);
        } catch (const std::exception& error) {
            LogFailure(std::string("読み込みを中断しました ") + error.what(), file);
        }
        if (!imported) {
            LogFailure("読み込みに失敗しました", file);
            done = false;
        }
    }
    return done;
}
