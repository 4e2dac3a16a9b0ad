// The main window driven as a user would: offscreen, a card folder taken as removable, the program folder temporary.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>  // and the drop events
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "FtpServer.h"
#include "TestSupport.h"
#include "app/CListCtrlEx.h"
#include "app/CTansuDlg.h"
#include "app/DlgSelectFileType.h"
#include "app/IconPane.h"
#include "common/DriveType.h"
#include "card/CardImageFile.h"
#include "common/Log.h"
#include "common/SettingFile.h"

namespace fs = std::filesystem;

namespace {

std::string Caption(const QWidget* widget)
{
    const auto* label = qobject_cast<const QLabel*>(widget);
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    const auto* group = qobject_cast<const QGroupBox*>(widget);
    EXPECT_TRUE(!label || label->textFormat() == Qt::PlainText);
    const QString text = label ? label->text() : button ? button->text() : group ? group->title() : widget ? "-" : "(missing)";
    return text.toStdString();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // One application for the whole run, left to the end of the process like a real one.
        static int argc = 1;
        static char name[] = "gui_tests", *argv[] = {name, nullptr};
        // A screen of a usual desktop's size (offscreen's own is 800 x 800).
        static TempDir screenDir;
        [[maybe_unused]] static QApplication* application = [&] {
            WriteText(screenDir / "screen.json", R"({"screens": [{"name": "desktop", "x": 0, "y": 0, "width": 1920, )"
                                                 R"("height": 1080, "logicalDpi": 96, "dpr": 1}]})");
            qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + (screenDir / "screen.json").c_str());
            return new QApplication(argc, argv);
        }();
        SetRemovableDriveProbe([this](const std::string&) { return removable; });
        fs::create_directories(programDir / "language");  // none: the built-in captions stay
        for (const auto& [folder, title, size] : {std::tuple(card / "BASLUS-00001AAA", "SAVE ONE", 3000),
                                                  std::tuple(card / "BASLUS-00002BBB", "SAVE TWO", 100),
                                                  std::tuple(pc / "BESLES-00009PC", "ON THE PC", 10)}) {
            WriteBytes(folder + "/icon.sys", MakeIconSys(title));
            WriteBytes(folder + "/DATA", std::vector<uint8_t>(static_cast<size_t>(size), 0x5A));
        }
        WriteBytes(card / "BASLUS-00003PS1", MakePS1Save("PS1 GAME"));
        SettingFile settings;
        settings.SetString(SettingFile::kApplicationSection, "EDIT1", pc.path());
        settings.Save(programDir / "setting.ini");
        // The game-information cache answers without a network.
        WriteText(programDir / "softdata.ini", "[slus00001]\nTITLE=GAME ONE\nGENRE=RPG\nSALE_DATE=2004/05/06\nMAKER=MAKER A\n"
                                               "[sles00009]\nTITLE=GAME NINE\nGENRE=ACT\nSALE_DATE=2001/02/03\nMAKER=MAKER B\n");
        dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
        dialog->show();
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
        }
    }
    void TearDown() override { dialog.reset(); SetRemovableDriveProbe(nullptr); }

    QWidget* Find(int id) const { return dialog->findChild<QWidget*>(QString("IDC_%1").arg(id)); }
    // Commands run off the window's thread: a click returns at once, so wait for the command's end.
    void Click(int id)
    {
        qobject_cast<QAbstractButton*>(Find(id))->click();
        dialog->WaitForCommand();
    }
    // Answers the next question box with the button whose text is given, once it is up; the text it asked.
    std::shared_ptr<std::string> Answer(const QString& button)
    {
        auto asked = std::make_shared<std::string>();
        auto* poll = new QTimer(dialog.get());
        QObject::connect(poll, &QTimer::timeout, [poll, asked, button] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *asked = box->text().toStdString();
                for (QAbstractButton* choice : box->buttons()) {
                    if (choice->text().remove('&') == button) {
                        choice->click();
                        poll->deleteLater();
                        return;
                    }
                }
            }
        });
        poll->start(10);
        return asked;
    }
    std::string Enabled(const std::vector<int>& ids) const  // '1' for each enabled control, '0' for each disabled one
    {
        std::string flags(ids.size(), '0');
        std::ranges::transform(ids, flags.begin(), [this](int id) { return Find(id)->isEnabled() ? '1' : '0'; });
        return flags;
    }
    void Drop(const std::string& path, int onId)
    {
        QMimeData data;  // a file dropped along with the folder must not disturb it
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path)),
                      QUrl::fromLocalFile(QString::fromStdString(programDir / "setting.ini"))});
        const QPoint at = Find(onId)->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        QApplication::sendEvent(dialog.get(), &drop);
        dialog->WaitForCommand();
    }

    // The row named name; a missing row fails the test, not the whole run.
    static QTreeWidgetItem* Item(CListCtrlEx* list, const QString& name)
    {
        const QList<QTreeWidgetItem*> found = list->findItems(name, Qt::MatchExactly, kColumnName);
        EXPECT_EQ(found.size(), 1) << name.toStdString();
        static QTreeWidgetItem nothing;
        return found.isEmpty() ? &nothing : found.front();
    }
    // A click on the row named name, and the command it starts run to its end.
    void Select(ListSide side, const QString& name)
    {
        CListCtrlEx* list = dialog->List(side);
        const QList<QTreeWidgetItem*> found = list->findItems(name, Qt::MatchExactly, kColumnName);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list->setCurrentItem(found.front());
        emit list->itemClicked(found.front(), kColumnName);
        dialog->WaitForCommand();
    }
    // True once the row named name shows a still of its icon (stills come a moment after their rows).
    bool HasStill(ListSide side, const QString& name, int waitMs = 5000)
    {
        for (int waited = 0;; waited += 10) {
            const QList<QTreeWidgetItem*> found = dialog->List(side)->findItems(name, Qt::MatchExactly, kColumnName);
            if (!found.isEmpty() && !found.front()->icon(kColumnTitle).isNull()) {
                return true;
            }
            if (waited >= waitMs) {
                return false;
            }
            QThread::msleep(10);
            QCoreApplication::processEvents();
        }
    }
    void WriteIconSave(const std::string& folder, const char* title)
    {
        WriteBytes(folder + "/icon.sys", MakeIconSys(title, 0, "list.icn"));
        fs::copy_file(SamplesDir() + "ps2-icons/PS2LINK.icn", folder + "/list.icn");
    }
    // The card listed afresh, as choosing its slot again does.
    void RefreshCard()
    {
        auto* slotBox = qobject_cast<QComboBox*>(Find(IDC_COMBO_SLOT));
        emit slotBox->activated(slotBox->currentIndex());
        dialog->WaitForCommand();
    }
    void ShowIcons()
    {
        if (!qobject_cast<QAbstractButton*>(Find(IDC_CHECK_SHOW_ICON))->isChecked()) {
            Click(IDC_CHECK_SHOW_ICON);
        }
    }

    bool removable = true;
    TempDir programDir, card, pc;
    std::unique_ptr<CTansuDlg> dialog;
};

