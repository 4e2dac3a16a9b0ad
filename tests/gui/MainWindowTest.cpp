// The main window driven as a user would: offscreen, with a card folder taken
// as a removable medium and the program directory in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>
#include <QPushButton>
#include <QUrl>

#include "TestSupport.h"
#include "app/CListCtrlEx.h"
#include "app/CTansuDlg.h"
#include "common/DriveType.h"
#include "common/SettingFile.h"

namespace fs = std::filesystem;

namespace {

// One QApplication for the whole program, made before the first test.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application.reset(); }

private:
    int argc = 1;
    char name[10] = "gui_tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
};

[[maybe_unused]] const auto* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void Settle()
{
    for (int round = 0; round < 5; ++round) {
        QCoreApplication::processEvents();
    }
}

ListRow Row(const std::string& title, const std::string& name, const std::string& size, const std::string& type)
{
    return {title, name, size, type};
}

std::vector<std::string> Column(const CListCtrlEx& list, int column)
{
    std::vector<std::string> texts;
    for (int i = 0; i < list.RowCount(); ++i) {
        texts.push_back(list.GetRow(i)[static_cast<size_t>(column)]);
    }
    return texts;
}

// A PS2 save folder: icon.sys and one data file of the given size.
void MakePS2Save(const std::string& folder, const std::string& title, size_t dataBytes)
{
    WriteBytes(folder + "/icon.sys", MakeIconSys(title));
    WriteBytes(folder + "/DATA", std::vector<uint8_t>(dataBytes, 0x5A));
}

// ---------------------------------------------------------------- the list control

class ListCtrlExTest : public ::testing::Test {
protected:
    ListCtrlExTest() { list.SetColumns({"name", "size"}); }
    CListCtrlEx list;
};

TEST_F(ListCtrlExTest, RowsNeedOneTextPerColumnAndColumnsResetEverything)
{
    list.AddRow({"a", "1"});
    list.AddRow({"too", "many", "texts"});
    list.AddRow({"short"});
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.GetRow(0), (ListRow{"a", "1"}));
    EXPECT_TRUE(list.GetRow(1).empty());
    EXPECT_TRUE(list.GetRow(-1).empty());

    list.SortByColumn(0);
    list.SetColumns({"x", "y", "z"});
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.columnNames, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(list.sortDirections, (std::vector<int32_t>{1, 1, 1}));
    EXPECT_EQ(list.headerItem()->text(2), "z");
}

TEST_F(ListCtrlExTest, SortsByBytesDescendingFirstAndKeepsEqualRowsInOrder)
{
    // Byte order, not the locale's: upper case before lower case, kana after ASCII.
    list.AddRow({"b", "first"});
    list.AddRow({"Z", "x"});
    list.AddRow({"あ", "x"});
    list.AddRow({"b", "second"});
    list.AddRow({"a", "x"});

    EXPECT_FALSE(list.SortByColumn(2));
    EXPECT_FALSE(list.SortByColumn(-1));

    ASSERT_TRUE(list.SortByColumn(0));
    EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"あ", "b", "b", "a", "Z"}));
    EXPECT_EQ(list.GetRow(1)[1], "first");
    EXPECT_EQ(list.GetRow(2)[1], "second");

    ASSERT_TRUE(list.SortByColumn(0));
    EXPECT_EQ(Column(list, 0), (std::vector<std::string>{"Z", "a", "b", "b", "あ"}));
    EXPECT_EQ(list.GetRow(2)[1], "first");
    EXPECT_EQ(list.GetRow(3)[1], "second");

    // Every column keeps its own direction.
    EXPECT_EQ(list.sortDirections, (std::vector<int32_t>{1, 1}));
    list.SortByColumn(1);
    EXPECT_EQ(list.sortDirections, (std::vector<int32_t>{1, -1}));
}

