#pragma once
// One game-information lookup for the window, run on the GameData's pool.
#include <string>

#include "gameinfo/ThreadPoolWorkerBase.h"

class GameData;
class GameDataOwner;

class GameDataWorker : public ThreadPoolWorkerBase {
public:
    GameDataWorker(GameData* gameData, GameDataOwner* owner, std::string productCode);
    // Shows the cached entry, else fetches the page when the internet box is
    // ticked; with nothing to show the text stays as it was.
    void Run() override;

private:
    GameData* gameData;
    GameDataOwner* owner;
    std::string productCode;
};