// A first start (no settings yet) takes the language of the user's locale.
TEST_F(MainWindowTest, FirstStartPicksTheLocalesLanguage)
{
    dialog.reset();
    fs::remove(programDir / "setting.ini");
    WriteText(programDir / "language/English.ini", "");
    WriteText(programDir / "language/Japanese.ini", "");
    for (const auto& [locale, language] : {std::pair("ja_JP.UTF-8", "Japanese"), std::pair("en_GB.UTF-8", "English")}) {
        fs::remove(programDir / "setting.ini");
        const QByteArray saved = qgetenv("LANG");
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qputenv("LANG", locale);
        CTansuDlg fresh(nullptr, programDir.path());
        qputenv("LANG", saved);
        EXPECT_EQ(fresh.GetComboText(Combo::Language), language) << locale;
    }
}

TEST_F(MainWindowTest, CaptionsAndTheCardSideThatWaitsForAConnection)
{
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Tansu Ver 0.13β4");
    const std::vector<std::pair<int, std::string>> captions = {
        {1024, "参照"}, {1001, "FTP接続"}, {1028, "PS2Link接続"}, {1031, "参照"}, {1032, "接続"}, {1002, "切断"}, {1012, "移動→"},
        {1013, "←移動"}, {1006, "コピー→"}, {1007, "←コピー"}, {1015, "↑削除"}, {1019, "↑全選"}, {1020, "↑解除"},
        {1008, "エクスポート"}, {1009, "インポート"}, {1033, "↑更新"}, {1014, "↑削除"}, {1021, "↑全選"}, {1022, "↑解除"},
        {1027, "PS2Link切断時にPS2の電源を切る"}, {1025, "FTPアップロード時に速度制限を行う"},
        {1017, "ゲーム情報をインターネットから取得する"}, {1016, "ゲーム情報取得時にWebProxyを使用する"},
        {1030, "ディレクトリを強制的に認識する"}, {1035, "アイコンを表示する"}, {1037, "保存先"}, {1050, "言語"},
        {1038, "接続先"}, {1039, "スロット"}, {1040, "フォルダ"}, {1041, "PS2メモカ"}, {1042, "PCフォルダ"}, {1018, "待機中"},
        {1034, ""}, {1011, ""}, {1010, ""}, {1026, ""}, {1043, "LAN経由接続"}, {1044, "USBメモリー接続"}, {1045, "ゲーム情報"},
        {1046, "セーブデータ情報"}, {1047, "オプション"}, {1048, "アイコン"}, {1000, "-"}, {1023, "-"}, {1036, "-"}, {1003, "-"},
        {1049, "-"}, {1029, "-"}, {1004, "-"}, {1005, "-"}};
    for (const auto& [id, caption] : captions) {
        EXPECT_EQ(Caption(Find(id)), caption) << id;
    }
    for (CListCtrlEx* list : {dialog->List(ListSide::PS2), dialog->List(ListSide::PC)}) {
        EXPECT_EQ(list->columnNames, (std::vector<std::string>{"セーブデータ名", "ディレクトリ名", "サイズ", "タイプ"}));
    }
    dialog->SetToolTip(IDC_BUTTON_EXPORT, std::string(80, 'w') + "<b>");  // tips from language files: long ones wrap, markup shows
    const QString tip = Find(IDC_BUTTON_EXPORT)->toolTip();
    EXPECT_TRUE(tip.contains("width=\"300\"") && tip.contains("w&lt;b&gt;"));

    const std::vector<int> sides = {1002, 1012, 1013, 1015, 1006, 1007, 1019, 1020, 1001, 1028, 1032, 1031, 1000};  // card, connect
    Click(IDC_BUTTON_USB_CONNECT);  // no folder yet: nothing happens
    const std::vector<int> others = {1008, 1009, 1014, 1021, 1022, 1033, 1024, 1003, 1049, 1004, 1005, 1016, 1023, 1036};
    EXPECT_EQ(Enabled(others) + Enabled(sides), "11111111111100" "0000000011111");
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    EXPECT_EQ(Enabled(sides), "1111111100000");
    CListCtrlEx& list = *dialog->List(ListSide::PS2);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetRow(0).texts, (ListTexts{"SAVE ONE", "BASLUS-00001AAA", "0006", "PS2"}));
    EXPECT_EQ(list.GetRow(2).texts, (ListTexts{"PS1 GAME", "BASLUS-00003PS1", "0008", "PS1"}));
    EXPECT_EQ(Caption(Find(IDC_STATIC_USAGE)), "約18KB使用中");

    // Ticks follow their rows through a sort.
    const auto sizesAfterHeaderClick = [&list] {
        emit list.header()->sectionClicked(kColumnSize);
        return list.GetRow(0)[kColumnSize] + " " + list.GetRow(1)[kColumnSize] + " " + list.GetRow(2)[kColumnSize];
    };
    list.topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_EQ(sizesAfterHeaderClick(), "0008 0006 0004");
    EXPECT_EQ(sizesAfterHeaderClick(), "0004 0006 0008");
    const std::vector<ListRow> ticked = dialog->GetTickedRows(ListSide::PS2);
    ASSERT_EQ(ticked.size(), 1u);
    EXPECT_EQ(ticked[0].texts, (ListTexts{"SAVE TWO", "BASLUS-00002BBB", "0004", "PS2"}));
    EXPECT_EQ(ticked[0].name, "BASLUS-00002BBB");
    EXPECT_EQ(ticked[0].slot, "0");

    Click(IDC_BUTTON_DISCONNECT);
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 0);
    EXPECT_EQ(Enabled(sides), "0000000011111");
}