TEST_F(ListCtrlExTest, TicksAndHighlightFollowTheRowsThroughASort)
{
    list.AddRow({"c", "3"});
    list.AddRow({"a", "1"});
    list.AddRow({"b", "2"});
    list.topLevelItem(0)->setCheckState(0, Qt::Checked);
    list.topLevelItem(2)->setCheckState(0, Qt::Checked);
    list.topLevelItem(2)->setSelected(true);
    list.topLevelItem(1)->setSelected(true);

    EXPECT_EQ(list.TickedRows(), (std::vector<ListRow>{{"c", "3"}, {"b", "2"}}));
    EXPECT_EQ(list.HighlightedRow(), (ListRow{"a", "1"}));

    list.SortByColumn(1);  // descending: c, b, a
    EXPECT_EQ(list.TickedRows(), (std::vector<ListRow>{{"c", "3"}, {"b", "2"}}));
    EXPECT_EQ(list.HighlightedRow(), (ListRow{"b", "2"}));

    list.SetAllTicked(false);
    EXPECT_TRUE(list.TickedRows().empty());
    list.clearSelection();
    EXPECT_FALSE(list.HighlightedRow().has_value());
}

TEST(DialogUnitsTest, ConvertsLikeTheDialogManager)
{
    const DialogUnits units{6, 13};
    EXPECT_EQ(units.ToPixelsX(551), 827);  // 826.5 rounds up
    EXPECT_EQ(units.ToPixelsY(361), 587);  // 586.625
    EXPECT_EQ(units.ToPixelsX(1), 2);      // 1.5
    EXPECT_EQ(units.ToPixelsX(-1), -2);    // half away from zero
    // Both corners are converted, so neighbours meet without a gap.
    EXPECT_EQ(units.ToPixels(QRect(1, 1, 1, 1)), QRect(2, 2, 1, 1));
    EXPECT_EQ(units.ToPixels(QRect(2, 1, 1, 1)).left(), units.ToPixels(QRect(1, 1, 1, 1)).right() + 1);
}

// ---------------------------------------------------------------- the window

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRemovableDriveProbe([this](const std::string&) { return removable; });
        // No language files: the built-in captions stay.
        fs::create_directories(programDir / "language");
        MakePS2Save(card / "BASLUS-00001AAA", "SAVE ONE", 3000);
        MakePS2Save(card / "BASLUS-00002BBB", "SAVE TWO", 100);
        WriteBytes(card / "BASLUS-00003PS1", MakePS1Save("PS1 GAME"));
        MakePS2Save(pc / "BESLES-00009PC", "ON THE PC", 10);
    }

    void TearDown() override
    {
        dialog.reset();
        SetRemovableDriveProbe(nullptr);
    }

    void Open(const std::string& language = {})
    {
        SettingFile settings;
        settings.SetString(SettingFile::kApplicationSection, "EDIT1", pc.path());
        if (!language.empty()) {
            settings.SetString(SettingFile::kApplicationSection, "LANGUAGE", language);
        }
        settings.Save(programDir / "setting.ini");
        dialog = std::make_unique<CTansuDlg>(nullptr, programDir.path());
    }

    template <typename T = QWidget>
    T* Find(int id) const
    {
        return dialog->findChild<T*>(QString("IDC_%1").arg(id));
    }

    void Click(int id) { Find<QAbstractButton>(id)->click(); }

    void ConnectCard()
    {
        dialog->SetEditText(Edit::UsbFolder, card.path());
        Click(IDC_BUTTON_USB_CONNECT);
    }

    std::string Text(int id) const { return Find<QLabel>(id)->text().toStdString(); }

    void Drop(const std::vector<std::string>& paths, const QPoint& at)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        }
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &drop);
    }

    void ClickHeader(CListCtrlEx& list, int column)
    {
        QHeaderView* header = list.header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(at), QPointF(header->viewport()->mapToGlobal(at)), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(header->viewport(), &event);
        }
    }

    bool removable = true;
    TempDir programDir;
    TempDir card;
    TempDir pc;
    std::unique_ptr<CTansuDlg> dialog;
};

