#include "card/Ps2CardImage.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>
#include <map>

#include <boost/format.hpp>

#include "card/Ps2CardEcc.h"
#include "common/FileHelpers.h"

using namespace Ps2Card;

namespace {

// A problem list stops naming pages or clusters one by one after this many.
constexpr size_t kNamedAtMost = 20;
// The card model has saves one level below the root; the check goes deeper,
// but a chain of directories this deep is a loop in disguise.
constexpr int kDeepestDirectory = 16;
// No card of any emulator comes near this many clusters (a 2 GB card).
constexpr uint32_t kMostClusters = 1u << 21;

std::string Text(const boost::format& format) { return format.str(); }

std::string NameOf(const DirEntry& entry) { return std::string(entry.name, ::strnlen(entry.name, sizeof entry.name)); }

bool Exists(const DirEntry& entry) { return (entry.mode & kModeExists) != 0; }

DirEntry MakeEntry(uint16_t mode, uint32_t length, uint32_t cluster, const Time& created, const Time& modified,
                   const std::string& name)
{
    DirEntry entry{};
    entry.mode = mode;
    entry.length = length;
    entry.cluster = cluster;
    entry.created = created;
    entry.modified = modified;
    std::memcpy(entry.name, name.data(), std::min(name.size(), sizeof entry.name));
    return entry;
}

Ps2CardImage::Entry ToEntry(const DirEntry& raw)
{
    return Ps2CardImage::Entry{NameOf(raw), raw.mode, raw.length, Ps2CardImage::ToUnixTime(raw.created),
                               Ps2CardImage::ToUnixTime(raw.modified)};
}

uint32_t CeilDiv(uint64_t value, uint32_t unit) { return static_cast<uint32_t>((value + unit - 1) / unit); }

}  // namespace

bool Ps2CardImage::IsFormatSize(uint32_t megabytes)
{
    return megabytes >= 8 && megabytes <= 64 && std::has_single_bit(megabytes);
}

bool Ps2CardImage::HasMagic(std::span<const uint8_t> head)
{
    return head.size() >= kMagic.size() && std::memcmp(head.data(), kMagic.data(), kMagic.size()) == 0;
}

int64_t Ps2CardImage::ToUnixTime(const Time& time)
{
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 || time.minute > 59 ||
        time.second > 59) {
        return 0;
    }
    using namespace std::chrono;
    const sys_days date{year{time.year} / month{time.month} / day{time.day}};
    return date.time_since_epoch().count() * 86400 + time.hour * 3600 + time.minute * 60 + time.second -
           kJapanOffsetSeconds;
}

Time Ps2CardImage::FromUnixTime(int64_t unixSeconds)
{
    using namespace std::chrono;
    const sys_seconds japan{seconds{unixSeconds + kJapanOffsetSeconds}};
    const sys_days date = floor<days>(japan);
    const hh_mm_ss inDay{japan - date};
    const year_month_day calendar{date};
    Time time{};
    time.second = static_cast<uint8_t>(inDay.seconds().count());
    time.minute = static_cast<uint8_t>(inDay.minutes().count());
    time.hour = static_cast<uint8_t>(inDay.hours().count());
    time.day = static_cast<uint8_t>(static_cast<unsigned>(calendar.day()));
    time.month = static_cast<uint8_t>(static_cast<unsigned>(calendar.month()));
    time.year = static_cast<uint16_t>(std::clamp(static_cast<int>(calendar.year()), 0, 0xFFFF));
    return time;
}

bool Ps2CardImage::IsValidName(const std::string& name)
{
    if (!IsPlainName(name) || name.size() > sizeof(DirEntry::name)) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F || c == '?' || c == '*';
    });
}

std::vector<uint8_t> Ps2CardImage::Format(uint32_t megabytes, bool withEcc, int64_t now)
{
    if (!IsFormatSize(megabytes)) {
        return {};
    }
    return FormatClusters(megabytes * (1024 * 1024 / kClusterSize), withEcc, now);
}

