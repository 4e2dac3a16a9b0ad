// .psv files come from downloads and from other people's PS3s: whatever the
// bytes, the reader holds to RequireSound, and a PS1 save it gives is whole
// card blocks under a name that can be a file name, with no PS2 save beside it.
#include <cstddef>
#include <cstdint>

#include "TradeChecks.h"
#include "save/SaveFilePSV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SaveFilePSV psv;
    const bool loaded = psv.LoadBytes({data, size}, "fuzz.psv");
    RequireSound(psv, loaded);
    if (psv.ps1Save) {
        const size_t length = psv.ps1Save->data.size();
        Require(loaded && psv.saves.empty() && SaveFileTrade::IsUsableName(psv.ps1Save->name));
        Require(length > 0 && length % 8192 == 0 && length <= 15 * 8192 && length <= size);
    }
    return 0;
}
