#include <gtest/gtest.h>

#include "card/MemoryCardFactory.h"
#include "card/MemoryCardNull.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardUSBMemory.h"

namespace {

class NoFolderOwner : public MemoryCardOwner {
public:
    std::string GetSlotText() const override { return "0"; }
    std::string GetEditText(Edit) const override { return std::string(); }
    bool IsOptionChecked(Option) const override { return false; }
};

TEST(FactoryTest, KindTwoIsTheFolderBackendAndUnknownKindsGetTheNullOne)
{
    NoFolderOwner owner;
    const auto folder = CreateMemoryCard(&owner, kMemoryCardUSBMemory, "");
    EXPECT_NE(dynamic_cast<MemoryCardUSBMemory*>(folder.get()), nullptr);
    EXPECT_EQ(folder->owner, &owner);
    for (const auto& card : {CreateMemoryCard(&owner, 3, "127.0.0.1"), CreateMemoryCard(&owner, -1, ""),
                             CreateNullMemoryCard(&owner)}) {
        EXPECT_NE(dynamic_cast<MemoryCardNull*>(card.get()), nullptr);
        EXPECT_EQ(card->owner, &owner);
    }
}

}  // namespace