TEST_F(MainWindowTest, HasEveryControlWithItsCaptionAtItsPlace)
{
    Open();
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Tansu Ver 0.13β4");
    const DialogUnits units = DialogUnits::ForFont(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(units.ToPixelsX(551), units.ToPixelsY(361)));
    EXPECT_TRUE(dialog->acceptDrops());

    struct Expected {
        int id;
        const char* caption;
    };
    const std::vector<Expected> buttons = {
        {1024, "参照"},    {1001, "FTP接続"},   {1028, "PS2Link接続"}, {1031, "参照"},     {1032, "接続"},
        {1002, "切断"},    {1012, "移動→"},     {1013, "←移動"},       {1006, "コピー→"},  {1007, "←コピー"},
        {1015, "↑削除"},   {1019, "↑全選"},     {1020, "↑解除"},       {1008, "エクスポート"}, {1009, "インポート"},
        {1033, "↑更新"},   {1014, "↑削除"},     {1021, "↑全選"},       {1022, "↑解除"},
        {1027, "PS2Link切断時にPS2の電源を切る"}, {1025, "FTPアップロード時に速度制限を行う"},
        {1017, "ゲーム情報をインターネットから取得する"}, {1016, "ゲーム情報取得時にWebProxyを使用する"},
        {1030, "ディレクトリを強制的に認識する"}, {1035, "アイコンを表示する"},
    };
    for (const Expected& e : buttons) {
        auto* button = Find<QAbstractButton>(e.id);
        ASSERT_NE(button, nullptr) << e.id;
        EXPECT_EQ(button->text().toStdString(), e.caption) << e.id;
        EXPECT_EQ(button->property("controlId").toInt(), e.id);
    }
    const std::vector<Expected> labels = {{1037, "保存先"},   {1050, "言語"},       {1038, "接続先"},
                                          {1039, "スロット"}, {1040, "フォルダ"},   {1041, "PS2メモカ"},
                                          {1042, "PCフォルダ"}, {1018, ""},         {1034, ""},
                                          {1011, ""},         {1010, ""},           {1026, ""}};
    for (const Expected& e : labels) {
        auto* label = Find<QLabel>(e.id);
        ASSERT_NE(label, nullptr) << e.id;
        if (e.id != IDC_STATIC_STATUS) {
            EXPECT_EQ(label->text().toStdString(), e.caption) << e.id;
        }
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << e.id;
    }
    const std::vector<Expected> groups = {{1043, "LAN経由接続"}, {1044, "USBメモリー接続"}, {1045, "ゲーム情報"},
                                          {1046, "セーブデータ情報"}, {1047, "オプション"}, {1048, "アイコン"}};
    for (const Expected& e : groups) {
        auto* group = Find<QGroupBox>(e.id);
        ASSERT_NE(group, nullptr) << e.id;
        EXPECT_EQ(group->title().toStdString(), e.caption) << e.id;
    }
    for (int id : {1000, 1023, 1036}) {
        EXPECT_NE(Find<QLineEdit>(id), nullptr) << id;
    }
    for (int id : {1003, 1049}) {
        EXPECT_NE(Find<QComboBox>(id), nullptr) << id;
    }
    auto* progress = Find<QProgressBar>(IDC_PROGRESS);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->maximum(), 32768);

    for (int id : {1004, 1005}) {
        auto* list = Find<CListCtrlEx>(id);
        ASSERT_NE(list, nullptr) << id;
        EXPECT_EQ(list->columnNames, (std::vector<std::string>{"セーブデータ名", "ディレクトリ名", "サイズ", "タイプ"}));
        EXPECT_EQ(list->columnWidth(0), 170);
        EXPECT_EQ(list->columnWidth(1), 80);
        EXPECT_EQ(list->columnWidth(2), 45);
        EXPECT_GE(list->columnWidth(3), list->fontMetrics().horizontalAdvance("PS2"));
    }
    EXPECT_EQ(Find(IDC_LIST_PS2)->geometry(), units.ToPixels(QRect(7, 66, 179, 246)));
    EXPECT_EQ(Find(IDC_GROUP_ICON)->geometry(), units.ToPixels(QRect(402, 204, 144, 150)));
    // The status says idle once the window is up, and the PC list shows the folder from the settings.
    EXPECT_EQ(Text(IDC_STATIC_STATUS), "待機中");
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 1);
}

