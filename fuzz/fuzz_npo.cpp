// .npo files come from other tools: the reader must take any bytes, never
// hold more than the input, never keep a name that cannot be a file name,
// and whatever it keeps must survive writing and reading again.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "FuzzRequire.h"
#include "save/SaveFileNPO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    SaveFileNPO npo;
    npo.LoadBytes(bytes, "/fuzz/SAVE.npo");
    Require(npo.saves.size() <= 1);
    if (npo.saves.empty()) {
        return 0;
    }
    const auto& files = npo.saves.begin()->second;
    size_t held = 0;
    for (const auto& file : files) {
        Require(SaveFileBase::IsSafeName(file->name) && file->name.size() <= 48);
        held += file->data.size();
    }
    Require(held <= size);

    std::vector<uint8_t> written;
    if (!SaveFileNPO::Build(files, written)) {
        return 0;
    }
    SaveFileNPO reread;
    Require(reread.LoadBytes(written, "/fuzz/SAVE.npo"));
    const auto& again = reread.saves.begin()->second;
    Require(again.size() == files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        Require(again[i]->name == files[i]->name && again[i]->data == files[i]->data);
    }
    return 0;
}
