#include "gameinfo/GameDataWorker.h"

#include "gameinfo/GameData.h"
#include "gameinfo/GameDataOwner.h"

GameDataWorker::GameDataWorker(GameData* data, GameDataOwner* dataOwner, std::string code)
    : gameData(data), owner(dataOwner), productCode(std::move(code))
{
}

void GameDataWorker::Run()
{
    if (productCode.empty()) {
        return;
    }
    bool show = false;
    const GameInfo info =
        gameData->Find(productCode, [this](Option option) { return owner->IsOptionChecked(option); }, show);
    if (show) {
        owner->SetGameInfoText(GameData::PaneText(info.fields));
    }
}
