// Any file the user points the import at passes the front door first: what it
// says must not depend on how much of the file was read, and a kind it names
// must be one its reader takes, or the import would write junk.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "FuzzRequire.h"

#include "save/FileKind.h"
#include "save/PS1SaveData.h"
#include "save/PS1SaveFileMcr.h"

namespace {

bool WriteFile(const std::string& path, std::span<const uint8_t> bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const FileKind kind = DetectContentKind(bytes, size);

    // The first 4 KiB (what the path reader looks at first) never say another
    // kind than the whole file; only a card behind an unknown header needs more.
    const FileKind fromHead = DetectContentKind(bytes.first(std::min<size_t>(size, 4096)), size);
    Require(fromHead == FileKind::Unknown || fromHead == kind);

    // The readers the import hands each kind to take it (what they then make
    // of the bytes is for their own targets to check).
    if (kind == FileKind::PS1Save) {
        Require(PS1SaveData(bytes, size).valid);
    }
    PS1SaveFileMcr card;
    if (kind == FileKind::PS1CardImage) {
        Require(card.LoadImage(bytes, "/fuzz/file"));
    }

    // The same bytes as a file named .psu: the name may only add a .psu cut
    // short, and a card image loads from the file as it did from memory.
    static const std::string path =
        (std::filesystem::temp_directory_path() / ("fuzz_file_kind." + std::to_string(::getpid()) + ".psu")).string();
    if (!WriteFile(path, bytes)) {
        return 0;
    }
    const FileKind fromFile = DetectFileKind(path);
    Require(fromFile == kind || (kind == FileKind::Unknown && fromFile == FileKind::Psu && size < 1536));
    if (fromFile == FileKind::PS1CardImage) {
        PS1SaveFileMcr fromDisk;
        Require(fromDisk.Load(path) && fromDisk.items.size() == card.items.size());
        for (size_t i = 0; i < card.items.size(); ++i) {
            Require(fromDisk.items[i].name == card.items[i].name && fromDisk.items[i].data == card.items[i].data);
        }
    }
    std::remove(path.c_str());
    return 0;
}