std::vector<uint8_t> Ps2CardImage::FormatClusters(uint32_t clusters, bool withEcc, int64_t now)
{
    constexpr uint32_t clustersPerBlock = kPagesPerBlock / kPagesPerCluster;
    // One indirect FAT cluster covers 64 MB; the first block and the two backup blocks come off the rest.
    if (clusters < 8 * clustersPerBlock || clusters % clustersPerBlock != 0 || clusters > (64u << 20) / kClusterSize) {
        return {};
    }
    const uint32_t fatPer = kClusterSize / 4;
    const uint32_t fatClusters = CeilDiv(clusters, fatPer);
    Superblock block{};
    std::memcpy(block.magic, kMagic.data(), kMagic.size());
    std::memcpy(block.version, kVersion.data(), kVersion.size());
    block.pageLength = kPageLength;
    block.pagesPerCluster = kPagesPerCluster;
    block.pagesPerBlock = kPagesPerBlock;
    block.unknown = 0xFF00;
    block.clustersPerCard = clusters;
    // The indirect FAT, then the FAT, then the allocatable area; the last
    // erase block and the one before it are the backup blocks.
    block.allocOffset = kIndirectFatCluster + 1 + fatClusters;
    block.allocEnd = clusters - 2 * clustersPerBlock - block.allocOffset;
    block.rootCluster = 0;
    block.backupBlock1 = clusters / clustersPerBlock - 1;
    block.backupBlock2 = clusters / clustersPerBlock - 2;
    block.indirectFat[0] = kIndirectFatCluster;
    std::fill(std::begin(block.badBlocks), std::end(block.badBlocks), -1);
    block.cardType = kCardTypePs2;
    block.cardFlags = kCardFlags;

    const uint64_t pages = uint64_t{clusters} * kPagesPerCluster;
    const uint32_t pageStride = kPageLength + (withEcc ? kPageLength / 32 : 0);
    std::vector<uint8_t> bytes(pages * pageStride, kErased);
    std::fill_n(bytes.begin(), kPageLength, uint8_t{0});
    std::memcpy(bytes.data(), &block, sizeof block);
    Ps2CardImage card(std::move(bytes));
    card.SealPage(0);

    std::vector<uint8_t> cluster(kClusterSize, 0);
    for (uint32_t i = 0; i < fatClusters; ++i) {
        const uint32_t fatCluster = kIndirectFatCluster + 1 + i;
        std::memcpy(cluster.data() + 4 * i, &fatCluster, 4);
    }
    card.WriteInCluster(kIndirectFatCluster, 0, cluster);
    for (uint32_t i = 0; i < fatClusters; ++i) {
        for (uint32_t slot = 0; slot < fatPer; ++slot) {
            const uint32_t relative = i * fatPer + slot;
            const uint32_t value = relative == 0 || relative >= block.allocEnd ? kFatChainEnd : kFatFormattedFree;
            std::memcpy(cluster.data() + 4 * slot, &value, 4);
        }
        card.WriteInCluster(kIndirectFatCluster + 1 + i, 0, cluster);
    }
    const Time time = FromUnixTime(now);
    std::fill(cluster.begin(), cluster.end(), uint8_t{0});
    const DirEntry self = MakeEntry(kDirectoryMode, 2, 0, time, time, ".");
    const DirEntry parent = MakeEntry(kRootParentMode, 0, 0, time, time, "..");
    std::memcpy(cluster.data(), &self, kEntrySize);
    std::memcpy(cluster.data() + kEntrySize, &parent, kEntrySize);
    card.WriteInCluster(block.allocOffset, 0, cluster);
    return std::move(card.image);
}

Ps2CardImage::Ps2CardImage(std::vector<uint8_t> bytes) : image(std::move(bytes)) { refusal = ValidateSuperblock(); }

std::string Ps2CardImage::ValidateSuperblock()
{
    if (!HasMagic(image) || image.size() < sizeof super) {
        const bool erased = !image.empty() && std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kErased; });
        return erased ? "the card is not formatted (every byte is 0xFF)" : "no PS2 memory-card format mark at the start";
    }
    std::memcpy(&super, image.data(), sizeof super);
    pageLength = super.pageLength;
    pagesPerCluster = super.pagesPerCluster;
    if (pageLength != 512 && pageLength != 1024) {
        return Text(boost::format("page length %1% is neither 512 nor 1024") % pageLength);
    }
    if (pagesPerCluster == 0 || pagesPerCluster > 16 || !std::has_single_bit(pagesPerCluster)) {
        return Text(boost::format("%1% pages per cluster") % pagesPerCluster);
    }
    if (super.pagesPerBlock < pagesPerCluster || super.pagesPerBlock % pagesPerCluster != 0) {
        return Text(boost::format("%1% pages per erase block") % super.pagesPerBlock);
    }
    if (super.clustersPerCard == 0 || super.clustersPerCard > kMostClusters) {
        return Text(boost::format("%1% clusters per card") % super.clustersPerCard);
    }
    clusterSize = pageLength * pagesPerCluster;
    entriesPerCluster = clusterSize / static_cast<uint32_t>(kEntrySize);
    fatPerCluster = clusterSize / 4;
    const uint64_t pages = uint64_t{super.clustersPerCard} * pagesPerCluster;
    // The two families of sizes never meet: 528 = 16 x 33.
    if (image.size() == pages * (pageLength + pageLength / 32)) {
        ecc = true;
        spareLength = pageLength / 32;
    } else if (image.size() != pages * pageLength) {
        return Text(boost::format("the file holds %1% bytes; %2% clusters take %3% (or %4% with ECC)") % image.size() %
                    super.clustersPerCard % (pages * pageLength) % (pages * (pageLength + pageLength / 32)));
    }
    stride = pageLength + spareLength;
    if (super.allocOffset >= super.clustersPerCard || super.allocEnd == 0 ||
        super.allocEnd > super.clustersPerCard - super.allocOffset) {
        return Text(boost::format("allocatable area %1% + %2% clusters lies outside the %3% of the card") %
                    super.allocOffset % super.allocEnd % super.clustersPerCard);
    }
    if (super.rootCluster >= super.allocEnd) {
        return Text(boost::format("root directory cluster %1% lies outside the allocatable area") % super.rootCluster);
    }
    const uint32_t fatClusters = CeilDiv(super.allocEnd, fatPerCluster);
    const uint32_t indirectClusters = CeilDiv(fatClusters, fatPerCluster);
    if (indirectClusters > std::size(super.indirectFat)) {
        return "the FAT needs more indirect clusters than the superblock lists";
    }
    for (uint32_t i = 0; i < indirectClusters; ++i) {
        if (super.indirectFat[i] >= super.clustersPerCard) {
            return Text(boost::format("indirect FAT cluster %1% lies outside the card") % super.indirectFat[i]);
        }
    }
    usableClusters = super.allocEnd;
    // The console's driver leaves the end of the area alone: what it reports
    // free stops at the last thousand less one, and so does this program.
    if (super.allocEnd >= 1000) {
        usableClusters = std::min(super.allocEnd, super.allocEnd / 1000 * 1000 - 1);
    }
    NoteLayoutOverlap(fatClusters);
    return {};
}

