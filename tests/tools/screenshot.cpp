// Draws the main window into a PNG: a PC folder on the right, a card folder
// connected as USB memory on the left.
//   tansu-screenshot OUT.png PC_FOLDER CARD_FOLDER
// Settings, log and staging files go to a temporary program directory that is
// removed afterwards; the card folder is taken as a removable medium.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QPixmap>

#include "app/CTansuDlg.h"
#include "common/DriveType.h"
#include "common/SettingFile.h"

namespace fs = std::filesystem;

namespace {

void SettleEvents()
{
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "usage: tansu-screenshot OUT.png PC_FOLDER CARD_FOLDER\n";
        return 2;
    }
    // Absolute: the window makes its program directory the current one.
    const std::string out = fs::absolute(argv[1]).string();
    const std::string pcFolder = fs::absolute(argv[2]).lexically_normal().string();
    const std::string cardFolder = fs::absolute(argv[3]).lexically_normal().string();
    if (!fs::is_directory(pcFolder) || !fs::is_directory(cardFolder)) {
        std::cerr << "tansu-screenshot: PC_FOLDER and CARD_FOLDER must be folders\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);

    std::string pattern = (fs::temp_directory_path() / "tansu-screenshot-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::cerr << "tansu-screenshot: cannot make a temporary folder\n";
        return 1;
    }
    const std::string programDirectory = pattern + "/";

    // The window starts as a user left it: Japanese captions, both folders filled in.
    SettingFile settings;
    settings.SetString(SettingFile::kApplicationSection, "EDIT1", pcFolder);
    settings.SetString(SettingFile::kApplicationSection, "EDIT2", cardFolder);
    settings.SetString(SettingFile::kApplicationSection, "LANGUAGE", "Japanese");
    settings.Save(programDirectory + "setting.ini");
    SetRemovableDriveProbe([](const std::string&) { return true; });

    bool saved = false;
    {
        CTansuDlg dialog(nullptr, programDirectory);
        dialog.show();
        SettleEvents();
        if (auto* connectButton = qobject_cast<QAbstractButton*>(dialog.WidgetById(IDC_BUTTON_USB_CONNECT))) {
            connectButton->click();
        }
        SettleEvents();
        saved = dialog.grab().save(QString::fromStdString(out), "PNG");
    }
    SetRemovableDriveProbe(nullptr);
    std::error_code ignored;
    fs::remove_all(programDirectory, ignored);
    if (!saved) {
        std::cerr << "tansu-screenshot: cannot write " << out << "\n";
        return 1;
    }
    return 0;
}