TEST_F(MainWindowTest, DropsAndKeys)
{
    // A dropped folder goes to the edit it was dropped on; a card folder only when it is removable.
    Drop(card.path(), IDC_EDIT_PC_FOLDER);
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 3);
    Drop(pc.path(), IDC_GROUP_ICON);
    EXPECT_EQ(dialog->GetEditText(Edit::PcFolder), card.path());
    // A folder on a fixed disk is offered with a question; "No" keeps the field as it was.
    removable = false;
    bool asked = false;
    QTimer::singleShot(0, dialog.get(), [&asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = box->text().toStdString().find("リムーバブルドライブ上にありません") != std::string::npos;
            box->button(QMessageBox::No)->click();
        }
    });
    Drop(card.path(), IDC_EDIT_USB_FOLDER);
    EXPECT_TRUE(asked);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), "");
    removable = true;
    Drop(card.path(), IDC_EDIT_USB_FOLDER);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), card.path());

    // Enter closes nothing; Escape during a command stops the command, Escape after it closes the
    // window, writing the settings.
    fs::remove(programDir / "setting.ini");
    EXPECT_TRUE(std::ranges::none_of(dialog->findChildren<QPushButton*>(), &QPushButton::isDefault));  // Enter would click it
    Find(IDC_EDIT_ADDRESS)->setFocus();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(Find(IDC_EDIT_ADDRESS), &enter);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(fs::exists(programDir / "setting.ini"));
    Click(IDC_CHECK_FORCE_DIRECTORY);
    dialog->List(ListSide::PC)->setColumnWidth(kColumnTitle, 123);  // as the user drags it
    QTimer::singleShot(0, dialog.get(), [this] {  // while the connection repaints its progress
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &escape);
    });
    Click(IDC_BUTTON_USB_CONNECT);
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 3);  // a listing has no boundary to stop at
    EXPECT_TRUE(dialog->isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &escape);
    EXPECT_FALSE(dialog->isVisible());
    SettingFile settings;
    ASSERT_TRUE(settings.Load(programDir / "setting.ini"));
    EXPECT_EQ(settings.GetString("Tansu", "EDIT2") + "|" + settings.GetString("Tansu", "CHECK_BOX4"), card.path() + "|1");
    EXPECT_EQ(settings.GetString("Tansu", "COLUMN_WIDTHS_PC").substr(0, 4), "123,");
    // The next window takes the widths the user set.
    dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
    EXPECT_EQ(dialog->List(ListSide::PC)->columnWidth(kColumnTitle), 123);
}