TEST_F(MainWindowTest, CardSideWaitsForAConnection)
{
    Open();
    const std::vector<int> cardSide = {1002, 1012, 1013, 1015, 1006, 1007, 1019, 1020};
    const std::vector<int> connectSide = {1001, 1028, 1032, 1031, 1000};
    const std::vector<int> alwaysUsable = {1008, 1009, 1014, 1021, 1022, 1033, 1024, 1003, 1049, 1004, 1005, 1016};
    for (int id : cardSide) {
        EXPECT_FALSE(Find(id)->isEnabled()) << id;
    }
    for (int id : connectSide) {
        EXPECT_TRUE(Find(id)->isEnabled()) << id;
    }
    for (int id : alwaysUsable) {
        EXPECT_TRUE(Find(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(Find(IDC_EDIT_PC_FOLDER)->isEnabled());
    EXPECT_FALSE(Find(IDC_EDIT_USB_FOLDER)->isEnabled());

    // Without a folder the connect button does nothing.
    Click(IDC_BUTTON_USB_CONNECT);
    EXPECT_FALSE(Find(IDC_BUTTON_DISCONNECT)->isEnabled());

    ConnectCard();
    for (int id : cardSide) {
        EXPECT_TRUE(Find(id)->isEnabled()) << id;
    }
    for (int id : connectSide) {
        EXPECT_FALSE(Find(id)->isEnabled()) << id;
    }

    dialog->EnableControls(false);
    for (int id : alwaysUsable) {
        EXPECT_FALSE(Find(id)->isEnabled()) << id;
    }

    dialog->EnableControls(true);
    Click(IDC_BUTTON_DISCONNECT);
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 0);
    EXPECT_FALSE(Find(IDC_BUTTON_DISCONNECT)->isEnabled());
    EXPECT_TRUE(Find(IDC_BUTTON_USB_CONNECT)->isEnabled());
}

TEST_F(MainWindowTest, ConnectingAUsbFolderListsItsSaves)
{
    Open();
    ConnectCard();
    const CListCtrlEx& list = *dialog->List(ListSide::PS2);
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetRow(0), Row("SAVE ONE", "BASLUS-00001AAA", "0006", "PS2"));
    EXPECT_EQ(list.GetRow(1), Row("SAVE TWO", "BASLUS-00002BBB", "0004", "PS2"));
    EXPECT_EQ(list.GetRow(2), Row("PS1 GAME", "BASLUS-00003PS1", "0008", "PS1"));
    EXPECT_EQ(Text(IDC_STATIC_USAGE), "約18KB使用中");
    EXPECT_EQ(Text(IDC_STATIC_STATUS), "待機中");
    EXPECT_EQ(Find<QProgressBar>(IDC_PROGRESS)->value(), 32768);
    EXPECT_EQ(dialog->GetComboText(Combo::Slot), "0");

    // Tick all and untick all act on the card list only.
    Click(IDC_BUTTON_SELECT_ALL_PS2);
    EXPECT_EQ(dialog->GetTickedRows(ListSide::PS2).size(), 3u);
    EXPECT_TRUE(dialog->GetTickedRows(ListSide::PC).empty());
    Click(IDC_BUTTON_UNSELECT_ALL_PS2);
    EXPECT_TRUE(dialog->GetTickedRows(ListSide::PS2).empty());
    Click(IDC_BUTTON_SELECT_ALL_PC);
    EXPECT_EQ(dialog->GetTickedRows(ListSide::PC).size(), 1u);

    // A new slot choice lists the card again.
    MakePS2Save(card / "BASLUS-00004CCC", "SAVE FOUR", 10);
    emit Find<QComboBox>(IDC_COMBO_SLOT)->activated(0);
    EXPECT_EQ(list.RowCount(), 4);
    EXPECT_TRUE(Find(IDC_BUTTON_DISCONNECT)->isEnabled());
}

TEST_F(MainWindowTest, ClickingTheSizeHeaderSortsDescendingThenAscending)
{
    Open();
    dialog->show();
    Settle();
    ConnectCard();
    CListCtrlEx& list = *dialog->List(ListSide::PS2);
    ClickHeader(list, kColumnSize);
    EXPECT_EQ(Column(list, kColumnSize), (std::vector<std::string>{"0008", "0006", "0004"}));
    ClickHeader(list, kColumnSize);
    EXPECT_EQ(Column(list, kColumnSize), (std::vector<std::string>{"0004", "0006", "0008"}));
}

TEST_F(MainWindowTest, RefreshShowsNewSavesOfThePcFolder)
{
    Open();
    ASSERT_EQ(dialog->RowCount(ListSide::PC), 1);
    EXPECT_EQ(dialog->GetRow(ListSide::PC, 0), Row("ON THE PC", "BESLES-00009PC", "0004", "PS2"));
    MakePS2Save(pc / "BESLES-00010PC", "ALSO ON THE PC", 10);
    Click(IDC_BUTTON_REFRESH_PC);
    EXPECT_EQ(dialog->RowCount(ListSide::PC), 2);
    EXPECT_EQ(Text(IDC_STATIC_STATUS), "待機中");
}

TEST_F(MainWindowTest, DroppedFoldersGoToTheEditTheyWereDroppedOn)
{
    Open();
    const QPoint onPcEdit = Find(IDC_EDIT_PC_FOLDER)->geometry().center();
    const QPoint onUsbEdit = Find(IDC_EDIT_USB_FOLDER)->geometry().center();
    const QPoint elsewhere = Find(IDC_GROUP_ICON)->geometry().center();

    TempDir other;
    MakePS2Save(other / "BASLUS-00020NEW", "DROPPED", 10);
    TempDir loose;
    WriteText(loose / "loose.psu", "not a container");

    // A folder and a file at once: the folder is taken, the file does not disturb it.
    Drop({other.path(), loose / "loose.psu"}, onPcEdit);
    EXPECT_EQ(dialog->GetEditText(Edit::PcFolder), other.path());
    ASSERT_EQ(dialog->RowCount(ListSide::PC), 1);
    EXPECT_EQ(dialog->GetRow(ListSide::PC, 0)[kColumnTitle], "DROPPED");

    // A folder dropped anywhere else is ignored.
    Drop({pc.path()}, elsewhere);
    EXPECT_EQ(dialog->GetEditText(Edit::PcFolder), other.path());

    // A fixed disk is no card.
    removable = false;
    Drop({card.path()}, onUsbEdit);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), "");

    removable = true;
    Drop({card.path()}, onUsbEdit);
    EXPECT_EQ(dialog->GetEditText(Edit::UsbFolder), card.path());
    EXPECT_FALSE(Find(IDC_EDIT_USB_FOLDER)->isEnabled());
}

