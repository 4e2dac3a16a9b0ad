// A hostile PS2 card image: reading, checking and changing it must end, and
// never touch memory outside the image. On an image the check finds sound, a
// save made and deleted again must come back whole, leave every other file as
// it was, and leave the image sound.
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "FuzzRequire.h"

#include "card/Ps2CardImage.h"

namespace {

using Contents = std::map<std::string, std::vector<uint8_t>>;

// Every file of the root and of its directories that can be read.
Contents ReadAll(const Ps2CardImage& card)
{
    Contents contents;
    std::vector<std::string> damage;
    std::string why;
    const auto root = card.List("", damage);
    if (!root) {
        return contents;
    }
    for (const auto& entry : *root) {
        const auto files = entry.IsDirectory() ? card.List(entry.name, damage) : std::nullopt;
        for (const auto& file : files.value_or(std::vector<Ps2CardImage::Entry>{})) {
            if (file.IsDirectory()) {
                continue;
            }
            if (const auto data = card.ReadFile(entry.name, file.name, why)) {
                Require(data->size() == file.length);
                contents[entry.name + "/" + file.name] = *data;
            }
        }
    }
    return contents;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Ps2CardImage card(std::vector<uint8_t>(data, data + size));
    const std::vector<std::string> problems = card.Check();
    Require(card.Valid() || problems.size() == 1);
    if (!card.Valid()) {
        return 0;
    }
    const Contents before = ReadAll(card);
    Ps2CardImage copy = card;
    std::string why;
    const std::vector<uint8_t> payload(2500, 0xA5);
    const bool made = copy.MakeDirectory("FUZZ-SAVE", 0, why) && copy.WriteFile("FUZZ-SAVE", "data", payload, 0, 0, 0, why);
    if (!problems.empty()) {
        // A damaged card promises nothing but an end: the round and a deletion of what is there.
        copy.RemoveFile("FUZZ-SAVE", "data", 0, why);
        copy.RemoveDirectory("FUZZ-SAVE", 0, why);
        for (const auto& [path, unused] : before) {
            copy.RemoveFile(path.substr(0, path.find('/')), path.substr(path.find('/') + 1), 0, why);
        }
        static_cast<void>(copy.Check());
        return 0;
    }
    if (made) {
        Require(copy.ReadFile("FUZZ-SAVE", "data", why) == payload);
        Contents after = ReadAll(copy);
        after.erase("FUZZ-SAVE/data");
        Require(after == before);
        Require(copy.RemoveFile("FUZZ-SAVE", "data", 0, why) && copy.RemoveDirectory("FUZZ-SAVE", 0, why));
        Require(ReadAll(copy) == before);
        Require(copy.Check().empty());
    }
    return 0;
}