// Two cards of one game (a save of the same name in each slot), and a PC save
// named in code page 932: the widgets show them and hand back what they are.
TEST_F(MainWindowTest, SlotsKeepTheirOwnRowsAndNamesKeepTheirBytes)
{
    TempDir server;
    WriteBytes(server / "mc/0/BESLES-SAME/icon.sys", MakeIconSys("ZERO"));
    WriteBytes(server / "mc/1/BESLES-SAME/icon.sys", MakeIconSys("ONE"));
    WriteBytes(server / "mc/1/BESLES-SAME/data", std::vector<uint8_t>(5000, 1));
    FtpServer ftp(server.path());
    dialog->SetEditText(Edit::Address, ftp.Address());
    Click(IDC_BUTTON_FTP_CONNECT);
    auto* slotBox = qobject_cast<QComboBox*>(Find(IDC_COMBO_SLOT));
    ASSERT_EQ(slotBox->count(), 2);
    for (const int slot : {0, 1, 0}) {
        slotBox->setCurrentIndex(slot);
        emit slotBox->activated(slot);
        dialog->WaitForCommand();
        ASSERT_EQ(dialog->RowCount(ListSide::PS2), 1);
        EXPECT_EQ(dialog->GetRow(ListSide::PS2, 0).texts,
                  (ListTexts{slot == 0 ? "ZERO" : "ONE", "BESLES-SAME", slot == 0 ? "0002" : "0008", "PS2"}));
        EXPECT_EQ(Caption(Find(IDC_STATIC_USAGE)), slot == 0 ? "約2KB使用中" : "約8KB使用中");
    }

    const std::string sjis = "\x83\x5A\x81\x5B\x83\x75";  // セーブ, as Windows names a folder
    WriteBytes(pc / (sjis + "/icon.sys"), MakeIconSys("SJIS"));
    Click(IDC_BUTTON_REFRESH_PC);
    // The test FTP server turns such bytes into U+FFFD: the card here is a folder.
    Click(IDC_BUTTON_DISCONNECT);
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    CListCtrlEx& list = *dialog->List(ListSide::PC);
    ASSERT_EQ(list.RowCount(), 2);
    const int at = list.GetRow(0).name == sjis ? 0 : 1;
    EXPECT_EQ(list.GetRow(at).texts[kColumnName], "セーブ");
    list.topLevelItem(at)->setCheckState(0, Qt::Checked);
    Click(IDC_BUTTON_COPY_TO_PS2);
    EXPECT_TRUE(fs::exists(card / (sjis + "/icon.sys")));

    list.topLevelItem(at)->setCheckState(0, Qt::Checked);
    const auto question = Answer("Yes");
    Click(IDC_BUTTON_DELETE_PC);
    EXPECT_NE(question->find("SJIS (セーブ)"), std::string::npos) << *question;
    EXPECT_FALSE(fs::exists(pc / sjis));
    EXPECT_TRUE(fs::exists(pc / "BESLES-00009PC/icon.sys"));
}