// The superblock, the FAT and the backup blocks must lie outside the area
// files take their clusters from: on a card where they do not, writing a
// file could overwrite the FAT itself, so such a card is read but not changed.
void Ps2CardImage::NoteLayoutOverlap(uint32_t fatClusters)
{
    std::vector<uint32_t> held = {0};
    for (uint32_t i = 0; i < CeilDiv(fatClusters, fatPerCluster); ++i) {
        held.push_back(super.indirectFat[i]);
    }
    for (uint32_t i = 0; i < fatClusters; ++i) {
        held.push_back(Word(super.indirectFat[i / fatPerCluster], i % fatPerCluster * 4));
    }
    const uint32_t clustersPerBlock = super.pagesPerBlock / pagesPerCluster;
    for (const uint32_t block : {super.backupBlock1, super.backupBlock2}) {
        if (block < super.clustersPerCard / clustersPerBlock) {
            held.push_back(block * clustersPerBlock);
            held.push_back(block * clustersPerBlock + clustersPerBlock - 1);
        }
    }
    for (const uint32_t cluster : held) {
        if (cluster >= super.allocOffset && cluster - super.allocOffset < super.allocEnd) {
            layoutFault = Text(boost::format("cluster %1%, which holds the superblock, the FAT or a backup block, lies "
                                             "inside the area files take their clusters from") %
                               cluster);
            return;
        }
    }
}

size_t Ps2CardImage::ByteOffset(uint32_t cluster, uint32_t offset) const
{
    const uint64_t page = uint64_t{cluster} * pagesPerCluster + offset / pageLength;
    return static_cast<size_t>(page * stride + offset % pageLength);
}

void Ps2CardImage::SealPage(uint64_t page)
{
    if (!ecc) {
        return;
    }
    uint8_t* start = image.data() + page * stride;
    Ps2CardEcc::FillSpare(std::span<const uint8_t>(start, pageLength), std::span<uint8_t>(start + pageLength, spareLength));
}

void Ps2CardImage::WriteInCluster(uint32_t cluster, uint32_t offset, std::span<const uint8_t> bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const uint32_t at = offset + static_cast<uint32_t>(done);
        const size_t piece = std::min<size_t>(bytes.size() - done, pageLength - at % pageLength);
        std::memcpy(image.data() + ByteOffset(cluster, at), bytes.data() + done, piece);
        SealPage(uint64_t{cluster} * pagesPerCluster + at / pageLength);
        done += piece;
    }
}

uint32_t Ps2CardImage::Word(uint32_t cluster, uint32_t offset) const
{
    uint32_t value = 0;
    std::memcpy(&value, image.data() + ByteOffset(cluster, offset), sizeof value);
    return value;
}

void Ps2CardImage::SetWord(uint32_t cluster, uint32_t offset, uint32_t value)
{
    WriteInCluster(cluster, offset, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&value), sizeof value));
}

std::optional<std::pair<uint32_t, uint32_t>> Ps2CardImage::FatPlace(uint32_t relative) const
{
    if (relative >= super.allocEnd) {
        return std::nullopt;
    }
    const uint32_t fatCluster = relative / fatPerCluster;
    const uint32_t indirect = super.indirectFat[fatCluster / fatPerCluster];
    const uint32_t fatAbsolute = Word(indirect, fatCluster % fatPerCluster * 4);
    if (fatAbsolute >= super.clustersPerCard) {
        return std::nullopt;
    }
    return std::make_pair(fatAbsolute, relative % fatPerCluster * 4);
}

std::optional<uint32_t> Ps2CardImage::Fat(uint32_t relative) const
{
    const auto place = FatPlace(relative);
    if (!place) {
        return std::nullopt;
    }
    return Word(place->first, place->second);
}

void Ps2CardImage::SetFat(uint32_t relative, uint32_t value)
{
    // Callers only set entries they have just read through FatPlace.
    if (const auto place = FatPlace(relative)) {
        SetWord(place->first, place->second, value);
    }
}

Ps2CardImage::Chain Ps2CardImage::Follow(uint32_t first, size_t wanted) const
{
    Chain chain;
    if (first == kNoCluster || wanted == 0) {
        return chain;
    }
    std::vector<bool> seen(super.allocEnd, false);
    uint32_t cluster = first;
    for (;;) {
        if (cluster >= super.allocEnd) {
            chain.fault = Text(boost::format("cluster %1% lies outside the card") % cluster);
            break;
        }
        if (seen[cluster]) {
            chain.fault = Text(boost::format("the chain loops back to cluster %1%") % cluster);
            break;
        }
        seen[cluster] = true;
        const std::optional<uint32_t> next = Fat(cluster);
        if (!next) {
            chain.fault = Text(boost::format("the FAT entry of cluster %1% lies outside the card") % cluster);
            break;
        }
        if ((*next & kFatInUse) == 0 || *next == kFatBad) {
            chain.fault = Text(boost::format("cluster %1% of the chain is marked %2%") % cluster %
                               (*next == kFatBad ? "bad" : "free"));
            break;
        }
        chain.clusters.push_back(cluster);
        if (chain.clusters.size() >= wanted || *next == kFatChainEnd) {
            break;
        }
        cluster = *next & ~kFatInUse;
    }
    return chain;
}

