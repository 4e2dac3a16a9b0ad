#include "cli/ExportCommand.h"

#include <exception>
#include <filesystem>
#include <optional>

#include <boost/format.hpp>

#include "control/Control.h"
#include "control/MemoryView.h"
#include "common/FileHelpers.h"
#include "common/Log.h"

namespace {

const char* const kOperation = "tansu-cli export";
const char* const kTypePS2 = "PS2";
const char* const kTypePS1 = "PS1";

const char* FormatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Psu:
        return "psu";
    case ExportFormat::Npo:
        return "npo";
    case ExportFormat::Mcr:
        return "mcr";
    }
    return "";
}

void LogFailure(const std::string& what, const std::string& path)
{
    Log((boost::format("エラー : %1% %2% : %3%") % what % kOperation % path).str());
}

struct SaveLocation {
    std::string folder;  // the PC folder the save lies in
    std::string name;    // its name there
};

// "/a/b/", "/a/b/." and "/a/b" all name the save b in /a.
std::optional<SaveLocation> Locate(const std::string& absolutePath)
{
    std::filesystem::path path = std::filesystem::path(absolutePath).lexically_normal();
    if (!path.has_filename()) {
        path = path.parent_path();
    }
    if (!path.has_filename() || !path.has_parent_path()) {
        return std::nullopt;
    }
    return SaveLocation{path.parent_path().string(), path.filename().string()};
}

// The PC list's row of the save, by its whole name and type.
std::optional<ListRow> FindRow(const MemoryView& view, const SaveLocation& save, const char* type)
{
    for (const ListRow& row : view.Rows(ListSide::PC)) {
        if (row.size() == static_cast<size_t>(kColumnCount) && row.name == save.name && row[kColumnType] == type) {
            return row;
        }
    }
    return std::nullopt;
}

}  // namespace

ExportResult ExportSaves(const std::vector<std::string>& saves, ExportFormat format, const std::string& targetFolder)
{
    ExportResult result;
    if (!IsDirectory(targetFolder)) {
        LogFailure("書き出し先のフォルダが見つかりません", targetFolder);
        result.done = false;
        return result;
    }
    MemoryView view;
    // Lists nothing yet: each save's own folder is listed when its turn comes.
    view.SetEditText(Edit::PcFolder, "");
    Control control(&view);
    std::string listedFolder;

    for (const std::string& path : saves) {
        const std::optional<SaveLocation> save = Locate(path);
        const bool isFolder = IsDirectory(path);
        if (!save || (!isFolder && !IsFile(path))) {
            LogFailure("セーブが見つかりません", path);
            result.done = false;
            continue;
        }
        // Never a silent change of format: a PS2 save goes only to psu or npo, a PS1 save only to mcr.
        if (isFolder == (format == ExportFormat::Mcr)) {
            LogFailure((boost::format("形式 %1% は %2% のセーブに使えません") % FormatName(format) %
                        (isFolder ? kTypePS2 : kTypePS1))
                           .str(),
                       path);
            result.done = false;
            continue;
        }
        if (save->folder != listedFolder) {
            view.SetEditText(Edit::PcFolder, save->folder);
            control.UpdateDataListPC();
            listedFolder = save->folder;
        }
        const std::optional<ListRow> row = FindRow(view, *save, isFolder ? kTypePS2 : kTypePS1);
        if (!row) {
            LogFailure("PCリストにセーブがありません", path);
            result.done = false;
            continue;
        }
        const int fileType = format == ExportFormat::Npo ? 1 : 0;
        bool exported = false;
        // The writer says where the file went: a name already taken, by an
        // earlier file or by a save of the same title in this run, gives the
        // next free numbered one.
        std::string written;
        try {
            exported = control.ExportSave(*row, fileType, targetFolder, &written);
        } catch (const std::exception& error) {
            LogFailure(std::string("書き出しを中断しました ") + error.what(), path);
        }
        if (!exported || written.empty()) {
            LogFailure("書き出しに失敗しました", path);
            result.done = false;
            continue;
        }
        result.written.push_back(std::filesystem::path(written).filename().string());
    }
    return result;
}