TEST_F(MainWindowTest, ClosingWritesTheSettingsAndEnterDoesNotClose)
{
    Open();
    dialog->show();
    Settle();
    fs::remove(programDir / "setting.ini");

    // Enter in an edit: no button is the default, so nothing runs and nothing closes.
    QWidget* address = Find(IDC_EDIT_ADDRESS);
    address->setFocus();
    Settle();
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        ASSERT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(address, &enter);
    Settle();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(fs::exists(programDir / "setting.ini"));

    ConnectCard();
    Find<QCheckBox>(IDC_CHECK_FORCE_DIRECTORY)->click();
    EXPECT_TRUE(dialog->IsOptionChecked(Option::ForceDirectory));

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(dialog.get(), &escape);
    Settle();
    EXPECT_FALSE(dialog->isVisible());
    SettingFile settings;
    ASSERT_TRUE(settings.Load(programDir / "setting.ini"));
    EXPECT_EQ(settings.GetString("Tansu", "EDIT2"), card.path());
    EXPECT_EQ(settings.GetString("Tansu", "EDIT1"), pc.path());
    EXPECT_EQ(settings.GetString("Tansu", "CHECK_BOX4"), "1");
    EXPECT_EQ(settings.GetString("Tansu", "CHECK_BOX0"), "0");
}