bool Ps2CardImage::InBadBlock(uint32_t relative) const
{
    const uint32_t block = (relative + super.allocOffset) / (super.pagesPerBlock / pagesPerCluster);
    return std::any_of(std::begin(super.badBlocks), std::end(super.badBlocks),
                       [block](int32_t bad) { return bad >= 0 && static_cast<uint32_t>(bad) == block; });
}

uint32_t Ps2CardImage::FreeClusters() const
{
    uint32_t free = 0;
    for (uint32_t cluster = 0; cluster < usableClusters; ++cluster) {
        const std::optional<uint32_t> value = Fat(cluster);
        free += value && (*value & kFatInUse) == 0 && !InBadBlock(cluster) ? 1 : 0;
    }
    return free;
}

std::optional<std::vector<uint32_t>> Ps2CardImage::Allocate(size_t count)
{
    std::vector<uint32_t> taken;
    for (uint32_t cluster = 0; cluster < usableClusters && taken.size() < count; ++cluster) {
        const std::optional<uint32_t> value = Fat(cluster);
        if (value && (*value & kFatInUse) == 0 && !InBadBlock(cluster)) {
            taken.push_back(cluster);
        }
    }
    if (taken.size() < count) {
        return std::nullopt;
    }
    for (size_t i = 0; i < taken.size(); ++i) {
        SetFat(taken[i], i + 1 < taken.size() ? taken[i + 1] | kFatInUse : kFatChainEnd);
    }
    return taken;
}

// Clearing bit 31 alone, as the console does, keeps the chain for an undelete.
void Ps2CardImage::Free(const std::vector<uint32_t>& clusters)
{
    for (const uint32_t cluster : clusters) {
        if (const std::optional<uint32_t> value = Fat(cluster)) {
            SetFat(cluster, *value & ~kFatInUse);
        }
    }
}

uint32_t Ps2CardImage::Directory::Readable(uint32_t perCluster) const
{
    return static_cast<uint32_t>(std::min<uint64_t>(length, uint64_t{chain.clusters.size()} * perCluster));
}

void Ps2CardImage::NoteShortChain(Directory& directory) const
{
    if (!directory.chain.fault.empty()) {
        return;
    }
    if (directory.length < 2) {
        directory.chain.fault = Text(boost::format("%1% entries, fewer than \".\" and \"..\"") % directory.length);
    } else if (directory.chain.clusters.size() * entriesPerCluster < directory.length) {
        directory.chain.fault = Text(boost::format("%1% entries but the chain ends after %2% clusters") %
                                     directory.length % directory.chain.clusters.size());
    }
}

// As far as the entry's length reaches: a chain running on past it may lead
// into another file's clusters, which must never be read as this one's or freed.
Ps2CardImage::Chain Ps2CardImage::ChainOf(const DirEntry& entry) const
{
    if ((entry.mode & kModeDirectory) != 0) {
        return Follow(entry.cluster, std::max<uint32_t>(1, CeilDiv(entry.length, entriesPerCluster)));
    }
    return Follow(entry.length == 0 ? kNoCluster : entry.cluster, CeilDiv(entry.length, clusterSize));
}

// The clusters of a deleted entry, except any another chain of the card uses:
// on a damaged card two chains may share clusters, and a shared cluster freed
// would be handed to the next file written, over the other file or directory
// (the root's, holding every save).
void Ps2CardImage::Release(const DirEntry& entry, const Directory& holder, uint32_t index)
{
    std::vector<bool> used(super.allocEnd, false);
    const Directory root = Root();
    for (const uint32_t cluster : root.chain.clusters) {
        used[cluster] = true;
    }
    MarkUsed(root, 0, {holder.chain.clusters.empty() ? kNoCluster : holder.chain.clusters.front(), index}, used);
    std::vector<uint32_t> clusters = ChainOf(entry).clusters;
    std::erase_if(clusters, [&](uint32_t cluster) { return used[cluster]; });
    Free(clusters);
}

void Ps2CardImage::MarkUsed(const Directory& directory, int depth, std::pair<uint32_t, uint32_t> skip,
                            std::vector<bool>& used) const
{
    const bool holdsSkipped = !directory.chain.clusters.empty() && directory.chain.clusters.front() == skip.first;
    const uint32_t readable = directory.Readable(entriesPerCluster);
    for (uint32_t index = 2; index < readable; ++index) {
        const DirEntry entry = EntryAt(directory.chain, index);
        if (!Exists(entry) || (holdsSkipped && index == skip.second)) {
            continue;
        }
        Directory sub;
        sub.length = entry.length;
        sub.chain = ChainOf(entry);
        // Each cluster is read as a directory once at most: a directory met again (a loop) or
        // sharing a cluster already kept is kept whole but not walked, nor one nested past what is read.
        const bool descend = (entry.mode & kModeDirectory) != 0 && depth < kDeepestDirectory &&
                             std::ranges::none_of(sub.chain.clusters, [&](uint32_t cluster) { return used[cluster]; });
        for (const uint32_t cluster : sub.chain.clusters) {
            used[cluster] = true;
        }
        if (descend) {
            MarkUsed(sub, depth + 1, skip, used);
        }
    }
}