// Frames presented faster than the window's thread shows them never queue up:
// the newest replaces the one waiting, and that is what the pane shows.
TEST_F(MainWindowTest, AFloodOfIconFramesKeepsOnlyTheNewest)
{
    auto* pane = qobject_cast<IconPane*>(Find(IDC_STATIC_ICON));
    ASSERT_NE(pane, nullptr);
    const uint32_t size = dialog->IconPaneSize();
    const uint64_t shownBefore = pane->ShownCount();
    std::thread renderer([&] {
        DeviceFrame frame{size, size, std::vector<uint32_t>(size_t{size} * size)};
        for (uint32_t i = 1; i <= 2000; ++i) {
            std::fill(frame.pixels.begin(), frame.pixels.end(), 0xFF000000u | i);
            dialog->PresentIconFrame(frame);
        }
    });
    renderer.join();  // the window's thread took no events meanwhile
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
    pane->repaint();
    EXPECT_LE(pane->ShownCount() - shownBefore, 2u);
    const QImage shown = pane->grab().toImage();
    EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2), 0xFF000000u | 2000u);
}

// Commands run off the window's thread: a second click of a double click and a
// click on a control that the running command turned off are dropped, never
// run later; Cancel stops a long copy between saves and leaves whole saves only.
TEST_F(MainWindowTest, ClicksDuringACommandAreDroppedAndCancelStopsBetweenSaves)
{
    for (int i = 0; i < 100; ++i) {
        const std::string folder = card / ("BULK" + std::to_string(100 + i));
        WriteBytes(folder + "/icon.sys", MakeIconSys("BULK"));
        WriteBytes(folder + "/data", std::vector<uint8_t>(20000, static_cast<uint8_t>(i)));
    }
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    CListCtrlEx& cardList = *dialog->List(ListSide::PS2);
    CListCtrlEx& pcList = *dialog->List(ListSide::PC);
    ASSERT_EQ(cardList.RowCount(), 103);

    // A double click on "コピー→" copies once.
    ASSERT_EQ(cardList.GetRow(0).name, "BASLUS-00001AAA");
    cardList.topLevelItem(0)->setCheckState(0, Qt::Checked);
    auto* copy = qobject_cast<QAbstractButton*>(Find(IDC_BUTTON_COPY_TO_PC));
    copy->click();
    copy->click();
    dialog->WaitForCommand();
    EXPECT_TRUE(fs::exists(pc / "BASLUS-00001AAA/DATA"));
    EXPECT_FALSE(fs::exists(pc / "BASLUS-00001AAA.000"));

    // Moving everything, cancelled at once: the PC "↑削除" clicked meanwhile does nothing.
    cardList.SetAllTicked(true);
    pcList.SetAllTicked(true);
    qobject_cast<QAbstractButton*>(Find(IDC_BUTTON_MOVE_TO_PC))->click();
    ASSERT_TRUE(dialog->IsCommandRunning());
    EXPECT_FALSE(Find(IDC_BUTTON_DELETE_PC)->isEnabled());
    qobject_cast<QAbstractButton*>(Find(IDC_BUTTON_DELETE_PC))->click();
    qobject_cast<QAbstractButton*>(Find(IDC_BUTTON_CANCEL))->click();
    dialog->WaitForCommand();
    EXPECT_TRUE(fs::exists(pc / "BESLES-00009PC/DATA"));
    int copied = 0;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "BULK" + std::to_string(100 + i);
        // A cancelled move deletes no source; every save that reached the PC is whole.
        EXPECT_TRUE(fs::exists(card / (name + "/data"))) << name;
        if (fs::exists(pc / name)) {
            ++copied;
            EXPECT_EQ(ReadBytes(pc / (name + "/data")), std::vector<uint8_t>(20000, static_cast<uint8_t>(i))) << name;
        }
    }
    EXPECT_LT(copied, 100);
    EXPECT_TRUE(Find(IDC_BUTTON_MOVE_TO_PC)->isEnabled());
}

// Failures are told in the log: the window shows its newest lines.
TEST_F(MainWindowTest, TheLogButtonShowsTheNewestLines)
{
    Log("エラー : a line the user should see");
    Click(IDC_BUTTON_LOG);
    const auto views = dialog->findChildren<QPlainTextEdit*>();
    ASSERT_EQ(views.size(), 1);
    EXPECT_TRUE(views.front()->toPlainText().endsWith("エラー : a line the user should see"));
}

