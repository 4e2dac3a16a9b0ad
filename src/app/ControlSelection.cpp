// What a click on a row shows: the save's icon in the pane.
#include <unistd.h>

#include "app/Control.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"
#include "save/SaveFileBase.h"

void Control::OnChangePS2()
{
    dialog->EnableControls(false);
    const std::optional<ListRow> row = dialog->GetHighlightedRow(ListSide::PS2);
    if (!row) {
        dialog->EnableControls(true);
        return;
    }
    const std::string& key = (*row)[kColumnName];
    if (iconRenderer->IsCached(key)) {
        iconRenderer->ShowIcon(key, std::string());
    } else if ((*row)[kColumnType] == "PS2") {
        // A copy on the PC (the save itself or a numbered backup of it) spares a download from the card.
        const std::string pcFolder = dialog->GetEditText(Edit::PcFolder);
        std::optional<std::string> onPC;
        for (int i = 0; i < dialog->RowCount(ListSide::PC) && !onPC; ++i) {
            const std::string name = dialog->GetRow(ListSide::PC, i)[kColumnName];
            if (name.find(key) != std::string::npos) {
                onPC = name;
            }
        }
        if (onPC) {
            iconRenderer->ShowIcon(*onPC, JoinPath(JoinPath(pcFolder, *onPC), "icon.sys"));
        } else {
            const std::string staging = StagingDirectory();
            ::chdir(staging.c_str());
            if (card->SetCurrentDirectory(key) && card->Get("icon.sys")) {
                const IconSys iconSys(staging + "icon.sys");
                // The icon's name comes from the card: it must stay a name inside the staging folder.
                const std::string& icon = iconSys.iconFileNames[0];
                const bool fetched = iconSys.valid && SaveFileBase::IsSafeName(icon) && card->Get(icon);
                iconRenderer->ShowIcon(key, staging + "icon.sys");
                if (fetched) {
                    ::unlink((staging + icon).c_str());
                }
                ::unlink((staging + "icon.sys").c_str());
            }
            EnterProgramDirectory();
        }
    } else {
        Log("Control::OnChangePS2() : キャッシュされていないPS1が存在します" + key);
    }
    dialog->EnableControls(true);
}

void Control::OnChangePC()
{
    const std::optional<ListRow> row = dialog->GetHighlightedRow(ListSide::PC);
    if (!row) {
        dialog->EnableControls(true);
        return;
    }
    const std::string& name = (*row)[kColumnName];
    if (iconRenderer->IsCached(name)) {
        iconRenderer->ShowIcon(name, std::string());
    } else if ((*row)[kColumnType] == "PS2") {
        iconRenderer->ShowIcon(name, JoinPath(JoinPath(dialog->GetEditText(Edit::PcFolder), name), "icon.sys"));
    }
}