DirEntry Ps2CardImage::EntryAt(const Chain& chain, uint32_t index) const
{
    DirEntry entry{};
    const uint32_t cluster = chain.clusters[index / entriesPerCluster] + super.allocOffset;
    const uint32_t offset = index % entriesPerCluster * static_cast<uint32_t>(kEntrySize);
    // An entry never spans two pages: both are multiples of 512.
    std::memcpy(&entry, image.data() + ByteOffset(cluster, offset), kEntrySize);
    return entry;
}

void Ps2CardImage::PutEntry(const Chain& chain, uint32_t index, const DirEntry& entry)
{
    const uint32_t cluster = chain.clusters[index / entriesPerCluster] + super.allocOffset;
    WriteInCluster(cluster, index % entriesPerCluster * static_cast<uint32_t>(kEntrySize),
                   std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&entry), kEntrySize));
}

Ps2CardImage::Directory Ps2CardImage::Root() const
{
    Directory root;
    root.ownerFirstCluster = super.rootCluster;
    root.ownerIndex = 0;
    const Chain first = Follow(super.rootCluster, 1);
    if (first.clusters.empty()) {
        root.chain = first;
        return root;
    }
    root.length = EntryAt(first, 0).length;
    root.chain = Follow(super.rootCluster, std::max<uint32_t>(1, CeilDiv(root.length, entriesPerCluster)));
    NoteShortChain(root);
    return root;
}

std::optional<Ps2CardImage::Found> Ps2CardImage::FindLive(const Directory& directory, const std::string& name) const
{
    const uint32_t readable = directory.Readable(entriesPerCluster);
    for (uint32_t index = 2; index < readable; ++index) {
        const DirEntry entry = EntryAt(directory.chain, index);
        if (Exists(entry) && NameOf(entry) == name) {
            return Found{entry, index};
        }
    }
    return std::nullopt;
}

std::optional<Ps2CardImage::Directory> Ps2CardImage::Open(const std::string& directory, std::string& why) const
{
    Directory root = Root();
    if (directory.empty()) {
        if (root.chain.clusters.empty()) {
            why = "the root directory cannot be read: " + root.chain.fault;
            return std::nullopt;
        }
        return root;
    }
    const std::optional<Found> found = FindLive(root, directory);
    if (!found || (found->entry.mode & kModeDirectory) == 0) {
        why = "no such directory";
        return std::nullopt;
    }
    Directory sub;
    sub.length = found->entry.length;
    sub.ownerFirstCluster = super.rootCluster;
    sub.ownerIndex = found->index;
    sub.chain = ChainOf(found->entry);
    NoteShortChain(sub);
    // The root itself named as a save would list the root again and again.
    if (!sub.chain.clusters.empty() && sub.chain.clusters.front() == super.rootCluster) {
        why = "the directory is the root itself (a directory loop)";
        return std::nullopt;
    }
    return sub;
}

std::optional<std::vector<Ps2CardImage::Entry>> Ps2CardImage::List(const std::string& directory,
                                                                   std::vector<std::string>& damage) const
{
    std::string why;
    const std::optional<Directory> opened = Open(directory, why);
    if (!opened) {
        if (!Valid() || why != "no such directory") {
            damage.push_back(why);
        }
        return std::nullopt;
    }
    if (!opened->chain.fault.empty()) {
        damage.push_back(opened->chain.fault);
    }
    std::vector<Entry> entries;
    const uint32_t readable = opened->Readable(entriesPerCluster);
    for (uint32_t index = 2; index < readable; ++index) {
        const DirEntry raw = EntryAt(opened->chain, index);
        if (!Exists(raw)) {
            continue;
        }
        entries.push_back(ToEntry(raw));
    }
    return entries;
}

std::optional<std::vector<uint8_t>> Ps2CardImage::ReadFile(const std::string& directory, const std::string& name,
                                                           std::string& why, Entry* entry) const
{
    const std::optional<Directory> opened = Open(directory, why);
    if (!opened) {
        return std::nullopt;
    }
    const std::optional<Found> found = FindLive(*opened, name);
    if (!found || (found->entry.mode & kModeDirectory) != 0) {
        why = "no such file";
        return std::nullopt;
    }
    if (entry != nullptr) {
        *entry = ToEntry(found->entry);
    }
    const uint32_t length = found->entry.length;
    const uint32_t clusters = CeilDiv(length, clusterSize);
    const Chain chain = Follow(length == 0 ? kNoCluster : found->entry.cluster, clusters);
    if (chain.clusters.size() < clusters) {
        why = Text(boost::format("its %1% bytes need %2% clusters, but %3%") % length % clusters %
                   (chain.fault.empty() ? "the chain ends early" : chain.fault));
        return std::nullopt;
    }
    std::vector<uint8_t> data(length);
    for (size_t i = 0; i < chain.clusters.size(); ++i) {
        const uint32_t cluster = chain.clusters[i] + super.allocOffset;
        const size_t start = i * clusterSize;
        for (uint32_t page = 0; page < pagesPerCluster && start + page * pageLength < length; ++page) {
            const size_t at = start + page * pageLength;
            const size_t piece = std::min<size_t>(pageLength, length - at);
            std::memcpy(data.data() + at, image.data() + ByteOffset(cluster, page * pageLength), piece);
        }
    }
    return data;
}