// Keys act on the focused list as people expect, and rows dragged onto the other list are copied
// there (moved with Shift), through the same commands and questions as the buttons.
TEST_F(MainWindowTest, KeysAndRowsDraggedOntoTheOtherList)
{
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    CListCtrlEx* cardList = dialog->List(ListSide::PS2);
    CListCtrlEx* pcList = dialog->List(ListSide::PC);
    const auto key = [](QWidget* to, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers);
        QApplication::sendEvent(to, &press);
    };
    cardList->setFocus();
    cardList->setCurrentItem(cardList->topLevelItem(1));
    key(cardList, Qt::Key_Space);
    EXPECT_EQ(cardList->TickedRows().size(), 1u);
    key(cardList, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(cardList->TickedRows().size(), 3u);
    const auto question = Answer("No");
    key(cardList, Qt::Key_Delete);
    dialog->WaitForCommand();
    EXPECT_NE(question->find("BASLUS-00001AAA"), std::string::npos) << *question;
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 3);

    WriteBytes(pc / "BASLUS-00077NEW/icon.sys", MakeIconSys("NEW"));
    pcList->setFocus();
    key(dialog.get(), Qt::Key_F5);
    dialog->WaitForCommand();
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 2);

    const auto drag = [](CListCtrlEx* from, CListCtrlEx* onto, const QString& name, Qt::KeyboardModifiers modifiers) {
        from->clearSelection();
        Item(from, name)->setSelected(true);
        std::unique_ptr<QMimeData> carried(from->mimeData({}));
        const QPoint at = onto->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, carried.get(), Qt::LeftButton, modifiers);
        QApplication::sendEvent(onto->viewport(), &enter);
        EXPECT_EQ(enter.isAccepted(), from != onto);
        QDropEvent drop(QPointF(at), Qt::CopyAction, carried.get(), Qt::LeftButton, modifiers);
        QApplication::sendEvent(onto->viewport(), &drop);
    };
    drag(cardList, pcList, "BASLUS-00002BBB", Qt::NoModifier);
    dialog->WaitForCommand();
    EXPECT_TRUE(fs::exists(pc / "BASLUS-00002BBB/DATA"));
    EXPECT_TRUE(fs::exists(card / "BASLUS-00002BBB/DATA"));
    drag(pcList, cardList, "BESLES-00009PC", Qt::ShiftModifier);
    dialog->WaitForCommand();
    EXPECT_TRUE(fs::exists(card / "BESLES-00009PC/DATA"));
    EXPECT_FALSE(fs::exists(pc / "BESLES-00009PC"));
    // A list never takes its own rows.
    drag(cardList, cardList, "BASLUS-00001AAA", Qt::NoModifier);
    EXPECT_FALSE(dialog->IsCommandRunning());
}

// At the smallest size and at a large one, in either language, every caption shows whole,
// the lists take the room, and the column headers speak the chosen language.
TEST_F(MainWindowTest, CaptionsFitAndListsGrowInBothLanguages)
{
    fs::copy(fs::path(TANSU_SOURCE_DIR) / "language", programDir / "language",
             fs::copy_options::overwrite_existing | fs::copy_options::recursive);
    dialog.reset();
    dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
    dialog->show();
    QComboBox* languages = qobject_cast<QComboBox*>(Find(IDC_COMBO_LANGUAGE));
    for (const auto& [language, header] : {std::pair("English", "Title"), std::pair("Japanese", "セーブデータ名")}) {
        languages->setCurrentIndex(languages->findText(language));
        emit languages->activated(languages->currentIndex());
        std::map<ListSide, int> smallWidths, smallTitles;
        for (const QSize size : {dialog->minimumSize(), QSize(1600, 1000)}) {
            dialog->resize(size);
            QCoreApplication::processEvents();
            ASSERT_EQ(dialog->size(), size) << language;
            for (QWidget* widget : dialog->findChildren<QWidget*>()) {
                QString text;
                int room = widget->width();
                if (auto* button = qobject_cast<QPushButton*>(widget)) {
                    text = button->text();
                } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
                    text = box->text();
                    room -= dialog->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
                } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                    text = group->title();
                } else if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap()) {
                    text = label->text();
                }
                if (!text.isEmpty() && widget->isVisible()) {
                    EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room)
                        << language << " " << size.width() << ": " << text.toStdString();
                }
            }
            for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
                CListCtrlEx* list = dialog->List(side);
                EXPECT_EQ(list->headerItem()->text(kColumnTitle).toStdString(), header);
                EXPECT_LE(list->geometry().right(), dialog->width());
                if (list->topLevelItemCount() > 0) {  // room under the baseline: underscores show
                    EXPECT_GE(list->visualItemRect(list->topLevelItem(0)).height(), list->fontMetrics().height() + 2);
                }
                if (size == QSize(1600, 1000)) {
                    EXPECT_GT(list->width(), smallWidths[side] + 200) << language;
                    // The room goes to the titles, which elide less.
                    EXPECT_GT(list->columnWidth(kColumnTitle), smallTitles[side] + 200) << language;
                } else {
                    smallWidths[side] = list->width();
                    smallTitles[side] = list->columnWidth(kColumnTitle);
                }
            }
        }
    }
}

