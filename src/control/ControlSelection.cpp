// What a click on a row shows: the save's icon in the pane.
#include <unistd.h>

#include <cctype>
#include <ctime>

#include "control/Control.h"
#include "gameinfo/GameData.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/StagingLock.h"
#include "common/TextCodec.h"
#include "control/SaveInfo.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"

namespace {

// The PC copy of a card save: the save itself or one of its numbered backups.
bool IsCopyOf(const std::string& pcName, const std::string& cardName)
{
    if (pcName == cardName) {
        return true;
    }
    return pcName.size() == cardName.size() + 4 && pcName.starts_with(cardName) && pcName[cardName.size()] == '.' &&
           std::isdigit(static_cast<unsigned char>(pcName[cardName.size() + 1])) &&
           std::isdigit(static_cast<unsigned char>(pcName[cardName.size() + 2])) &&
           std::isdigit(static_cast<unsigned char>(pcName[cardName.size() + 3]));
}

}  // namespace

void Control::ShowSaveInfo(ListSide side)
{
    const std::optional<ListRow> row = dialog->GetHighlightedRow(side);
    if (!row || !IsActionable(*row, side, "Control::ShowSaveInfo()")) {
        return;
    }
    std::optional<int64_t> time;
    if (side == ListSide::PC) {
        time = PcSaveTime(JoinPath(dialog->GetEditText(Edit::PcFolder), row->name));
    } else if (card->SetCurrentDirectory(row->name)) {
        for (const FtpClient::FILE_DATA& entry : card->List()) {
            if (!entry.isDirectory && entry.name == "icon.sys") {
                time = entry.time;
            }
        }
        card->SetCurrentDirectory(std::string());
    }
    // A save without an icon.sys (a PS1 save) shows when its listing says it last
    // changed; only a save with no known time at all shows the present moment.
    if (!time && row->time != 0) {
        time = row->time;
    }
    const std::string title = row->texts.size() > kColumnTitle ? row->texts[kColumnTitle] : std::string();
    dialog->SetText(TextField::SaveInfo,
                    SaveInfoText(title, DisplayName(row->name), FormatPaneTime(time.value_or(std::time(nullptr)))));
}

void Control::RequestGameInfo(ListSide side)
{
    if (const std::optional<ListRow> row = dialog->GetHighlightedRow(side); row && row->side == side) {
        gameData->Request(row->name);
    }
}

void Control::SetGameInfoText(const std::string& text) { dialog->SetText(TextField::GameInfo, text); }

void Control::OnChangePS2()
{
    dialog->EnableControls(false);
    RequestGameInfo(ListSide::PS2);
    ShowSaveInfo(ListSide::PS2);
    const std::optional<ListRow> row = dialog->GetHighlightedRow(ListSide::PS2);
    if (!row || row->side != ListSide::PS2 || row->slot != GetSlotText()) {
        dialog->EnableControls(true);
        return;
    }
    const std::string& name = row->name;
    const std::string key = CardIconKey(row->slot, name);
    if (iconRenderer->IsCached(key)) {
        iconRenderer->ShowIcon(key, std::string());
    } else if (!row->IsPS1()) {
        // A copy on the PC (the save itself or a numbered backup of it) spares a download from the card.
        const std::string pcFolder = dialog->GetEditText(Edit::PcFolder);
        std::optional<std::string> onPC;
        for (int i = 0; i < dialog->RowCount(ListSide::PC) && !onPC; ++i) {
            const ListRow pcRow = dialog->GetRow(ListSide::PC, i);
            if (!pcRow.IsPS1() && IsCopyOf(pcRow.name, name)) {
                onPC = pcRow.name;
            }
        }
        if (onPC) {
            iconRenderer->ShowIcon(PcIconKey(*onPC), JoinPath(JoinPath(pcFolder, *onPC), "icon.sys"));
            if (StillsFromFetchedFiles()) {
                dialog->ShowCardRowIcon(*row, JoinPath(pcFolder, *onPC));
            }
        } else {
            const std::string staging = StagingDirectory();
            const StagingLock lock;
            ::chdir(staging.c_str());
            if (lock.Held() && card->SetCurrentDirectory(name) && card->Get("icon.sys")) {
                const IconSys iconSys(staging + "icon.sys");
                const bool fetched = FetchIconModel(iconSys);
                iconRenderer->ShowIcon(key, staging + "icon.sys");
                if (fetched) {
                    if (StillsFromFetchedFiles()) {
                        dialog->ShowCardRowIcon(*row, staging);
                    }
                    ::unlink((staging + iconSys.iconFileNames[0]).c_str());
                }
                ::unlink((staging + "icon.sys").c_str());
            }
            EnterProgramDirectory();
        }
    } else {
        Log("Control::OnChangePS2() : キャッシュされていないPS1が存在します" + DisplayName(name));
    }
    dialog->EnableControls(true);
}

void Control::OnChangePC()
{
    RequestGameInfo(ListSide::PC);
    ShowSaveInfo(ListSide::PC);
    const std::optional<ListRow> row = dialog->GetHighlightedRow(ListSide::PC);
    if (!row || row->side != ListSide::PC) {
        return;
    }
    const std::string key = PcIconKey(row->name);
    if (iconRenderer->IsCached(key)) {
        iconRenderer->ShowIcon(key, std::string());
    } else if (!row->IsPS1()) {
        iconRenderer->ShowIcon(key, JoinPath(JoinPath(dialog->GetEditText(Edit::PcFolder), row->name), "icon.sys"));
    }
}
