// Draws the main window into a PNG: a PC folder on the right, a card folder
// connected as USB memory on the left. The lists are the real listings; the
// folder edits then show the given names instead of the temporary folders.
//   tansu-screenshot OUT.png PC_FOLDER PC_SHOWN CARD_FOLDER CARD_SHOWN [CATALOGUE_URL]
// Without a catalogue: a copy of every card save caught half way. With one:
// the first card save selected, its game looked up there, both panes filled.
#include <filesystem>
#include <iostream>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QThread>

#include "app/CListCtrlEx.h"

#include "app/CTansuDlg.h"
#include "common/DriveType.h"
#include "common/SettingFile.h"

int main(int argc, char** argv)
{
    if (argc != 6 && argc != 7) {
        std::cerr << "usage: tansu-screenshot OUT.png PC_FOLDER PC_SHOWN CARD_FOLDER CARD_SHOWN [CATALOGUE_URL]\n";
        return 2;
    }
    // The script gives an offscreen screen of a desktop's size; offscreen's own is the fallback.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    // Settings, log and staging files; the window also makes it the current directory.
    const QTemporaryDir programDirectory;
    SettingFile settings;
    settings.SetString(SettingFile::kApplicationSection, "EDIT1", std::filesystem::absolute(argv[2]));
    settings.SetString(SettingFile::kApplicationSection, "EDIT2", std::filesystem::absolute(argv[4]));
    // TANSU_SCREENSHOT_LANGUAGE picks the language, TANSU_SCREENSHOT_SIZE ("WIDTHxHEIGHT", or
    // "smallest") the window's size; without it the window opens at the size it chooses itself.
    const QString language = qEnvironmentVariable("TANSU_SCREENSHOT_LANGUAGE", QStringLiteral("Japanese"));
    settings.SetString(SettingFile::kApplicationSection, "LANGUAGE", language.toStdString());
    settings.SetString(SettingFile::kApplicationSection, "CHECK_BOX5", "1");
    const bool gameInfo = argc == 7;
    if (gameInfo) {
        settings.SetString(SettingFile::kApplicationSection, "CHECK_BOX1", "1");
        settings.SetString(SettingFile::kApplicationSection, "CATALOGUE_URL", argv[6]);
    }
    settings.Save(programDirectory.filePath("setting.ini").toStdString());
    SetRemovableDriveProbe([](const std::string&) { return true; });

    const QString out = QString::fromStdString(std::filesystem::absolute(argv[1]).string());
    CTansuDlg dialog(nullptr, programDirectory.path().toStdString() + "/");
    if (const QStringList size = qEnvironmentVariable("TANSU_SCREENSHOT_SIZE").split(QLatin1Char('x')); size.size() == 2) {
        dialog.resize(size[0].toInt(), size[1].toInt());
    } else if (size.front() == QStringLiteral("smallest")) {
        dialog.resize(dialog.minimumSize());
    }
    dialog.show();
    qobject_cast<QAbstractButton*>(dialog.WidgetById(IDC_BUTTON_USB_CONNECT))->click();
    dialog.WaitForCommand();
    // The first PS2 save of the card is the one selected: its icon turns in the pane.
    CListCtrlEx* cardList = dialog.List(ListSide::PS2);
    for (int i = 0; i < cardList->topLevelItemCount(); ++i) {
        if (cardList->GetRow(i)[kColumnType] == "PS2") {
            cardList->setCurrentItem(cardList->topLevelItem(i));
            emit cardList->itemClicked(cardList->topLevelItem(i), 0);
            dialog.WaitForCommand();
            break;
        }
    }
    // Frames come from the rendering thread through the event queue.
    for (int i = 0; i < 50; ++i) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    if (gameInfo) {
        const auto* pane = qobject_cast<const QLabel*>(dialog.WidgetById(IDC_STATIC_GAME_INFO));
        for (int i = 0; i < 1000 && pane != nullptr && pane->text().isEmpty(); ++i) {
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        // The stills of the rows' icons come from a thread of their own.
        for (int i = 0; i < 50; ++i) {
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
        dialog.SetEditText(Edit::PcFolder, argv[3]);
        dialog.SetEditText(Edit::UsbFolder, argv[5]);
        return dialog.grab().save(out, "PNG") ? 0 : 1;
    }
    // A copy of every card save to the PC, caught half way: the bar moves and 中止 can stop it.
    cardList->SetAllTicked(true);
    qobject_cast<QAbstractButton*>(dialog.WidgetById(IDC_BUTTON_COPY_TO_PC))->click();
    const auto* bar = dialog.findChild<QProgressBar*>();
    const auto* status = qobject_cast<const QLabel*>(dialog.WidgetById(IDC_STATIC_STATUS));
    const auto halfWay = [&] {
        return bar != nullptr && bar->value() > 0 && bar->value() < bar->maximum() && status != nullptr &&
               status->text().startsWith(QStringLiteral("ダウンロード中"));
    };
    while (dialog.IsCommandRunning() && !halfWay()) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    // The command works on the folders it started with; the fields now show neutral names.
    dialog.SetEditText(Edit::PcFolder, argv[3]);
    dialog.SetEditText(Edit::UsbFolder, argv[5]);
    const QPixmap picture = dialog.grab();
    dialog.WaitForCommand();
    if (!picture.save(out, "PNG")) {
        std::cerr << "tansu-screenshot: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
