#include "cli/RenderIconCommand.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <memory>
#include <optional>
#include <system_error>

#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "icon/IconObjectBase.h"
#include "icon/IconObjectPS1.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRenderingManager.h"

namespace {

const char* const kOperation = " tansu-cli render-icon ";

void LogFailure(const std::string& what, const std::string& path) { Log("エラー : " + what + kOperation + path); }

std::unique_ptr<IconObjectBase> MakeIcon(const std::string& savePath, SoftwareDevice* device)
{
    if (IsDirectory(savePath)) {
        return std::make_unique<IconObjectPS2>(JoinPath(savePath, "icon.sys"), device);
    }
    return std::make_unique<IconObjectPS1>(savePath, device);
}

// The frame as the pane would show it; nothing when the icon has nothing to draw.
std::optional<DeviceFrame> DrawFrame(const std::string& savePath, uint32_t time, uint32_t size)
{
    const std::shared_ptr<SoftwareDevice> device = IconRenderingManager::MakePaneDevice(size, size);
    if (!device) {
        return std::nullopt;
    }
    std::optional<DeviceFrame> presented;
    device->SetPresentTarget([&presented](const DeviceFrame& frame) { presented = frame; });
    const std::unique_ptr<IconObjectBase> icon = MakeIcon(savePath, device.get());
    icon->Update(time);
    icon->Render();
    return presented;
}

QByteArray EncodePng(const DeviceFrame& frame)
{
    // The pane shows the same 0xAARRGGBB pixels, alpha included.
    const QImage image(reinterpret_cast<const uchar*>(frame.pixels.data()), static_cast<int>(frame.width),
                       static_cast<int>(frame.height), static_cast<qsizetype>(frame.width) * 4,
                       QImage::Format_ARGB32);
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        return {};
    }
    return png;
}

// Under a temporary name beside the target, renamed over it only once complete:
// a failure leaves whatever the file held before.
std::error_code WriteWhole(const std::string& path, const QByteArray& bytes)
{
    PendingFile file(path);
    std::error_code error = file.Create();
    if (!error) {
        error = file.Write(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    if (!error) {
        error = file.Commit();
    }
    return error;
}

}  // namespace

bool RenderIcon(const std::string& savePath, uint32_t time, uint32_t size, const std::string& outputFile)
{
    if (!Exists(savePath)) {
        LogFailure("ファイルが見つかりません", savePath);
        return false;
    }
    const std::optional<DeviceFrame> frame = DrawFrame(savePath, time, size);
    if (!frame || frame->pixels.size() != static_cast<size_t>(frame->width) * frame->height) {
        LogFailure("描画できるアイコンがありません", savePath);
        return false;
    }
    const QByteArray png = EncodePng(*frame);
    if (png.isEmpty()) {
        LogFailure("画像を作れませんでした", outputFile);
        return false;
    }
    if (const std::error_code error = WriteWhole(outputFile, png)) {
        LogFailure("画像を書き込めませんでした", outputFile);
        LogError(error);
        return false;
    }
    return true;
}