TEST_F(MainWindowTest, CloseDuringACommandWaitsForTheCommand)
{
    Open();
    dialog->show();
    Settle();
    fs::remove(programDir / "setting.ini");
    dialog->SetEditText(Edit::UsbFolder, card.path());
    // The close arrives while the connection repaints its progress, with the controller busy.
    bool closedDuringCommand = false;
    QTimer::singleShot(0, dialog.get(), [&] {
        dialog->reject();
        closedDuringCommand = true;
    });
    Click(IDC_BUTTON_USB_CONNECT);
    ASSERT_TRUE(closedDuringCommand);
    EXPECT_EQ(dialog->RowCount(ListSide::PS2), 3);
    EXPECT_FALSE(dialog->isVisible());
    SettingFile settings;
    ASSERT_TRUE(settings.Load(programDir / "setting.ini"));
    EXPECT_EQ(settings.GetString("Tansu", "EDIT2"), card.path());
}

TEST_F(MainWindowTest, LanguageFilesSetCaptionsAndToolTips)
{
    WriteText(programDir / "language/Zeta.ini",
              "[Dialog]\nSTATIC0=Save to\nGROUP0=LAN\nBUTTON0=FTP\nCHECKBOX0=Proxy\n[ToolTip]\nBUTTON0=Connects\n"
              "EDIT2=The stick\n");
    WriteText(programDir / "language/Alpha.ini", "[Dialog]\nBUTTON0=Alpha FTP\n");
    Open("Zeta");
    auto* languages = Find<QComboBox>(IDC_COMBO_LANGUAGE);
    ASSERT_EQ(languages->count(), 2);
    EXPECT_EQ(languages->itemText(0), "Alpha");
    EXPECT_EQ(dialog->GetComboText(Combo::Language), "Zeta");
    EXPECT_EQ(Find<QAbstractButton>(IDC_BUTTON_FTP_CONNECT)->text(), "FTP");
    EXPECT_EQ(Find<QAbstractButton>(IDC_BUTTON_FTP_CONNECT)->toolTip(), "Connects");
    EXPECT_EQ(Find<QLabel>(IDC_LABEL_PC_FOLDER)->text(), "Save to");
    EXPECT_EQ(Find<QGroupBox>(IDC_GROUP_LAN)->title(), "LAN");
    EXPECT_EQ(Find<QAbstractButton>(IDC_CHECK_WEB_PROXY)->text(), "Proxy");
    EXPECT_EQ(Find(IDC_EDIT_USB_FOLDER)->toolTip(), "The stick");

    // A long tip wraps, and markup in it is shown as text.
    const std::string longTip(80, 'w');
    dialog->SetToolTip(IDC_BUTTON_EXPORT, longTip + "<b>");
    const QString tip = Find(IDC_BUTTON_EXPORT)->toolTip();
    EXPECT_TRUE(tip.contains("width=\"300\""));
    EXPECT_TRUE(tip.contains(QString::fromStdString(longTip) + "&lt;b&gt;"));

    languages->setCurrentIndex(0);
    emit languages->activated(0);
    EXPECT_EQ(Find<QAbstractButton>(IDC_BUTTON_FTP_CONNECT)->text(), "Alpha FTP");
    EXPECT_EQ(Find<QLabel>(IDC_LABEL_PC_FOLDER)->text(), "");
}

TEST_F(MainWindowTest, TextsArePlainAndMayComeFromOtherThreads)
{
    Open();
    dialog->SetText(TextField::SaveInfo, "<b>title</b>");
    EXPECT_EQ(Text(IDC_STATIC_SAVE_INFO), "<b>title</b>");
    EXPECT_EQ(Find<QLabel>(IDC_STATIC_SAVE_INFO)->textFormat(), Qt::PlainText);

    std::thread worker([this] { dialog->SetText(TextField::GameInfo, "from the worker"); });
    worker.join();
    Settle();
    EXPECT_EQ(Text(IDC_STATIC_GAME_INFO), "from the worker");

    dialog->SetProgress(0.5f);
    EXPECT_EQ(Find<QProgressBar>(IDC_PROGRESS)->value(), 16384);
    dialog->SetProgress(2.0f);
    EXPECT_EQ(Find<QProgressBar>(IDC_PROGRESS)->value(), 32768);
}

}  // namespace
