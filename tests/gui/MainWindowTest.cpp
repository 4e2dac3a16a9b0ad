// The main window driven as a user would: offscreen, with a card folder taken
// as a removable medium and the program directory in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QComboBox>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>  // and the mouse and drop events
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "TestSupport.h"
#include "app/CListCtrlEx.h"
#include "app/CTansuDlg.h"
#include "app/DlgSelectFileType.h"
#include "common/DriveType.h"
#include "common/SettingFile.h"

namespace fs = std::filesystem;

namespace {

void Settle()
{
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
}

void MakePS2Save(const std::string& folder, const std::string& title, size_t dataBytes)
{
    WriteBytes(folder + "/icon.sys", MakeIconSys(title));
    WriteBytes(folder + "/DATA", std::vector<uint8_t>(dataBytes, 0x5A));
}

std::string Caption(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        return label->text().toStdString();
    }
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    const auto* group = qobject_cast<const QGroupBox*>(widget);
    return button ? button->text().toStdString() : group ? group->title().toStdString() : widget ? "-" : "(missing)";
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One application for the whole run, left to the end of the process like a real one.
        static int argc = 1;
        static char name[] = "gui_tests", *argv[] = {name, nullptr};
        static QApplication* application = (qputenv("QT_QPA_PLATFORM", "offscreen"), new QApplication(argc, argv));
        Q_UNUSED(application);
        SetRemovableDriveProbe([this](const std::string&) { return removable; });
        fs::create_directories(programDir / "language");  // none: the built-in captions stay
        MakePS2Save(card / "BASLUS-00001AAA", "SAVE ONE", 3000);
        MakePS2Save(card / "BASLUS-00002BBB", "SAVE TWO", 100);
        WriteBytes(card / "BASLUS-00003PS1", MakePS1Save("PS1 GAME"));
        MakePS2Save(pc / "BESLES-00009PC", "ON THE PC", 10);
        SettingFile settings;
        settings.SetString(SettingFile::kApplicationSection, "EDIT1", pc.path());
        settings.Save(programDir / "setting.ini");
        dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
        dialog->show();
        Settle();
    }
    void TearDown() override
    {
        dialog.reset();
        SetRemovableDriveProbe(nullptr);
    }

    QWidget* Find(int id) const { return dialog->findChild<QWidget*>(QString("IDC_%1").arg(id)); }
    void Click(int id) { qobject_cast<QAbstractButton*>(Find(id))->click(); }
    void ConnectCard()
    {
        dialog->SetEditText(Edit::UsbFolder, card.path());
        Click(IDC_BUTTON_USB_CONNECT);
    }
    void ExpectEnabled(const std::vector<int>& ids, bool enabled)
    {
        for (int id : ids) {
            EXPECT_EQ(Find(id)->isEnabled(), enabled) << id;
        }
    }
    void Drop(const std::string& path, int onId)
    {
        QMimeData data;  // a file dropped along with the folder must not disturb it
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path)),
                      QUrl::fromLocalFile(QString::fromStdString(programDir / "setting.ini"))});
        const QPoint at = Find(onId)->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &drop);
    }
    std::string SizeColumnAfterHeaderClick(CListCtrlEx& list)
    {
        QHeaderView* header = list.header();
        const QPointF at(header->sectionViewportPosition(kColumnSize) + header->sectionSize(kColumnSize) / 2,
                         header->height() / 2);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(header->viewport(), &event);
        }
        std::string sizes;
        for (int i = 0; i < list.RowCount(); ++i) {
            sizes += list.GetRow(i)[kColumnSize] + " ";
        }
        return sizes;
    }

    bool removable = true;
    TempDir programDir, card, pc;
    std::unique_ptr<CTansuDlg> dialog;
};

