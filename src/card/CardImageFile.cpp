#include "card/CardImageFile.h"

#include <algorithm>
#include <bit>
#include <ctime>

#include "card/Ps1CardImage.h"
#include "card/Ps2CardImage.h"
#include "common/FileRead.h"
#include "common/PendingFile.h"
#include "save/FileKind.h"
#include "save/SaveFileBase.h"

namespace {

// A PS2 card of whole 512-byte pages, with or without 16 spare bytes each.
bool IsPs2CardSize(uint64_t length)
{
    return (length % 528 == 0 && std::has_single_bit(length / 528)) || (length % 512 == 0 && std::has_single_bit(length / 512));
}

}  // namespace

CardImageKind CardImageKindOf(std::span<const uint8_t> bytes, uint64_t length)
{
    if (Ps2CardImage::HasMagic(bytes)) {
        return CardImageKind::Ps2;
    }
    if (PS1CardImageOffset(bytes, length)) {
        return CardImageKind::Ps1;
    }
    if (length >= 8u << 20 && IsPs2CardSize(length) && !bytes.empty() &&
        std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == Ps2Card::kErased; })) {
        return CardImageKind::Ps2;
    }
    return CardImageKind::None;
}

CardImageKind CardImageKindOfFile(const std::string& path)
{
    // Enough for a PS1 card behind any header; a PS2 card shows in its first bytes.
    const FileHead head = ReadFileHead(path, kLargestPS1CardFile);
    return head.openError ? CardImageKind::None : CardImageKindOf(head.bytes, head.length);
}

std::error_code FormatCardImage(const std::string& path, bool ps1, bool ecc, uint32_t megabytes)
{
    const std::vector<uint8_t> bytes =
        ps1 ? Ps1CardImage::Format() : Ps2CardImage::Format(megabytes, ecc, static_cast<int64_t>(std::time(nullptr)));
    if (bytes.empty()) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    PendingFile out(path);
    std::error_code error = out.Create();
    error = error ? error : out.Write(bytes.data(), bytes.size());
    error = error ? error : out.Sync();
    return error ? error : out.CommitNew();
}

CardImageReport CheckCardImage(const std::string& path)
{
    CardImageReport report;
    std::vector<uint8_t> bytes;
    report.readError = ReadWholeFile(path, bytes, SaveFileBase::kLargestSave);
    if (report.readError) {
        return report;
    }
    report.size = bytes.size();
    report.kind = CardImageKindOf(bytes, bytes.size());
    switch (report.kind) {
    case CardImageKind::Ps2: {
        const Ps2CardImage card(std::move(bytes));
        report.ecc = card.HasEcc();
        report.problems = card.Check();
        break;
    }
    case CardImageKind::Ps1:
        report.problems = Ps1CardImage(std::move(bytes)).Check();
        break;
    case CardImageKind::None:
        report.problems.push_back("neither a PS2 nor a PS1 memory-card image");
        break;
    }
    return report;
}
