#include "card/MemoryCardFactory.h"

#include "card/CardImageFile.h"
#include "card/MemoryCardFtp.h"
#include "card/MemoryCardNull.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardPS2Link.h"
#include "card/MemoryCardPs1Image.h"
#include "card/MemoryCardPs2Image.h"
#include "card/MemoryCardUSBMemory.h"
#include "common/FileHelpers.h"
#include "common/Log.h"

std::shared_ptr<MemoryCard> CreateMemoryCard(MemoryCardOwner* owner, int kind, const std::string& address)
{
    switch (kind) {
    case kMemoryCardUSBMemory:
        if (const std::string path = owner != nullptr ? owner->GetEditText(Edit::UsbFolder) : std::string();
            !path.empty() && IsFile(path)) {
            return CreateImageMemoryCard(owner, path);
        }
        return std::make_shared<MemoryCardUSBMemory>(owner);
    case kMemoryCardFtp:
        return std::make_shared<MemoryCardFtp>(owner, address);
    case kMemoryCardPS2Link:
        return std::make_shared<MemoryCardPS2Link>(owner);
    default:
        return CreateNullMemoryCard(owner);
    }
}

std::shared_ptr<MemoryCard> CreateNullMemoryCard(MemoryCardOwner* owner)
{
    return std::make_shared<MemoryCardNull>(owner);
}

std::shared_ptr<MemoryCard> CreateImageMemoryCard(MemoryCardOwner* owner, const std::string& path)
{
    switch (CardImageKindOfFile(path)) {
    case CardImageKind::Ps2:
        return std::make_shared<MemoryCardPs2Image>(owner, path);
    case CardImageKind::Ps1:
        return std::make_shared<MemoryCardPs1Image>(owner, path);
    case CardImageKind::None:
        break;
    }
    Log("エラー : PS2・PS1のメモリーカードイメージではありません CreateImageMemoryCard() " + path);
    return CreateNullMemoryCard(owner);
}