TEST_F(MainWindowTest, HasEveryControlWithItsCaption)
{
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Tansu Ver 0.13β4");
    const DialogUnits units = DialogUnits::ForFont(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(units.ToPixelsX(551), units.ToPixelsY(361)));
    const std::vector<std::pair<int, std::string>> captions = {
        {1024, "参照"}, {1001, "FTP接続"}, {1028, "PS2Link接続"}, {1031, "参照"}, {1032, "接続"}, {1002, "切断"},
        {1012, "移動→"}, {1013, "←移動"}, {1006, "コピー→"}, {1007, "←コピー"}, {1015, "↑削除"}, {1019, "↑全選"},
        {1020, "↑解除"}, {1008, "エクスポート"}, {1009, "インポート"}, {1033, "↑更新"}, {1014, "↑削除"},
        {1021, "↑全選"}, {1022, "↑解除"}, {1027, "PS2Link切断時にPS2の電源を切る"},
        {1025, "FTPアップロード時に速度制限を行う"}, {1017, "ゲーム情報をインターネットから取得する"},
        {1016, "ゲーム情報取得時にWebProxyを使用する"}, {1030, "ディレクトリを強制的に認識する"},
        {1035, "アイコンを表示する"}, {1037, "保存先"}, {1050, "言語"}, {1038, "接続先"}, {1039, "スロット"},
        {1040, "フォルダ"}, {1041, "PS2メモカ"}, {1042, "PCフォルダ"}, {1018, "待機中"}, {1034, ""}, {1011, ""},
        {1010, ""}, {1026, ""}, {1043, "LAN経由接続"}, {1044, "USBメモリー接続"}, {1045, "ゲーム情報"},
        {1046, "セーブデータ情報"}, {1047, "オプション"}, {1048, "アイコン"}, {1000, "-"}, {1023, "-"}, {1036, "-"},
        {1003, "-"}, {1049, "-"}, {1029, "-"}, {1004, "-"}, {1005, "-"}};
    for (const auto& [id, caption] : captions) {
        EXPECT_EQ(Caption(Find(id)), caption) << id;
    }
    for (CListCtrlEx* list : {dialog->List(ListSide::PS2), dialog->List(ListSide::PC)}) {
        EXPECT_EQ(list->columnNames, (std::vector<std::string>{"セーブデータ名", "ディレクトリ名", "サイズ", "タイプ"}));
    }
    EXPECT_EQ(dialog->GetRow(ListSide::PC, 0), (ListRow{"ON THE PC", "BESLES-00009PC", "0004", "PS2"}));

    // Tips come from language files: long ones wrap and markup shows as text.
    dialog->SetToolTip(IDC_BUTTON_EXPORT, std::string(80, 'w') + "<b>");
    EXPECT_TRUE(Find(IDC_BUTTON_EXPORT)->toolTip().contains("width=\"300\""));
    EXPECT_TRUE(Find(IDC_BUTTON_EXPORT)->toolTip().contains("w&lt;b&gt;"));
}

TEST_F(MainWindowTest, CardSideWaitsForAConnectionAndListsTheCard)
{
    const std::vector<int> cardSide = {1002, 1012, 1013, 1015, 1006, 1007, 1019, 1020};
    const std::vector<int> connectSide = {1001, 1028, 1032, 1031, 1000};
    ExpectEnabled({1008, 1009, 1014, 1021, 1022, 1033, 1024, 1003, 1049, 1004, 1005, 1016}, true);
    ExpectEnabled({IDC_EDIT_PC_FOLDER, IDC_EDIT_USB_FOLDER}, false);
    ExpectEnabled(cardSide, false);
    ExpectEnabled(connectSide, true);
    Click(IDC_BUTTON_USB_CONNECT);  // no folder yet: nothing happens
    ExpectEnabled(cardSide, false);

    ConnectCard();
    ExpectEnabled(cardSide, true);
    ExpectEnabled(connectSide, false);
    CListCtrlEx& list = *dialog->List(ListSide::PS2);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetRow(0), (ListRow{"SAVE ONE", "BASLUS-00001AAA", "0006", "PS2"}));
    EXPECT_EQ(list.GetRow(1), (ListRow{"SAVE TWO", "BASLUS-00002BBB", "0004", "PS2"}));
    EXPECT_EQ(list.GetRow(2), (ListRow{"PS1 GAME", "BASLUS-00003PS1", "0008", "PS1"}));
    EXPECT_EQ(Caption(Find(IDC_STATIC_USAGE)), "約18KB使用中");
    EXPECT_EQ(Caption(Find(IDC_STATIC_STATUS)), "待機中");

    // Ticks follow their rows through a sort.
    list.topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(SizeColumnAfterHeaderClick(list), "0008 0006 0004 ");
    EXPECT_EQ(SizeColumnAfterHeaderClick(list), "0004 0006 0008 ");
    const std::vector<ListRow> ticked = {{"SAVE TWO", "BASLUS-00002BBB", "0004", "PS2"}};
    EXPECT_EQ(dialog->GetTickedRows(ListSide::PS2), ticked);

    Click(IDC_BUTTON_DISCONNECT);
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 0);
    ExpectEnabled(cardSide, false);
    ExpectEnabled(connectSide, true);
}