// The chain holding the directory's own entry, while it still reaches that
// entry: freeing a damaged card's shared clusters may have cut it short.
std::optional<Ps2CardImage::Chain> Ps2CardImage::OwnerChain(const Directory& directory) const
{
    Chain owner = directory.ownerIndex == 0 ? directory.chain : Root().chain;
    if (directory.ownerIndex / entriesPerCluster >= owner.clusters.size()) {
        return std::nullopt;
    }
    return owner;
}

void Ps2CardImage::Touch(const Directory& directory, int64_t now)
{
    if (const std::optional<Chain> owner = OwnerChain(directory)) {
        DirEntry entry = EntryAt(*owner, directory.ownerIndex);
        entry.modified = FromUnixTime(now);
        PutEntry(*owner, directory.ownerIndex, entry);
    }
}

std::optional<uint32_t> Ps2CardImage::AddEntry(Directory& directory, const DirEntry& entry, std::string& why)
{
    const uint32_t readable = directory.Readable(entriesPerCluster);
    uint32_t index = 2;
    while (index < readable && Exists(EntryAt(directory.chain, index))) {
        ++index;
    }
    if (index >= readable) {
        // The directory's length is kept in its own entry: without it the new entry would not count.
        const std::optional<Chain> owner = OwnerChain(directory);
        if (readable != directory.length || !owner) {
            why = "the directory is damaged";
            return std::nullopt;
        }
        if (directory.length == std::numeric_limits<uint32_t>::max()) {
            why = "the directory is full";
            return std::nullopt;
        }
        if (index >= directory.chain.clusters.size() * entriesPerCluster) {
            const std::optional<std::vector<uint32_t>> grown = Allocate(1);
            if (!grown) {
                why = "the card is full";
                return std::nullopt;
            }
            SetFat(directory.chain.clusters.back(), grown->front() | kFatInUse);
            directory.chain.clusters.push_back(grown->front());
            WriteInCluster(grown->front() + super.allocOffset, 0, std::vector<uint8_t>(clusterSize, 0));
        }
        directory.length = index + 1;
        DirEntry owned = EntryAt(*owner, directory.ownerIndex);
        owned.length = directory.length;
        PutEntry(*owner, directory.ownerIndex, owned);
    }
    PutEntry(directory.chain, index, entry);
    return index;
}

bool Ps2CardImage::Changeable(const std::string* newName, std::string& why) const
{
    if (!layoutFault.empty()) {
        why = "the card is not changed: " + layoutFault;
        return false;
    }
    if (newName != nullptr && !IsValidName(*newName)) {
        why = "the card cannot hold that name";
        return false;
    }
    return true;
}

bool Ps2CardImage::WriteFile(const std::string& directory, const std::string& name, std::span<const uint8_t> data,
                             int64_t created, int64_t modified, int64_t now, std::string& why)
{
    if (!Changeable(&name, why)) {
        return false;
    }
    if (data.size() > std::numeric_limits<uint32_t>::max()) {
        why = "the file is too large";
        return false;
    }
    std::optional<Directory> opened = Open(directory, why);
    if (!opened) {
        return false;
    }
    if (!opened->chain.fault.empty()) {
        why = "the directory is damaged: " + opened->chain.fault;
        return false;
    }
    const std::optional<Found> existing = FindLive(*opened, name);
    if (existing && (existing->entry.mode & kModeDirectory) != 0) {
        why = "a directory of that name is there";
        return false;
    }
    if (existing) {
        Release(existing->entry, *opened, existing->index);
    }
    const auto length = static_cast<uint32_t>(data.size());
    uint32_t first = kNoCluster;
    if (length > 0) {
        const std::optional<std::vector<uint32_t>> clusters = Allocate(CeilDiv(length, clusterSize));
        if (!clusters) {
            why = Text(boost::format("the card is full (%1% bytes need %2% clusters)") % length %
                       CeilDiv(length, clusterSize));
            return false;
        }
        std::vector<uint8_t> buffer(clusterSize);
        for (size_t i = 0; i < clusters->size(); ++i) {
            std::fill(buffer.begin(), buffer.end(), uint8_t{0});
            const size_t at = i * clusterSize;
            std::copy_n(data.begin() + static_cast<ptrdiff_t>(at), std::min<size_t>(clusterSize, length - at),
                        buffer.begin());
            WriteInCluster((*clusters)[i] + super.allocOffset, 0, buffer);
        }
        first = clusters->front();
    }
    const DirEntry entry = MakeEntry(kFileMode, length, first, FromUnixTime(created), FromUnixTime(modified), name);
    if (existing) {
        PutEntry(opened->chain, existing->index, entry);
    } else if (!AddEntry(*opened, entry, why)) {
        return false;
    }
    Touch(*opened, now);
    return true;
}

// The entry keeps everything but its "exists" bit, as the console leaves it.
void Ps2CardImage::Delete(const Directory& holder, const Found& found, int64_t now)
{
    Release(found.entry, holder, found.index);
    DirEntry entry = found.entry;
    entry.mode = static_cast<uint16_t>(entry.mode & ~kModeExists);
    PutEntry(holder.chain, found.index, entry);
    Touch(holder, now);
}

