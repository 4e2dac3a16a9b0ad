#pragma once
// Section -> key -> value table with the ini-style text format of the
// settings, language and cache files. Reads UTF-8 (with or without a BOM) and
// falls back to CP932 for files written by the Windows program; writes UTF-8.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class SettingFile {
public:
    using Section = std::map<std::string, std::string>;

    // The section that GetInt/SetInt use.
    static constexpr const char* kApplicationSection = "Tansu";

    virtual ~SettingFile() = default;

    // False when the file cannot be opened; the table is then unchanged.
    bool Load(const std::string& path);
    // Parses text in the file format, adding to the table.
    void LoadText(std::string_view text);
    bool Save(const std::string& path) const;
    std::string SaveText() const;

    std::string GetString(const std::string& section, const std::string& key) const;
    void SetString(const std::string& section, const std::string& key, const std::string& value);
    // The application section; a missing, empty or non-numeric value reads as 0.
    int64_t GetInt(const std::string& key) const;
    void SetInt(const std::string& key, int64_t value);

    const std::map<std::string, Section>& Sections() const { return sections; }
    const std::vector<std::string>& SectionNames() const { return sectionNames; }

private:
    std::map<std::string, Section> sections;
    std::vector<std::string> sectionNames;
};