TEST_F(MainWindowTest, DroppedFoldersGoToTheEditTheyWereDroppedOn)
{
    Drop(card.path(), IDC_EDIT_PC_FOLDER);
    EXPECT_EQ(dialog->GetEditText(Edit::PcFolder), card.path());
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 3);
    Drop(pc.path(), IDC_GROUP_ICON);
    EXPECT_EQ(dialog->GetEditText(Edit::PcFolder), card.path());
    removable = false;  // a fixed disk is no card
    Drop(card.path(), IDC_EDIT_USB_FOLDER);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), "");
    removable = true;
    Drop(card.path(), IDC_EDIT_USB_FOLDER);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), card.path());
}

TEST_F(MainWindowTest, EnterDoesNotCloseAndEscapeDuringACommandClosesAfterItWritingTheSettings)
{
    fs::remove(programDir / "setting.ini");
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << "Enter would click " << button->objectName().toStdString();
    }
    Find(IDC_EDIT_ADDRESS)->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Find(IDC_EDIT_ADDRESS), &enter);
    Settle();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(fs::exists(programDir / "setting.ini"));

    Click(IDC_CHECK_FORCE_DIRECTORY);
    // Escape arrives while the connection repaints its progress.
    QTimer::singleShot(0, dialog.get(), [this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &escape);
    });
    ConnectCard();
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 3);
    EXPECT_FALSE(dialog->isVisible());
    SettingFile settings;
    ASSERT_TRUE(settings.Load(programDir / "setting.ini"));
    EXPECT_EQ(settings.GetString("Tansu", "EDIT2"), card.path());
    EXPECT_EQ(settings.GetString("Tansu", "EDIT1"), pc.path());
    EXPECT_EQ(settings.GetString("Tansu", "CHECK_BOX4"), "1");
    EXPECT_EQ(settings.GetString("Tansu", "CHECK_BOX0"), "0");
}

TEST_F(MainWindowTest, ExportsAndImportsThroughItsDialogs)
{
    TempDir exportDir;
    // Answers the modal dialogs as they come up: the folder, the format, the file to import.
    std::vector<std::function<void(QWidget*)>> answers = {
        [&](QWidget* w) { qobject_cast<QFileDialog*>(w)->selectFile(QString::fromStdString(exportDir.path()).chopped(1)); },
        [&](QWidget* w) { qobject_cast<DlgSelectFileType*>(w)->Choices()->setCurrentIndex(1); },
        [&](QWidget* w) { qobject_cast<QFileDialog*>(w)->selectFile(QString::fromStdString(exportDir / "BESLES-00009PC.npo")); },
    };
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()); modal && !answers.empty()) {
            answers.front()(modal);
            answers.erase(answers.begin());
            modal->accept();
        }
    });
    answering.start(20);

    dialog->List(ListSide::PC)->topLevelItem(0)->setCheckState(0, Qt::Checked);
    Click(IDC_BUTTON_EXPORT);
    ASSERT_TRUE(fs::is_regular_file(exportDir / "BESLES-00009PC.npo"));
    fs::remove_all(pc / "BESLES-00009PC");
    Click(IDC_BUTTON_IMPORT);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(ReadBytes(pc / "BESLES-00009PC/DATA"), std::vector<uint8_t>(10, 0x5A));
    EXPECT_EQ(dialog->GetRow(ListSide::PC, 0), (ListRow{"ON THE PC", "BESLES-00009PC", "0004", "PS2"}));
    EXPECT_TRUE(Find(IDC_BUTTON_IMPORT)->isEnabled());
}

}  // namespace
