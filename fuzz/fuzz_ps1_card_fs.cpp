// A hostile PS1 card image as a card: its saves must be read without running
// away, and on a card the check finds sound, a save written and deleted again
// must come back whole and leave every other save and the card's header as
// they were.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FuzzRequire.h"

#include "card/Ps1CardImage.h"

namespace {

std::map<std::string, std::vector<uint8_t>> ReadAll(const Ps1CardImage& card)
{
    std::map<std::string, std::vector<uint8_t>> saves;
    for (const auto& save : card.Saves()) {
        // A name taken twice reads the first save of it; both are kept.
        const auto data = card.Read(save.name);
        Require(data && !data->empty() && data->size() % 8192 == 0 && data->size() <= 15 * 8192);
        saves.emplace(save.name, *data);
    }
    return saves;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Ps1CardImage card(std::vector<uint8_t>(data, data + size));
    const std::vector<std::string> problems = card.Check();
    if (!card.Valid()) {
        Require(problems.size() == 1 && card.Saves().empty());
        return 0;
    }
    std::vector<bool> taken(15, false);
    for (const auto& save : card.Saves()) {
        for (const int block : save.blocks) {
            Require(block >= 0 && block < 15 && !taken[static_cast<size_t>(block)]);
            taken[static_cast<size_t>(block)] = true;
        }
    }
    const auto before = ReadAll(card);
    Ps1CardImage copy = card;
    std::string why;
    const std::vector<uint8_t> save(2 * 8192, 0x5A);
    if (!problems.empty()) {
        // A damaged card promises nothing but an end: a write and the deletion of every save.
        copy.Write("FUZZ-SAVE", save, why);
        for (const auto& [name, unused] : before) {
            copy.Remove(name, why);
        }
        static_cast<void>(copy.Check());
        return 0;
    }
    if (card.FreeBlocks() < 2 || before.count("FUZZ-SAVE") != 0) {
        return 0;
    }
    Require(copy.Write("FUZZ-SAVE", save, why));
    Require(copy.Read("FUZZ-SAVE") == save && copy.Check().empty());
    auto after = ReadAll(copy);
    after.erase("FUZZ-SAVE");
    Require(after == before);
    Require(copy.Remove("FUZZ-SAVE", why) && ReadAll(copy) == before && copy.Check().empty());
    // The tool's header in front of the card is never changed but for the DexDrive's copies of frame states.
    const size_t header = card.Bytes().size() - 131072;
    for (size_t i = 0; i < header; ++i) {
        Require(copy.Bytes()[i] == card.Bytes()[i] || (i >= 0x15 && i < 0x35));
    }
    return 0;
}
