#include "save/SaveFileTrade.h"

#include <algorithm>
#include <cstring>

#include "common/FileRead.h"
#include "common/Log.h"
#include "common/TextCodec.h"

bool SaveFileTrade::Save(const std::string& target)
{
    written.clear();
    Log("エラー : この形式では書き出せません " + std::string(className) + "::Save() " + target);
    return false;
}

bool SaveFileTrade::Load(const std::string& file)
{
    saves.clear();
    skipped = 0;
    path = file;
    std::vector<uint8_t> bytes;
    if (const std::error_code error = ReadWholeFile(file, bytes, kLargestFile)) {
        if (error == std::errc::file_too_large) {
            return Fail("ファイルが大きすぎるため読み込みませんでした");
        }
        Log(std::string(className) + "::Load() ファイルを開けませんでした " + file);
        LogError(error);
        return false;
    }
    return LoadBytes(bytes, file);
}

bool SaveFileTrade::LoadBytes(std::span<const uint8_t> bytes, const std::string& file)
{
    saves.clear();
    skipped = 0;
    path = file;
    pendingSave.reset();
    pending.clear();
    pendingNames.clear();
    held = 0;
    timed = false;
    const bool parsed = Parse(bytes);
    if (parsed && pendingSave) {
        // Formats with the card's times put the files in the folder's order;
        // the others keep their own.
        if (timed) {
            SortByFileOrder(pending);
        } else {
            StampFileOrder(pending);
        }
        saves[*pendingSave] = std::move(pending);
    }
    pending.clear();
    pendingNames.clear();
    return parsed;
}

bool SaveFileTrade::IsUsableName(const std::string& name)
{
    return IsSafeName(name) &&
           std::none_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool SaveFileTrade::Fail(const std::string& what, const std::optional<std::string>& name) const
{
    Log("エラー : " + what + " " + className + "::Load() " + path + (name ? " : " + SjisToUtf8(*name) : std::string()));
    return false;
}

std::optional<std::string> SaveFileTrade::FieldText(std::span<const char> field)
{
    const void* nul = std::memchr(field.data(), 0, field.size());
    if (nul == nullptr) {
        return std::nullopt;
    }
    return std::string(field.data(), static_cast<size_t>(static_cast<const char*>(nul) - field.data()));
}

bool SaveFileTrade::TakeName(std::span<const char> field, std::string& name) const
{
    const std::optional<std::string> text = FieldText(field);
    if (!text) {
        return Fail("名前が欄に収まっていないため読み込みませんでした", std::string(field.begin(), field.end()));
    }
    if (!IsUsableName(*text)) {
        return Fail("不正なファイル名があるため読み込みませんでした", *text);
    }
    name = *text;
    return true;
}

bool SaveFileTrade::BeginSave(std::span<const char> nameField)
{
    std::string name;
    if (!TakeName(nameField, name)) {
        return false;
    }
    pendingSave = std::move(name);
    return true;
}

bool SaveFileTrade::AddFile(std::span<const char> nameField, std::span<const uint8_t> data)
{
    std::string name;
    if (!TakeName(nameField, name)) {
        return false;
    }
    // Both would be the same file on the PC, one of them lost. Names are
    // compared as the PC will have them: bytes that are no Shift-JIS all
    // decode to the same replacement character.
    if (!pendingNames.insert(SjisToUtf8(name)).second) {
        return Fail("同じ名前のファイルが複数あるため読み込みませんでした", name);
    }
    if (pending.size() >= kMostFiles || data.size() > kLargestContent - held) {
        return Fail("セーブデータが大きすぎるため読み込みませんでした");
    }
    held += data.size();
    auto file = std::make_shared<FILE_DATA>();
    file->name = std::move(name);
    file->data.assign(data.begin(), data.end());
    pending.push_back(std::move(file));
    return true;
}

std::optional<std::span<const uint8_t>> SaveFileTrade::FileBytes(ByteReader& reader, std::span<const char> nameField,
                                                                 uint64_t length) const
{
    const auto data = reader.Take(length);
    if (!data) {
        Fail("ファイルの長さがファイルの終わりを越えています", FieldText(nameField).value_or(""));
    }
    return data;
}

bool SaveFileTrade::AddFileFrom(ByteReader& reader, std::span<const char> nameField, uint64_t length)
{
    const auto data = FileBytes(reader, nameField, length);
    return data && AddFile(nameField, *data);
}

bool SaveFileTrade::AddFileFrom(ByteReader& reader, std::span<const char> nameField, uint64_t length,
                                const CardTime& created, const CardTime& modified)
{
    const auto data = FileBytes(reader, nameField, length);
    const std::optional<int64_t> creation = data ? Seconds(created) : std::nullopt;
    const std::optional<int64_t> lastWrite = creation ? Seconds(modified) : std::nullopt;
    if (!lastWrite || !AddFile(nameField, *data)) {
        return false;
    }
    // As the .psu reader has them: the card keeps no access time.
    pending.back()->creationTime = *creation;
    pending.back()->lastAccessTime = *creation;
    pending.back()->lastWriteTime = *lastWrite;
    timed = true;
    return true;
}

std::optional<int64_t> SaveFileTrade::Seconds(const CardTime& time) const
{
    static constexpr CardTime kNotSet{};
    if (std::memcmp(&time, &kNotSet, sizeof time) == 0) {
        return 0;
    }
    const std::optional<int64_t> seconds = FromCardTime(time);
    if (!seconds) {
        Fail("日時が不正なため読み込みませんでした");
    }
    return seconds;
}
