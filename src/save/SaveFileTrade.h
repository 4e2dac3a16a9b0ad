#pragma once
// Single-file saves that other tools write (cheat devices, save adapters, the
// PS3): read into the save map, never written. They come from downloads and
// strangers, so every count, length and name in them is a claim to check.
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "save/ByteReader.h"
#include "save/CardTime.h"
#include "save/SaveFileBase.h"

class SaveFileTrade : public SaveFileBase {
public:
    // Each of these formats holds one save of an 8 MiB card: neither the
    // save nor a stream it unpacks to can be larger.
    static constexpr uint64_t kLargestContent = uint64_t{8} << 20;
    // Headers and compression that does not pay add to a save; twice the
    // card is far beyond any of them.
    static constexpr uint64_t kLargestFile = 2 * kLargestContent;
    // Every file takes a 512-byte directory entry on the card.
    static constexpr uint64_t kMostFiles = kLargestContent / 512;

    // Nothing is written in these formats: false, logged.
    bool Save(const std::string& path) override;
    // Refuses a file larger than kLargestFile before reading it.
    bool Load(const std::string& path) override;
    // Load on a whole file in memory; path names it in the log. A damaged
    // file (cut short, a count or length that does not fit, a name that
    // cannot be a file name) fails whole, logged, and leaves the map empty.
    bool LoadBytes(std::span<const uint8_t> bytes, const std::string& path);

    // IsSafeName, and no control characters either: a name that could not be
    // typed or shown is no name a card wrote.
    static bool IsUsableName(const std::string& name);

protected:
    // className: how the log lines name the reader ("SaveFileMAX").
    explicit SaveFileTrade(const char* name) : className(name) {}

    // Reads the one save through BeginSave and AddFile; false once a check
    // failed (after its log line, see Fail).
    virtual bool Parse(std::span<const uint8_t> bytes) = 0;

    // "エラー : <what> <class>::Load() <path>", then " : <name>" when a name
    // is given (decoded for the log); false.
    bool Fail(const std::string& what, const std::optional<std::string>& name = std::nullopt) const;
    // The text of a NUL-padded field up to its first NUL; empty when the
    // field has none (a card name always ends inside its field).
    static std::optional<std::string> FieldText(std::span<const char> field);

    bool BeginSave(std::span<const char> nameField);
    // A file of the save, its bytes the next length ones of the reader. A
    // length past their end, a name that is no usable name, or one that
    // another file of the save already has, fails the load.
    bool AddFileFrom(ByteReader& reader, std::span<const char> nameField, uint64_t length);
    // The same with the card's times of the file (all-zero: not set).
    bool AddFileFrom(ByteReader& reader, std::span<const char> nameField, uint64_t length, const CardTime& created,
                     const CardTime& modified);

    // The log name of the file being read.
    std::string path;

private:
    bool TakeName(std::span<const char> field, std::string& name) const;
    std::optional<std::span<const uint8_t>> FileBytes(ByteReader& reader, std::span<const char> nameField,
                                                      uint64_t length) const;
    bool AddFile(std::span<const char> nameField, std::span<const uint8_t> data);
    std::optional<int64_t> Seconds(const CardTime& time) const;

    const char* className;
    std::optional<std::string> pendingSave;
    FileList pending;
    std::set<std::string> pendingNames;  // as PC file names
    uint64_t held = 0;
    bool timed = false;
};
