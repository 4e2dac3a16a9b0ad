// The settings, language and cache files can be edited by hand or come from
// another program: the reader must take any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/SettingFile.h"
#include "common/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SettingFile file;
    file.LoadText(text);
    // What was read must write out and read back the same.
    SettingFile again;
    again.LoadText(file.SaveText());
    if (again.Sections() != file.Sections()) {
        __builtin_trap();
    }
    (void)file.GetInt("CHECK_BOX0");
    // A file that is not UTF-8 is read as CP932: that decoding must give UTF-8 whatever the bytes.
    if (!IsValidUtf8(SjisToUtf8(text))) {
        __builtin_trap();
    }
    return 0;
}