bool Ps2CardImage::RemoveFile(const std::string& directory, const std::string& name, int64_t now, std::string& why)
{
    if (!Changeable(nullptr, why)) {
        return false;
    }
    std::optional<Directory> opened = Open(directory, why);
    if (!opened) {
        return false;
    }
    const std::optional<Found> found = FindLive(*opened, name);
    if (!found || (found->entry.mode & kModeDirectory) != 0) {
        why = "no such file";
        return false;
    }
    Delete(*opened, *found, now);
    return true;
}

bool Ps2CardImage::MakeDirectory(const std::string& name, int64_t now, std::string& why)
{
    if (!Changeable(&name, why)) {
        return false;
    }
    std::optional<Directory> root = Open(std::string(), why);
    if (!root) {
        return false;
    }
    if (!root->chain.fault.empty()) {
        why = "the root directory is damaged: " + root->chain.fault;
        return false;
    }
    if (FindLive(*root, name)) {
        why = "an entry of that name is there";
        return false;
    }
    const std::optional<std::vector<uint32_t>> cluster = Allocate(1);
    if (!cluster) {
        why = "the card is full";
        return false;
    }
    const Time time = FromUnixTime(now);
    const std::optional<uint32_t> index =
        AddEntry(*root, MakeEntry(kDirectoryMode, 2, cluster->front(), time, time, name), why);
    if (!index) {
        return false;
    }
    // "." leads up to the parent and says where this directory's entry lies;
    // ".." takes the parent's own "." as the console's driver does.
    const DirEntry parentSelf = EntryAt(root->chain, 0);
    DirEntry self = MakeEntry(kDirectoryMode, 0, super.rootCluster, time, time, ".");
    self.dirEntry = *index;
    DirEntry parent = MakeEntry(kDirectoryMode, 0, parentSelf.cluster, parentSelf.created, time, "..");
    parent.dirEntry = parentSelf.dirEntry;
    std::vector<uint8_t> content(clusterSize, 0);
    std::memcpy(content.data(), &self, kEntrySize);
    std::memcpy(content.data() + kEntrySize, &parent, kEntrySize);
    WriteInCluster(cluster->front() + super.allocOffset, 0, content);
    Touch(*root, now);
    return true;
}

bool Ps2CardImage::RemoveDirectory(const std::string& name, int64_t now, std::string& why)
{
    if (!Changeable(nullptr, why)) {
        return false;
    }
    std::optional<Directory> root = Open(std::string(), why);
    if (!root) {
        return false;
    }
    const std::optional<Found> found = FindLive(*root, name);
    if (!found || (found->entry.mode & kModeDirectory) == 0) {
        why = "no such directory";
        return false;
    }
    const std::optional<Directory> sub = Open(name, why);
    if (!sub) {
        return false;
    }
    // A damaged directory may hold entries that cannot be seen.
    if (!sub->chain.fault.empty()) {
        why = "the directory is damaged: " + sub->chain.fault;
        return false;
    }
    const uint32_t readable = sub->Readable(entriesPerCluster);
    for (uint32_t index = 2; index < readable; ++index) {
        if (Exists(EntryAt(sub->chain, index))) {
            why = "the directory is not empty";
            return false;
        }
    }
    Delete(*root, *found, now);
    return true;
}

void Ps2CardImage::CheckDirectory(const Directory& directory, const std::string& path, int depth,
                                  std::vector<int32_t>& owner, std::vector<std::string>& owners,
                                  std::vector<std::string>& problems) const
{
    const std::string shown = path.empty() ? "the root" : path;
    // Claims each cluster of a chain for one file; a second claim is a cross-link.
    const auto claim = [&](const Chain& chain, const std::string& who) {
        owners.push_back(who);
        const auto id = static_cast<int32_t>(owners.size() - 1);
        for (const uint32_t cluster : chain.clusters) {
            if (owner[cluster] >= 0) {
                problems.push_back(Text(boost::format("cluster %1% belongs to both %2% and %3%") % cluster %
                                        owners[static_cast<size_t>(owner[cluster])] % who));
                return false;
            }
            owner[cluster] = id;
        }
        return true;
    };
    if (!directory.chain.fault.empty()) {
        problems.push_back(shown + ": " + directory.chain.fault);
    }
    if (!claim(directory.chain, shown)) {
        return;
    }
    const uint32_t readable = directory.Readable(entriesPerCluster);
    if (readable < 2 || (EntryAt(directory.chain, 0).mode & (kModeExists | kModeDirectory)) !=
                            (kModeExists | kModeDirectory)) {
        problems.push_back(shown + ": its \".\" entry is missing");
    }
    std::map<std::string, uint32_t> names;
    for (uint32_t index = 2; index < readable; ++index) {
        const DirEntry entry = EntryAt(directory.chain, index);
        if (!Exists(entry)) {
            continue;
        }
        const std::string name = NameOf(entry);
        const std::string where = path.empty() ? name : path + "/" + name;
        if (!IsValidName(name)) {
            problems.push_back(Text(boost::format("%1%: entry %2% has a name the console refuses") % shown % index));
        }
        if (!names.emplace(name, index).second) {
            problems.push_back(Text(boost::format("%1%: two entries are named %2%") % shown % name));
        }
        if ((entry.mode & kModeDirectory) != 0) {
            Directory sub;
            sub.length = entry.length;
            sub.chain = ChainOf(entry);
            NoteShortChain(sub);
            if (!sub.chain.clusters.empty() && owner[sub.chain.clusters.front()] >= 0) {
                problems.push_back(where + ": the directory loops back to " +
                                   owners[static_cast<size_t>(owner[sub.chain.clusters.front()])]);
            } else if (depth >= kDeepestDirectory) {
                problems.push_back(where + ": directories nest too deep");
            } else {
                CheckDirectory(sub, where, depth + 1, owner, owners, problems);
            }
            continue;
        }
        const uint32_t wanted = CeilDiv(entry.length, clusterSize);
        const Chain chain = Follow(entry.length == 0 && entry.cluster == kNoCluster ? kNoCluster : entry.cluster,
                                   std::numeric_limits<size_t>::max());
        if (!chain.fault.empty()) {
            problems.push_back(where + ": " + chain.fault);
        } else if (chain.clusters.size() != wanted) {
            problems.push_back(Text(boost::format("%1%: %2% bytes take %3% clusters, its chain has %4%") % where %
                                    entry.length % wanted % chain.clusters.size()));
        }
        claim(chain, where);
    }
}

