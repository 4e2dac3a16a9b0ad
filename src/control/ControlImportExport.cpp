// Export and import between the PC folder and single-file containers.
#include <algorithm>
#include <cctype>
#include <exception>
#include <memory>

#include <boost/format.hpp>

#include "control/Control.h"
#include "control/UiText.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "save/FileKind.h"
#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileCBS.h"
#include "save/SaveFileFolder.h"
#include "save/SaveFileMAX.h"
#include "save/SaveFileNPO.h"
#include "save/SaveFilePSU.h"
#include "save/SaveFilePSV.h"
#include "save/SaveFileSPS.h"

namespace {


// The kind as the import's log line names it; null for a kind import cannot take.
const char* ImportedKindName(FileKind kind)
{
    switch (kind) {
    case FileKind::Psu:
        return "psu";
    case FileKind::Npo:
        return "npo";
    case FileKind::PS1Save:
    case FileKind::PS1CardImage:
        return "ps1";
    case FileKind::Max:
        return "max";
    case FileKind::Cbs:
        return "cbs";
    case FileKind::Sps:
        return "sps";
    case FileKind::Psv:
        return "psv";
    case FileKind::Unknown:
    case FileKind::IconSys:
    case FileKind::SaveFolder:
        break;
    }
    return nullptr;
}

// The text after the last dot of the file name (not of a folder above it), in lower case.
std::string Extension(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string();
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// The reader of a kind that holds PS2 saves; null for the others.
std::unique_ptr<SaveFileBase> Reader(FileKind kind)
{
    switch (kind) {
    case FileKind::Psu:
        return std::make_unique<SaveFilePSU>();
    case FileKind::Npo:
        return std::make_unique<SaveFileNPO>();
    case FileKind::Max:
        return std::make_unique<SaveFileMAX>();
    case FileKind::Cbs:
        return std::make_unique<SaveFileCBS>();
    case FileKind::Sps:
        return std::make_unique<SaveFileSPS>();
    case FileKind::Psv:
        return std::make_unique<SaveFilePSV>();
    case FileKind::Unknown:
    case FileKind::IconSys:
    case FileKind::SaveFolder:
    case FileKind::PS1Save:
    case FileKind::PS1CardImage:
        break;
    }
    return nullptr;
}

std::unique_ptr<SaveFileBase> Container(int fileType)
{
    if (fileType == 1) {
        return std::make_unique<SaveFileNPO>();
    }
    return std::make_unique<SaveFilePSU>();
}

// A file error ends the work on one save, never the program: the path and the system's text go to the log.
template <typename Work>
bool Guarded(const char* operation, Work&& work)
{
    try {
        return work();
    } catch (const SaveFileError& error) {
        Log((boost::format("エラー : ファイルの読み書きに失敗しました %1% %2%") % operation % error.path).str());
        LogError(error.error);
    } catch (const std::exception& error) {
        Log((boost::format("エラー : 処理を中断しました %1% %2%") % operation % error.what()).str());
    }
    return false;
}

}  // namespace

bool Control::ExportSave(const ListRow& row, int fileType, const std::string& targetFolder, std::string* written)
{
    if (!IsActionable(row, ListSide::PC, "Control::OnExport()")) {
        return false;
    }
    const std::string& title = row[kColumnTitle];
    const std::string source = JoinPath(dialog->GetEditText(Edit::PcFolder), row.name);
    return Guarded("Control::OnExport()", [&] {
        if (row.IsPS1()) {
            SetStatus(UiFormat("READING", {title}));
            PS1SaveFileMcr save;
            if (!save.LoadRaw(source)) {
                return false;
            }
            SetStatus(UiFormat("WRITING", {title}));
            if (!save.Save(JoinPath(targetFolder, row.name + ".mcr"))) {
                return false;
            }
            if (written != nullptr) {
                *written = save.savedImage;
            }
            return true;
        }
        SetStatus(UiFormat("READING", {title}));
        // A save that did not load whole is not written at all: a container
        // missing a file would pass for the save once it is away from the log.
        SaveFileFolder folder;
        if (!folder.Load(source)) {
            return false;
        }
        SetStatus(UiFormat("WRITING", {title}));
        const std::unique_ptr<SaveFileBase> container = Container(fileType);
        container->saves = folder.saves;
        const bool saved = container->Save(targetFolder);
        if (written != nullptr && !container->written.empty()) {
            *written = container->written.front();
        }
        return saved;
    });
}

void Control::OnExport()
{
    dialog->EnableControls(false);
    const std::string target = dialog->PickFolder(ProgramDirectory());
    const std::vector<ListRow> rows = target.empty() ? std::vector<ListRow>() : dialog->GetTickedRows(ListSide::PC);
    const std::optional<int> fileType = rows.empty() ? std::nullopt : dialog->ChooseFileType();
    if (!fileType) {
        dialog->EnableControls(true);
        return;
    }
    const size_t n = rows.size();
    for (size_t k = 1; k <= n; ++k) {
        if (CancelRequested()) {
            LogCancelled(k - 1, n);
            break;
        }
        ExportSave(rows[k - 1], *fileType, target);
        dialog->SetProgress(static_cast<float>(k) / static_cast<float>(n));
    }
    dialog->SetProgress(1.0f);
    SetStatus(UiText("IDLE"));
    dialog->EnableControls(true);
}

bool Control::ImportContainer(const std::string& path, FileKind kind, bool quiet)
{
    const char* const kindName = ImportedKindName(kind);
    if (kindName == nullptr) {
        Log("拡張子の判別ミス : " + Extension(path) + " " + path);
        return false;
    }
    if (!quiet) {
        Log("読込中(" + std::string(kindName) + ") : " + path);
    }
    const std::string pcFolder = dialog->GetEditText(Edit::PcFolder);
    return Guarded("Control::OnImport()", [&] {
        // A file that could not be read whole writes nothing. One whose saves
        // or files were partly left out (logged) writes the rest, and fails.
        if (kind == FileKind::PS1Save || kind == FileKind::PS1CardImage) {
            PS1SaveFileMcr saves;
            const bool loaded = kind == FileKind::PS1Save ? saves.LoadRaw(path) : saves.Load(path);
            if (!loaded) {
                return false;
            }
            const bool saved = saves.SaveRaw(pcFolder);
            return saved && saves.skipped == 0;
        }
        const std::unique_ptr<SaveFileBase> container = Reader(kind);
        if (!container->Load(path)) {
            return false;
        }
        // A PS3 export of a PS1 save lands as a raw PS1 save file, as the
        // saves of a card image do.
        if (const auto* psv = dynamic_cast<const SaveFilePSV*>(container.get()); psv != nullptr && psv->ps1Save) {
            PS1SaveFileMcr saves;
            saves.items = {*psv->ps1Save};
            return saves.SaveRaw(pcFolder);
        }
        if (!quiet) {
            SetStatus(UiFormat("WRITING", {path}));
        }
        SaveFileFolder folder;
        folder.saves = container->saves;
        const bool saved = folder.Save(pcFolder);
        return saved && container->skipped == 0;
    });
}

bool Control::ImportFile(const std::string& path) { return ImportContainer(path, DetectFileKind(path), false); }

void Control::OnImport()
{
    Log("Control::OnImport()");
    dialog->EnableControls(false);
    // The content decides what a file is, so the filter's last entry offers every file;
    // "*" and not "*.*", which here would hide the raw PS1 saves that have no extension.
    const std::vector<std::string> paths = dialog->PickFilesToOpen(UiText("OPEN_FILTER"));
    Log("選択ファイル数 : " + std::to_string(paths.size()));
    const size_t n = paths.size();
    for (size_t k = 1; k <= n; ++k) {
        if (CancelRequested()) {
            LogCancelled(k - 1, n);
            break;
        }
        SetStatus(UiFormat("READING", {paths[k - 1]}));
        ImportFile(paths[k - 1]);
        dialog->SetProgress(static_cast<float>(k) / static_cast<float>(n));
    }
    dialog->SetProgress(1.0f);
    UpdateDataListPC();
    SetStatus(UiText("IDLE"));
    dialog->EnableControls(true);
}

void Control::OnImportDropped(const std::vector<std::string>& paths)
{
    dialog->EnableControls(false);
    for (const std::string& path : paths) {
        // A dropped folder is no file to import; the window takes it as a folder to show.
        ImportContainer(path, IsFile(path) ? DetectFileKind(path) : FileKind::Unknown, true);
    }
    UpdateDataListPC();
    // The refresh leaves its own status behind; a finished drop is idle.
    SetStatus(UiText("IDLE"));
    dialog->EnableControls(true);
}
