#include "cli/ListCommand.h"

#include <boost/format.hpp>

#include "control/Control.h"
#include "control/MemoryView.h"
#include "cli/CardSession.h"
#include "cli/CliOutput.h"
#include "cli/ReadableFolder.h"
#include "common/Log.h"

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

ListResult ListCard(const CardLocation& card)
{
    ListResult result;
    CardSession session(card, std::string(), "tansu-cli list card");
    if (!session.Connect()) {
        return result;
    }
    result.rows = session.View().Rows(ListSide::PS2);
    const std::string usageText = session.View().Text(TextField::Usage);
    result.usageKB = ParseUsageText(usageText);
    if (!result.usageKB) {
        Log((boost::format("エラー : 使用量を読み取れませんでした tansu-cli list card : %1%") % usageText).str());
        return result;
    }
    result.done = true;
    return result;
}