// Tab reaches every control that takes the keyboard, in reading order.
TEST_F(MainWindowTest, TabGoesAsTheEyeReads)
{
    std::vector<int> walked;
    const std::vector<ControlId> order = CTansuDlg::TabOrder();
    QWidget* widget = Find(order.front());
    for (size_t step = 0; step < 200 && (walked.empty() || widget != Find(order.front())); ++step) {
        if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->window() == dialog.get() &&
            widget->objectName().startsWith("IDC_")) {
            walked.push_back(widget->objectName().mid(4).toInt());
        }
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(walked, std::vector<int>(order.begin(), order.end()));
}

// A first window shows every column of both lists, a usual directory name whole, where the screen has room.
TEST_F(MainWindowTest, OpensWideEnoughForEveryColumn)
{
    if (dialog->screen()->availableGeometry().width() < 1400) {
        GTEST_SKIP() << "the screen leaves no room to widen the window (QT_SCALE_FACTOR?)";
    }
    WriteBytes(pc / "BASLUS-21334Grandia3.000/icon.sys", MakeIconSys("BACKUP"));
    dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
    dialog->show();
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    QCoreApplication::processEvents();
    EXPECT_GT(dialog->width(), dialog->minimumWidth());
    EXPECT_LE(dialog->width(), dialog->screen()->availableGeometry().width());
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        const CListCtrlEx* list = dialog->List(side);
        EXPECT_LE(list->header()->length(), list->viewport()->width()) << static_cast<int>(side);
    }
}

// Saves on this machine show a still of their icon beside the title; the icon box governs them.
TEST_F(MainWindowTest, RowsOfSavesOnThisMachineShowAStillOfTheirIcon)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "sample files not found";
    }
    WriteIconSave(pc / "BESLES-00010ICON", "WITH ICON");
    WriteIconSave(card / "BASLUS-00010ICON", "WITH ICON");
    ShowIcons();
    Click(IDC_BUTTON_REFRESH_PC);
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    EXPECT_TRUE(HasStill(ListSide::PC, "BESLES-00010ICON"));
    EXPECT_TRUE(HasStill(ListSide::PS2, "BASLUS-00010ICON"));
    Click(IDC_CHECK_SHOW_ICON);  // off: the stills go
    EXPECT_FALSE(HasStill(ListSide::PC, "BESLES-00010ICON", 0));
    Click(IDC_CHECK_SHOW_ICON);  // on again: they come back without a refresh
    EXPECT_TRUE(HasStill(ListSide::PC, "BESLES-00010ICON"));

    // A card image: its saves are read at once, though not as folders.
    Click(IDC_BUTTON_DISCONNECT);
    const std::string image = card / "card.ps2";
    ASSERT_FALSE(FormatCardImage(image, false, true, 8));
    dialog->SetEditText(Edit::UsbFolder, image);
    Click(IDC_BUTTON_USB_CONNECT);
    CListCtrlEx& pcList = *dialog->List(ListSide::PC);
    Item(&pcList, "BESLES-00010ICON")->setCheckState(0, Qt::Checked);
    Click(IDC_BUTTON_COPY_TO_PS2);
    EXPECT_TRUE(HasStill(ListSide::PS2, "BESLES-00010ICON"));
    RefreshCard();  // listed from what was read before: the still stays
    EXPECT_TRUE(HasStill(ListSide::PS2, "BESLES-00010ICON"));
}

// A card across the network shows a still once the save's icon was fetched for the
// pane; another card shows none of them, and a save replaced on the card loses the old one.
TEST_F(MainWindowTest, RemoteCardRowsShowAStillOnceTheIconWasFetched)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "sample files not found";
    }
    TempDir server;
    WriteIconSave(server / "mc/0/BASLUS-00011ICON", "REMOTE");
    WriteBytes(server / "mc/0/BASLUS-00012PLAIN/icon.sys", MakeIconSys("PLAIN"));
    FtpServer ftp(server.path());
    ShowIcons();
    dialog->SetEditText(Edit::Address, ftp.Address());
    Click(IDC_BUTTON_FTP_CONNECT);
    ASSERT_EQ(dialog->RowCount(ListSide::PS2), 2);
    EXPECT_FALSE(HasStill(ListSide::PS2, "BASLUS-00011ICON", 200));  // the listing fetched no icon
    Select(ListSide::PS2, "BASLUS-00011ICON");
    EXPECT_TRUE(HasStill(ListSide::PS2, "BASLUS-00011ICON"));
    Select(ListSide::PS2, "BASLUS-00012PLAIN");  // no model: nothing to draw
    EXPECT_FALSE(HasStill(ListSide::PS2, "BASLUS-00012PLAIN", 200));
    RefreshCard();
    EXPECT_TRUE(HasStill(ListSide::PS2, "BASLUS-00011ICON"));
    Click(IDC_BUTTON_DISCONNECT);  // the next card may hold other saves of these names
    Click(IDC_BUTTON_FTP_CONNECT);
    EXPECT_FALSE(HasStill(ListSide::PS2, "BASLUS-00011ICON", 200));
    Select(ListSide::PS2, "BASLUS-00011ICON");
    EXPECT_TRUE(HasStill(ListSide::PS2, "BASLUS-00011ICON"));

    // The save replaced from the PC: its old still goes with the old save.
    WriteBytes(pc / "BASLUS-00011ICON/icon.sys", MakeIconSys("NO ICON NOW"));
    Click(IDC_BUTTON_REFRESH_PC);
    Item(dialog->List(ListSide::PC), "BASLUS-00011ICON")->setCheckState(0, Qt::Checked);
    Answer("上書き");
    Click(IDC_BUTTON_COPY_TO_PS2);
    EXPECT_EQ(dialog->GetRow(ListSide::PS2, 0)[kColumnTitle], "NO ICON NOW");
    EXPECT_FALSE(HasStill(ListSide::PS2, "BASLUS-00011ICON", 200));
}

