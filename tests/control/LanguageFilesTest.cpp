#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "common/SettingFile.h"
#include "control/ControlIds.h"
#include "control/UiText.h"

namespace {

SettingFile LanguageFile(const std::string& name)
{
    SettingFile file;
    EXPECT_TRUE(file.Load(std::string(TANSU_SOURCE_DIR) + "/language/" + name + ".ini")) << name;
    return file;
}

std::set<std::string> Keys(const SettingFile& file)
{
    std::set<std::string> keys;
    for (const auto& [section, values] : file.Sections()) {
        for (const auto& [key, value] : values) {
            keys.insert(section + "/" + key);
        }
    }
    return keys;
}

// Every text key the program's sources ask for: the literals inside UiText(...) and UiFormat(...).
std::set<std::string> KeysInSources()
{
    const std::regex call(R"(Ui(?:Text|Format)\(([^;{]*))");
    const std::regex literal(R"re("([A-Z][A-Z0-9_]*)")re");
    std::set<std::string> keys;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(TANSU_SOURCE_DIR) + "/src")) {
        if (entry.path().extension() != ".cpp" || entry.path().filename() == "UiText.cpp") {
            continue;
        }
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (auto it = std::sregex_iterator(source.begin(), source.end(), call); it != std::sregex_iterator(); ++it) {
            const std::string arguments = (*it)[1];
            for (auto lit = std::sregex_iterator(arguments.begin(), arguments.end(), literal);
                 lit != std::sregex_iterator(); ++lit) {
                keys.insert("Text/" + (*lit)[1].str());
            }
        }
    }
    return keys;
}

}  // namespace

TEST(LanguageFilesTest, BothLanguagesHaveEveryKeyTheProgramUsesAndJapaneseHoldsTheBuiltInTexts)
{
    const SettingFile japanese = LanguageFile("Japanese");
    const SettingFile english = LanguageFile("English");
    EXPECT_EQ(Keys(japanese), Keys(english));

    std::set<std::string> used = KeysInSources();
    EXPECT_GT(used.size(), 30u);
    for (const auto& [key, text] : BuiltInUiTexts()) {
        used.insert("Text/" + key);
        // "\n" in a file stands for a line break.
        std::string stored = japanese.GetString("Text", key);
        for (size_t at = stored.find("\\n"); at != std::string::npos; at = stored.find("\\n", at)) {
            stored.replace(at, 2, "\n");
        }
        EXPECT_EQ(stored, text) << key;
    }
    const auto captions = [&](const char* section, const char* prefix, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            used.insert(std::string(section) + "/" + prefix + std::to_string(i));
        }
    };
    captions("Dialog", "STATIC", kCaptionLabels.size());
    captions("Dialog", "GROUP", kGroups.size());
    captions("Dialog", "BUTTON", kButtons.size());
    captions("Dialog", "CHECKBOX", kCheckBoxes.size());
    captions("ToolTip", "BUTTON", kButtons.size());
    captions("ToolTip", "CHECKBOX", kCheckBoxes.size());
    for (const std::string& key : used) {
        EXPECT_EQ(Keys(english).count(key), 1u) << key << " is missing from the language files";
    }
}

TEST(LanguageFilesTest, ATranslationWithBrokenPlaceholdersStillGivesAText)
{
    SetUiTexts({{"USAGE", "%1% KB %2% %3%"}, {"FAILED_SOME", "%"}, {"IDLE", "Ready"}, {"UNKNOWN_KEY", "x"}});
    EXPECT_EQ(UiText("IDLE"), "Ready");
    EXPECT_NO_THROW(UiFormat("USAGE", {"12"}));
    EXPECT_NO_THROW(UiFormat("FAILED_SOME", {"1", "2"}));
    EXPECT_EQ(UiFormat("CANCELLED_AFTER", {"3", "1"}), "中止しました : 3件中1件を処理しました");
    SetUiTexts({});
    EXPECT_EQ(UiText("IDLE"), "待機中");
}
