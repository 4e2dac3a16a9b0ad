#pragma once
// What every reader of another tool's save holds to, whatever the bytes: a
// failed load leaves nothing to write; a load gives one save whose names can
// all be file names inside its folder, none twice, and no more than a card holds.
#include <set>
#include <string>

#include "FuzzRequire.h"
#include "common/TextCodec.h"
#include "save/SaveFileTrade.h"

inline void RequireSound(const SaveFileTrade& reader, bool loaded)
{
    if (!loaded) {
        Require(reader.saves.empty());
        return;
    }
    Require(reader.saves.size() <= 1 && reader.skipped == 0);
    for (const auto& [name, files] : reader.saves) {
        Require(SaveFileTrade::IsUsableName(name) && files.size() <= SaveFileTrade::kMostFiles);
        std::set<std::string> names;
        uint64_t held = 0;
        for (const auto& file : files) {
            Require(SaveFileTrade::IsUsableName(file->name) && names.insert(SjisToUtf8(file->name)).second);
            held += file->data.size();
        }
        Require(held <= SaveFileTrade::kLargestContent);
    }
}