// A card image file dropped on the card's field is a card, not a file to import.
TEST_F(MainWindowTest, ACardImageDroppedOnTheCardFieldConnectsAsACard)
{
    const std::string image = card / "card.ps2";
    ASSERT_FALSE(FormatCardImage(image, false, true, 8));
    Drop(image, IDC_EDIT_USB_FOLDER);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), image);
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 1);  // nothing imported
    Click(IDC_BUTTON_USB_CONNECT);
    EXPECT_TRUE(Find(IDC_BUTTON_DISCONNECT)->isEnabled());
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 0);
    EXPECT_FALSE(Caption(Find(IDC_STATIC_USAGE)).empty());
}

// A click on a row of either list fills both panes: the save's own information at
// once, the game's from the lookup thread a moment later.
TEST_F(MainWindowTest, SelectingACardRowAndAPcRowFillsBothPanes)
{
    dialog->SetEditText(Edit::UsbFolder, card.path());
    Click(IDC_BUTTON_USB_CONNECT);
    const auto gameInfoBecomes = [this](const std::string& expected) {
        for (int i = 0; i < 500 && Caption(Find(IDC_STATIC_GAME_INFO)) != expected; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return Caption(Find(IDC_STATIC_GAME_INFO));
    };
    Select(ListSide::PS2, "BASLUS-00001AAA");
    EXPECT_EQ(gameInfoBecomes("GAME ONE\r\nRPG 2004/05/06\r\nMAKER A"), "GAME ONE\r\nRPG 2004/05/06\r\nMAKER A");
    EXPECT_EQ(Caption(Find(IDC_STATIC_SAVE_INFO)).rfind("SAVE ONE\r\nBASLUS-00001AAA\r\n20", 0), 0u)
        << Caption(Find(IDC_STATIC_SAVE_INFO));
    Select(ListSide::PC, "BESLES-00009PC");
    EXPECT_EQ(gameInfoBecomes("GAME NINE\r\nACT 2001/02/03\r\nMAKER B"), "GAME NINE\r\nACT 2001/02/03\r\nMAKER B");
    EXPECT_EQ(Caption(Find(IDC_STATIC_SAVE_INFO)).rfind("ON THE PC\r\nBESLES-00009PC\r\n20", 0), 0u)
        << Caption(Find(IDC_STATIC_SAVE_INFO));
}

// A server that takes the connection and never says a word: the window keeps
// working while the connect waits for its time limit, then says it failed.
TEST_F(MainWindowTest, ASilentServerLeavesTheWindowResponsiveAndEndsInAMessage)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);  // the system accepts; nobody ever answers
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    dialog->SetEditText(Edit::Address, "127.0.0.1:" + std::to_string(ntohs(address.sin_port)));

    int ticksDuringCommand = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticksDuringCommand += dialog->IsCommandRunning() ? 1 : 0; });
    ticker.start(10);
    Click(IDC_BUTTON_FTP_CONNECT);
    ::close(listener);
    EXPECT_GT(ticksDuringCommand, 1);
    bool shown = false;
    for (QMessageBox* box : dialog->findChildren<QMessageBox*>()) {
        shown = shown || box->text().startsWith("メモリーカードに接続できませんでした");
        box->close();
    }
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Find(IDC_BUTTON_FTP_CONNECT)->isEnabled());
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
    EXPECT_EQ(dialog->GetRow(ListSide::PC, 0).texts, (ListTexts{"ON THE PC", "BESLES-00009PC", "0004", "PS2"}));
    EXPECT_TRUE(Find(IDC_BUTTON_IMPORT)->isEnabled());
}

}  // namespace
