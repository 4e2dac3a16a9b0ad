#include "card/Ps1CardImage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include <boost/format.hpp>

#include "common/FileHelpers.h"
#include "save/FileKind.h"

using namespace PS1Card;

namespace {

// The DexDrive header repeats byte 0 and byte 8 of the sixteen frames of block 0.
constexpr std::string_view kGmeMark = "123-456-STD";
constexpr size_t kGmeStateCopies = 0x15;
constexpr size_t kGmeNextCopies = 0x25;
constexpr int kGmeCopiedFrames = 16;
constexpr uint32_t kNoBrokenSector = 0xFFFFFFFFu;

std::string NameOf(const DirectoryFrame& frame) { return std::string(frame.name, ::strnlen(frame.name, sizeof frame.name)); }

bool IsLiveLater(uint8_t state) { return state == kMiddleBlock || state == kLastBlock; }

bool IsFree(uint8_t state) { return state == kFreeBlock || (state >= kDeletedFirstBlock && state <= kDeletedLastBlock); }

}  // namespace

std::vector<uint8_t> Ps1CardImage::Format()
{
    std::vector<uint8_t> card(kImageSize, 0);
    std::memcpy(card.data(), kCardMark.data(), kCardMark.size());
    card[kFrameSize - 1] = Checksum(card.data());
    for (int block = 0; block < kBlockCount; ++block) {
        const DirectoryFrame frame = MakeFrame(kFreeBlock, 0, -1, {});
        std::memcpy(card.data() + kDirectoryOffset + block * kFrameSize, &frame, sizeof frame);
    }
    // No broken sectors: each entry of the list says "none".
    for (int entry = 0; entry < kBrokenListFrames; ++entry) {
        uint8_t* frame = card.data() + kBrokenListOffset + entry * kFrameSize;
        std::memset(frame, 0xFF, 4);
        frame[8] = 0xFF;
        frame[9] = 0xFF;
        frame[kFrameSize - 1] = Checksum(frame);
    }
    std::memcpy(card.data() + kWriteTestOffset, card.data(), kFrameSize);
    return card;
}