std::vector<std::string> Ps2CardImage::Check() const
{
    if (!Valid()) {
        return {refusal};
    }
    std::vector<std::string> problems;
    if (!layoutFault.empty()) {
        problems.push_back(layoutFault);
    }
    if (ecc) {
        size_t bad = 0;
        const uint64_t pages = uint64_t{super.clustersPerCard} * pagesPerCluster;
        for (uint64_t page = 0; page < pages; ++page) {
            const uint8_t* start = image.data() + page * stride;
            // The console takes a page whose last spare byte is 0xFF for erased.
            if (start[stride - 1] == kErased) {
                continue;
            }
            for (uint32_t chunk = 0; chunk < pageLength / kEccChunk; ++chunk) {
                const uint8_t* code = start + pageLength + chunk * kEccBytesPerChunk;
                const Ps2CardEcc::Verdict verdict = Ps2CardEcc::CheckChunk(
                    std::span<const uint8_t, kEccChunk>(start + chunk * kEccChunk, kEccChunk), {code[0], code[1], code[2]});
                if (verdict == Ps2CardEcc::Verdict::Good) {
                    continue;
                }
                if (++bad <= kNamedAtMost) {
                    problems.push_back(Text(boost::format("page %1%, bytes %2%-%3%: %4%") % page % (chunk * kEccChunk) %
                                            (chunk * kEccChunk + kEccChunk - 1) %
                                            (verdict == Ps2CardEcc::Verdict::DataBit ? "one data bit differs from its ECC"
                                             : verdict == Ps2CardEcc::Verdict::CodeBit ? "one ECC bit is damaged"
                                                                                         : "the ECC does not match")));
                }
            }
        }
        if (bad > kNamedAtMost) {
            problems.push_back(Text(boost::format("%1% more chunks fail their ECC") % (bad - kNamedAtMost)));
        }
    }
    size_t unreadable = 0;
    for (uint32_t cluster = 0; cluster < super.allocEnd; ++cluster) {
        const std::optional<uint32_t> value = Fat(cluster);
        if (!value) {
            ++unreadable;
        } else if ((*value & kFatInUse) != 0 && *value != kFatChainEnd && *value != kFatBad &&
                   (*value & ~kFatInUse) >= super.allocEnd) {
            problems.push_back(Text(boost::format("the FAT entry of cluster %1% points outside the card (%2%)") % cluster %
                                    (*value & ~kFatInUse)));
        }
    }
    if (unreadable > 0) {
        problems.push_back(Text(boost::format("the FAT entries of %1% clusters lie outside the card") % unreadable));
    }
    std::vector<int32_t> owner(super.allocEnd, -1);
    std::vector<std::string> owners;
    const Directory root = Root();
    if (root.chain.clusters.empty()) {
        problems.push_back("the root directory cannot be read: " + root.chain.fault);
    } else {
        CheckDirectory(root, std::string(), 0, owner, owners, problems);
    }
    size_t lost = 0;
    for (uint32_t cluster = 0; cluster < super.allocEnd; ++cluster) {
        const std::optional<uint32_t> value = Fat(cluster);
        lost += value && (*value & kFatInUse) != 0 && *value != kFatBad && owner[cluster] < 0 ? 1 : 0;
    }
    if (lost > 0) {
        problems.push_back(Text(boost::format("%1% clusters are marked in use but belong to no file") % lost));
    }
    // The console copies backup block 1 over the block named in backup block 2
    // at the next insertion when backup block 2 is not erased.
    const uint64_t blockPages = super.pagesPerBlock;
    const uint64_t firstPage = uint64_t{super.backupBlock2} * blockPages;
    if (firstPage + blockPages <= uint64_t{super.clustersPerCard} * pagesPerCluster) {
        const auto begin = image.begin() + static_cast<ptrdiff_t>(firstPage * stride);
        if (!std::all_of(begin, begin + static_cast<ptrdiff_t>(blockPages * stride), [](uint8_t b) { return b == kErased; })) {
            problems.push_back(Text(boost::format("backup block 2 (erase block %1%) is not erased: the console would "
                                                  "restore a block from backup block 1") %
                                    super.backupBlock2));
        }
    }
    return problems;
}
