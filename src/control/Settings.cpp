#include "control/Settings.h"
#include "control/UiText.h"

#include <algorithm>
#include <cstdlib>

#include <boost/format.hpp>

#include "control/ControlIds.h"
#include "control/ControlView.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/SettingFile.h"

namespace {

const char* const kSettingFileName = "setting.ini";
const char* const kApplication = SettingFile::kApplicationSection;

std::string Key(const char* prefix, size_t index) { return (boost::format("%1%%2%") % prefix % index).str(); }

std::string DefaultPcFolder() { return ProgramDirectory() + "save"; }

// Language files ship with the program; a "language" folder of the program
// directory (the user's own translations) goes before them.
std::string LanguageDirectory()
{
    const std::string own = ProgramDirectory() + "language/";
    return IsDirectory(own) ? own : ShippedFilesDirectory() + "language/";
}

bool UserLocaleIsJapanese()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return std::string(value).rfind("ja", 0) == 0;
        }
    }
    return false;
}

template <typename Ids>
void ApplyGroup(ControlView& view, const SettingFile& file, const char* section, const char* prefix, const Ids& ids,
                bool toolTip)
{
    for (size_t i = 0; i < ids.size(); ++i) {
        const std::string text = file.GetString(section, Key(prefix, i));
        if (toolTip) {
            view.SetToolTip(ids[i], text);
        } else {
            view.SetCaption(ids[i], text);
        }
    }
}

}  // namespace

std::vector<std::string> AvailableLanguages()
{
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : ListDirectory(LanguageDirectory())) {
        const std::string& name = entry.name;
        if (!entry.isDirectory && name.size() > 4 && name.compare(name.size() - 4, 4, ".ini") == 0) {
            names.push_back(name.substr(0, name.size() - 4));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void LoadSettings(ControlView& view)
{
    EnterProgramDirectory();
    std::string language;
    const std::string path = ProgramDirectory() + kSettingFileName;
    if (!IsFile(path)) {
        view.SetEditText(Edit::PcFolder, DefaultPcFolder());
    } else {
        SettingFile file;
        file.Load(path);
        for (int i = 0; i < kOptionCount; ++i) {
            view.SetOptionChecked(static_cast<Option>(i), file.GetInt(Key("CHECK_BOX", static_cast<size_t>(i))) != 0);
        }
        for (int i = 0; i < kEditCount; ++i) {
            view.SetEditText(static_cast<Edit>(i), file.GetString(kApplication, Key("EDIT", static_cast<size_t>(i))));
        }
        const std::string pcFolder = view.GetEditText(Edit::PcFolder);
        if (pcFolder.empty() || !IsDirectory(pcFolder)) {
            view.SetEditText(Edit::PcFolder, DefaultPcFolder());
        }
        const std::string usbFolder = view.GetEditText(Edit::UsbFolder);
        if (!usbFolder.empty() && !IsRemovableDrive(usbFolder)) {
            view.SetEditText(Edit::UsbFolder, std::string());
        }
        language = file.GetString(kApplication, "LANGUAGE");
    }

    // The combo box is sorted, and so is this list: indexes agree.
    const std::vector<std::string> languages = AvailableLanguages();
    view.ClearCombo(Combo::Language);
    for (const std::string& name : languages) {
        view.AddComboItem(Combo::Language, name);
    }
    // A box selects its first item as it is filled: the choice below is made afresh.
    view.SelectComboItem(Combo::Language, -1);
    if (languages.empty()) {
        Log("警告 : 言語ファイルが見つかりません LoadSettings() " + LanguageDirectory());
    }
    const auto select = [&](const std::string& name) {
        const auto found = std::find(languages.begin(), languages.end(), name);
        if (found != languages.end()) {
            view.SelectComboItem(Combo::Language, static_cast<int>(found - languages.begin()));
        }
    };
    if (!language.empty()) {
        select(language);
    }
    if (view.GetComboText(Combo::Language).empty()) {
        select(UserLocaleIsJapanese() ? "Japanese" : "English");
    }
    if (view.GetComboText(Combo::Language).empty() && !languages.empty()) {
        view.SelectComboItem(Combo::Language, 0);
    }
}

CatalogueAddresses LoadCatalogueAddresses()
{
    SettingFile file;
    file.Load(ProgramDirectory() + kSettingFileName);
    CatalogueAddresses addresses = DefaultCatalogueAddresses();
    for (auto [key, value] : {std::pair{"CATALOGUE_URL", &addresses.catalogue},
                              std::pair{"CATALOGUE_MIRROR_URL", &addresses.mirror}}) {
        if (std::string configured = file.GetString(kApplication, key); !configured.empty()) {
            *value = std::move(configured);
        }
    }
    return addresses;
}

void SaveSettings(const ControlView& view, const std::map<std::string, std::string>& windowKeys)
{
    // Written back as they were read, so that the keys are there to be changed.
    const CatalogueAddresses addresses = LoadCatalogueAddresses();
    SettingFile file;
    file.SetString(kApplication, "CATALOGUE_URL", addresses.catalogue);
    file.SetString(kApplication, "CATALOGUE_MIRROR_URL", addresses.mirror);
    for (const auto& [key, value] : windowKeys) {
        file.SetString(kApplication, key, value);
    }
    for (int i = 0; i < kOptionCount; ++i) {
        file.SetInt(Key("CHECK_BOX", static_cast<size_t>(i)), view.IsOptionChecked(static_cast<Option>(i)) ? 1 : 0);
    }
    for (int i = 0; i < kEditCount; ++i) {
        file.SetString(kApplication, Key("EDIT", static_cast<size_t>(i)), view.GetEditText(static_cast<Edit>(i)));
    }
    EnterProgramDirectory();
    file.SetString(kApplication, "LANGUAGE", view.GetComboText(Combo::Language));
    file.Save(ProgramDirectory() + kSettingFileName);
}

void ApplyLanguage(ControlView& view)
{
    const std::string name = view.GetComboText(Combo::Language);
    // No language chosen (the command line has no captions): the built-in texts stay, nothing to warn about.
    if (name.empty()) {
        return;
    }
    SettingFile file;
    if (!file.Load(LanguageDirectory() + name + ".ini")) {
        // Without a language file the built-in captions stay: blanking every caption would leave an unusable window.
        Log("警告 : 言語ファイルを読み込めませんでした ApplyLanguage() " + name);
        return;
    }
    const auto texts = file.Sections().find("Text");
    SetUiTexts(texts != file.Sections().end() ? texts->second : SettingFile::Section{});
    ApplyGroup(view, file, "Dialog", "STATIC", kCaptionLabels, false);
    ApplyGroup(view, file, "Dialog", "GROUP", kGroups, false);
    ApplyGroup(view, file, "Dialog", "BUTTON", kButtons, false);
    ApplyGroup(view, file, "Dialog", "CHECKBOX", kCheckBoxes, false);
    ApplyGroup(view, file, "ToolTip", "BUTTON", kButtons, true);
    ApplyGroup(view, file, "ToolTip", "CHECKBOX", kCheckBoxes, true);
    ApplyGroup(view, file, "ToolTip", "EDIT", kEdits, true);
    ApplyGroup(view, file, "ToolTip", "COMBOBOX", kCombos, true);
}