bool Ps1CardImage::IsValidName(const std::string& name)
{
    return IsPlainName(name) && name.size() <= kMaxNameLength &&
           std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

Ps1CardImage::Ps1CardImage(std::vector<uint8_t> bytes) : file(std::move(bytes))
{
    const std::optional<size_t> found = PS1CardImageOffset(file, file.size());
    if (!found) {
        refusal = "no PS1 memory-card image (no \"MC\" frame where one belongs)";
        return;
    }
    offset = *found;
    // A DexDrive file may end after its last used block: the rest reads as
    // zeros and is written out whole.
    if (file.size() < offset + kImageSize) {
        file.resize(offset + kImageSize, 0);
    }
}

DirectoryFrame Ps1CardImage::Frame(int block) const
{
    DirectoryFrame frame{};
    std::memcpy(&frame, Card() + kDirectoryOffset + block * kFrameSize, sizeof frame);
    return frame;
}

void Ps1CardImage::PutFrame(int block, DirectoryFrame frame)
{
    frame.checksum = Checksum(reinterpret_cast<const uint8_t*>(&frame));
    std::memcpy(Card() + kDirectoryOffset + block * kFrameSize, &frame, sizeof frame);
}

std::vector<Ps1CardImage::Save> Ps1CardImage::Saves(std::vector<std::string>* damage) const
{
    std::vector<Save> saves;
    if (!Valid()) {
        return saves;
    }
    std::array<bool, kBlockCount> taken{};
    for (int head = 0; head < kBlockCount; ++head) {
        const DirectoryFrame first = Frame(head);
        if (first.state != kFirstBlock || taken[head]) {
            continue;
        }
        Save save{NameOf(first), {}};
        for (int block = head;;) {
            taken[block] = true;
            save.blocks.push_back(block);
            const int next = Frame(block).next;
            if (next == -1) {
                break;
            }
            // A chain ends before a block that is not there, not a later block
            // of a save, or already taken: a loop cannot run away.
            if (next < 0 || next >= kBlockCount || taken[next] || !IsLiveLater(Frame(next).state)) {
                if (damage != nullptr) {
                    damage->push_back(
                        (boost::format("save %1%: its chain breaks after block %2% (next %3%)") % save.name % (block + 1) % next)
                            .str());
                }
                break;
            }
            block = next;
        }
        saves.push_back(std::move(save));
    }
    return saves;
}

std::optional<Ps1CardImage::Save> Ps1CardImage::Find(const std::string& name) const
{
    for (Save& save : Saves()) {
        if (save.name == name) {
            return std::move(save);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> Ps1CardImage::Read(const std::string& name) const
{
    const std::optional<Save> save = Find(name);
    if (!save) {
        return std::nullopt;
    }
    std::vector<uint8_t> data;
    data.reserve(save->blocks.size() * kBlockSize);
    for (const int block : save->blocks) {
        const size_t start = kBlocksOffset + block * kBlockSize;
        const size_t at = data.size();
        data.insert(data.end(), Card() + start, Card() + start + kBlockSize);
        // The console reads a sector the card lists as broken from the frame standing in for it.
        for (const Replacement& replacement : Replacements(start)) {
            std::memcpy(data.data() + at + (replacement.sector - start), Card() + replacement.standIn, kFrameSize);
        }
    }
    return data;
}

std::vector<Ps1CardImage::Replacement> Ps1CardImage::Replacements(size_t blockStart) const
{
    std::vector<Replacement> replacements;
    for (int entry = 0; entry < kBrokenListFrames; ++entry) {
        uint32_t sector = 0;
        std::memcpy(&sector, Card() + kBrokenListOffset + entry * kFrameSize, sizeof sector);
        // Block 0 (the directory) is never a block's start here, so it is read as it is.
        const uint64_t start = uint64_t{sector} * kFrameSize;
        if (start >= blockStart && start < blockStart + kBlockSize) {
            replacements.push_back({static_cast<size_t>(start), kReplacementOffset + entry * kFrameSize});
        }
    }
    return replacements;
}

int Ps1CardImage::FreeBlocks() const
{
    int free = 0;
    for (int block = 0; block < kBlockCount; ++block) {
        free += IsFree(Frame(block).state) ? 1 : 0;
    }
    return free;
}

bool Ps1CardImage::Write(const std::string& name, std::span<const uint8_t> data, std::string& why)
{
    if (!IsValidName(name)) {
        why = "a PS1 card cannot hold that name (1 to 20 ASCII characters)";
        return false;
    }
    if (data.empty() || data.size() % kBlockSize != 0) {
        why = "a PS1 save is whole 8 KB blocks";
        return false;
    }
    const size_t needed = data.size() / kBlockSize;
    const std::optional<Save> old = Find(name);
    // Blocks never used come first, then the old save's own, and only then
    // those of deleted saves, which stay recoverable as long as possible.
    std::vector<int> candidates;
    for (int pass = 0; pass < 3; ++pass) {
        for (int block = 0; block < kBlockCount; ++block) {
            const uint8_t state = Frame(block).state;
            const bool ownOld = old && std::ranges::find(old->blocks, block) != old->blocks.end();
            if ((pass == 0 && state == kFreeBlock) || (pass == 1 && ownOld) ||
                (pass == 2 && state != kFreeBlock && IsFree(state))) {
                candidates.push_back(block);
            }
        }
    }
    if (candidates.size() < needed) {
        why = (boost::format("the card is full (%1% blocks needed, %2% free)") % needed % candidates.size()).str();
        return false;
    }
    candidates.resize(needed);
    std::ranges::sort(candidates);
    if (old) {
        for (const int block : old->blocks) {
            DirectoryFrame frame = Frame(block);
            frame.state ^= kDeletedFlip;
            PutFrame(block, frame);
        }
    }
    for (size_t i = 0; i < needed; ++i) {
        const bool last = i + 1 == needed;
        const uint8_t state = i == 0 ? kFirstBlock : (last ? kLastBlock : kMiddleBlock);
        const auto next = last ? int16_t{-1} : static_cast<int16_t>(candidates[i + 1]);
        PutFrame(candidates[i], i == 0 ? MakeFrame(state, static_cast<uint32_t>(data.size()), next, name)
                                       : MakeFrame(state, 0, next, {}));
        const size_t start = kBlocksOffset + candidates[i] * kBlockSize;
        std::memcpy(Card() + start, data.data() + i * kBlockSize, kBlockSize);
        // A listed sector's stand-in gets the same data: a reader that follows the list and one
        // that does not both see the save as written.
        for (const Replacement& replacement : Replacements(start)) {
            std::memcpy(Card() + replacement.standIn, Card() + replacement.sector, kFrameSize);
        }
    }
    MirrorIntoHeader();
    return true;
}

bool Ps1CardImage::Remove(const std::string& name, std::string& why)
{
    const std::optional<Save> save = Find(name);
    if (!save) {
        why = "no such save";
        return false;
    }
    for (const int block : save->blocks) {
        DirectoryFrame frame = Frame(block);
        frame.state ^= kDeletedFlip;
        PutFrame(block, frame);
    }
    MirrorIntoHeader();
    return true;
}

void Ps1CardImage::MirrorIntoHeader()
{
    if (offset < kGmeNextCopies + kGmeCopiedFrames || file.size() < kGmeMark.size() ||
        std::memcmp(file.data(), kGmeMark.data(), kGmeMark.size()) != 0) {
        return;
    }
    for (int frame = 0; frame < kGmeCopiedFrames; ++frame) {
        file[kGmeStateCopies + frame] = Card()[frame * kFrameSize];
        file[kGmeNextCopies + frame] = Card()[frame * kFrameSize + offsetof(DirectoryFrame, next)];
    }
}

std::vector<std::string> Ps1CardImage::Check() const
{
    if (!Valid()) {
        return {refusal};
    }
    std::vector<std::string> problems;
    if (Checksum(Card()) != Card()[kFrameSize - 1]) {
        problems.push_back("the header frame's checksum is wrong");
    }
    for (int block = 0; block < kBlockCount; ++block) {
        const DirectoryFrame frame = Frame(block);
        const uint8_t sum = Checksum(reinterpret_cast<const uint8_t*>(&frame));
        if (sum != frame.checksum) {
            problems.push_back((boost::format("block %1%: directory frame checksum %2$02X, should be %3$02X") % (block + 1) %
                                unsigned{frame.checksum} % unsigned{sum})
                                   .str());
        }
        if (frame.state != kFirstBlock && !IsLiveLater(frame.state) && !IsFree(frame.state)) {
            problems.push_back((boost::format("block %1%: unknown state %2$02X") % (block + 1) % unsigned{frame.state}).str());
        }
    }
    std::vector<Save> saves = Saves(&problems);
    std::array<bool, kBlockCount> taken{};
    std::map<std::string, int> names;
    for (const Save& save : saves) {
        for (const int block : save.blocks) {
            taken[block] = true;
        }
        const DirectoryFrame first = Frame(save.blocks.front());
        if (first.size != save.blocks.size() * kBlockSize) {
            problems.push_back((boost::format("save %1%: its size says %2% bytes, its chain holds %3%") % save.name %
                                first.size % (save.blocks.size() * kBlockSize))
                                   .str());
        }
        const uint8_t lastState = Frame(save.blocks.back()).state;
        if (save.blocks.size() > 1 && lastState != kLastBlock) {
            problems.push_back((boost::format("save %1%: its chain does not end on a last block") % save.name).str());
        }
        if (!IsValidName(save.name)) {
            problems.push_back((boost::format("save in block %1%: a name the console would not write") %
                                (save.blocks.front() + 1))
                                   .str());
        }
        if (++names[save.name] == 2) {
            problems.push_back("two saves are named " + save.name);
        }
    }
    for (int block = 0; block < kBlockCount; ++block) {
        if (!taken[block] && IsLiveLater(Frame(block).state)) {
            problems.push_back((boost::format("block %1% is marked in use, but no save reaches it") % (block + 1)).str());
        }
    }
    for (int entry = 0; entry < kBrokenListFrames; ++entry) {
        uint32_t sector = 0;
        std::memcpy(&sector, Card() + kBrokenListOffset + entry * kFrameSize, sizeof sector);
        if (sector != kNoBrokenSector && sector != 0) {
            problems.push_back((boost::format("the broken-sector list names sector %1%") % sector).str());
        }
    }
    return problems;
}
