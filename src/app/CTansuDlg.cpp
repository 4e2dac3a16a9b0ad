#include "app/CTansuDlg.h"

#include <algorithm>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPixmap>
#include <QLineEdit>
#include <QMenu>
#include <QResizeEvent>
#include <QStyle>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QToolTip>
#include <QUrl>

#include "app/CListCtrlEx.h"
#include "app/IconPane.h"
#include "card/CardImageFile.h"
#include "control/Control.h"
#include "app/DlgSelectFileType.h"
#include "control/Settings.h"
#include "control/UiText.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/SettingFile.h"

namespace {

enum class Kind {
    CaptionLabel,
    TextLabel,
    Edit,
    Button,
    Combo,
    Group,
    CheckBox,
    List,
    Progress,
    IconPane,
};

struct Layout {
    ControlId id;
    Kind kind;
    int x, y, width, height;  // dialog units
    const char* caption;
};

// clang-format off
const Layout kLayout[] = {
    {IDC_LABEL_PC_FOLDER, Kind::CaptionLabel, 6, 6, 30, 12, "保存先"},
    {IDC_EDIT_PC_FOLDER, Kind::Edit, 36, 6, 192, 12, ""},
    {IDC_BUTTON_BROWSE_PC, Kind::Button, 228, 6, 18, 12, "参照"},
    {IDC_LABEL_LANGUAGE, Kind::CaptionLabel, 246, 6, 27, 12, "言語"},
    {IDC_COMBO_LANGUAGE, Kind::Combo, 277, 6, 66, 50, ""},
    {IDC_STATIC_STATUS, Kind::TextLabel, 378, 6, 168, 23, ""},
    {IDC_GROUP_LAN, Kind::Group, 6, 24, 216, 30, "LAN経由接続"},
    {IDC_LABEL_ADDRESS, Kind::CaptionLabel, 12, 36, 23, 12, "接続先"},
    {IDC_EDIT_ADDRESS, Kind::Edit, 36, 36, 54, 12, ""},
    {IDC_LABEL_SLOT, Kind::CaptionLabel, 90, 36, 24, 12, "スロット"},
    {IDC_COMBO_SLOT, Kind::Combo, 114, 36, 25, 50, ""},
    {IDC_BUTTON_FTP_CONNECT, Kind::Button, 138, 36, 36, 12, "FTP接続"},
    {IDC_BUTTON_PS2LINK_CONNECT, Kind::Button, 174, 36, 42, 12, "PS2Link接続"},
    {IDC_GROUP_USB, Kind::Group, 228, 24, 144, 30, "USBメモリー接続"},
    {IDC_LABEL_USB_FOLDER, Kind::CaptionLabel, 234, 36, 24, 12, "フォルダ"},
    {IDC_EDIT_USB_FOLDER, Kind::Edit, 258, 36, 72, 12, ""},
    {IDC_BUTTON_BROWSE_USB, Kind::Button, 330, 36, 18, 12, "参照"},
    {IDC_BUTTON_USB_CONNECT, Kind::Button, 349, 36, 18, 12, "接続"},
    {IDC_BUTTON_DISCONNECT, Kind::Button, 378, 36, 18, 12, "切断"},

    {IDC_LABEL_PS2_LIST, Kind::CaptionLabel, 156, 54, 30, 8, "PS2メモカ"},
    {IDC_LABEL_PC_LIST, Kind::CaptionLabel, 222, 54, 30, 8, "PCフォルダ"},
    {IDC_LIST_PS2, Kind::List, 7, 66, 179, 246, ""},
    {IDC_LIST_PC, Kind::List, 218, 66, 178, 246, ""},
    {IDC_BUTTON_MOVE_TO_PC, Kind::Button, 186, 66, 30, 18, "移動→"},
    {IDC_BUTTON_MOVE_TO_PS2, Kind::Button, 186, 84, 30, 18, "←移動"},
    {IDC_BUTTON_COPY_TO_PC, Kind::Button, 186, 102, 30, 18, "コピー→"},
    {IDC_BUTTON_COPY_TO_PS2, Kind::Button, 186, 120, 30, 18, "←コピー"},
    {IDC_BUTTON_DELETE_PS2, Kind::Button, 114, 312, 24, 18, "↑削除"},
    {IDC_BUTTON_SELECT_ALL_PS2, Kind::Button, 138, 312, 24, 18, "↑全選"},
    {IDC_BUTTON_UNSELECT_ALL_PS2, Kind::Button, 162, 312, 24, 18, "↑解除"},
    {IDC_BUTTON_EXPORT, Kind::Button, 228, 312, 36, 18, "エクスポート"},
    {IDC_BUTTON_IMPORT, Kind::Button, 264, 312, 36, 18, "インポート"},
    {IDC_BUTTON_REFRESH_PC, Kind::Button, 300, 312, 24, 18, "↑更新"},
    {IDC_BUTTON_DELETE_PC, Kind::Button, 324, 312, 24, 18, "↑削除"},
    {IDC_BUTTON_SELECT_ALL_PC, Kind::Button, 348, 312, 24, 18, "↑全選"},
    {IDC_BUTTON_UNSELECT_ALL_PC, Kind::Button, 372, 312, 25, 18, "↑解除"},
    {IDC_STATIC_USAGE, Kind::TextLabel, 6, 318, 102, 8, ""},
    {IDC_PROGRESS, Kind::Progress, 6, 330, 320, 12, ""},

    {IDC_GROUP_GAME_INFO, Kind::Group, 402, 30, 144, 42, "ゲーム情報"},
    {IDC_STATIC_GAME_INFO, Kind::TextLabel, 408, 42, 132, 24, ""},
    {IDC_GROUP_SAVE_INFO, Kind::Group, 402, 72, 144, 42, "セーブデータ情報"},
    {IDC_STATIC_SAVE_INFO, Kind::TextLabel, 408, 84, 132, 24, ""},
    {IDC_GROUP_OPTIONS, Kind::Group, 402, 114, 144, 90, "オプション"},
    {IDC_CHECK_POWER_OFF, Kind::CheckBox, 408, 126, 132, 10, "PS2Link切断時にPS2の電源を切る"},
    {IDC_CHECK_SPEED_LIMIT, Kind::CheckBox, 408, 138, 132, 10, "FTPアップロード時に速度制限を行う"},
    {IDC_CHECK_FETCH_GAME_INFO, Kind::CheckBox, 408, 150, 132, 10, "ゲーム情報をインターネットから取得する"},
    {IDC_CHECK_WEB_PROXY, Kind::CheckBox, 408, 162, 132, 10, "ゲーム情報取得時にWebProxyを使用する"},
    {IDC_CHECK_FORCE_DIRECTORY, Kind::CheckBox, 408, 174, 132, 10, "ディレクトリを強制的に認識する"},
    {IDC_CHECK_SHOW_ICON, Kind::CheckBox, 408, 186, 132, 10, "アイコンを表示する"},
    {IDC_GROUP_ICON, Kind::Group, 402, 204, 144, 150, "アイコン"},
    {IDC_STATIC_ICON, Kind::IconPane, 408, 216, 132, 132, ""},
};
// clang-format on

// Beside the progress bar they belong to; not among the buttons language files name by number.
const QRect kLogRect(328, 330, 32, 12);
const QRect kCancelRect(362, 330, 34, 12);

const char* const kTitle = "Tansu Ver 0.13β4";
const int kDialogWidth = 551;
const int kDialogHeight = 361;
// A closed drop-down is as tall as an edit; the layout's height is that of its open list.
const int kComboHeight = 12;
const int kToolTipMaxWidth = 300;

std::vector<std::string> ColumnCaptions()
{
    return {UiText("COLUMN_TITLE"), UiText("COLUMN_NAME"), UiText("COLUMN_SIZE"), UiText("COLUMN_TYPE")};
}
const int kColumnWidths[] = {170, 80, 45};

// Windows' MulDiv: the product over the divisor, rounded half away from zero.
int MulDiv(int number, int numerator, int denominator)
{
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

bool IsCaptionLabel(ControlId id)
{
    return std::find(kCaptionLabels.begin(), kCaptionLabels.end(), id) != kCaptionLabels.end();
}

// A caption a little wider than its place runs on into the empty space beside it
// instead of losing its last character; a control laid over that space still covers it.
void FitCaption(QLabel& label, int layoutWidth)
{
    label.resize(std::max(layoutWidth, label.sizeHint().width()), label.height());
}

std::string FromQt(const QString& text) { return text.toStdString(); }

}  // namespace

QFont DialogFont()
{
    QFont font;
    // MS UI Gothic has proportional kana; IPAPGothic is the closest stand-in and
    // keeps every caption inside the control it was sized for.
    font.setFamilies({"MS UI Gothic", "IPAPGothic", "IPAGothic", "Noto Sans CJK JP"});
    font.setPointSize(9);
    return font;
}

DialogUnits DialogUnits::ForFont(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogUnits units;
    units.baseX = std::max(1, (alphabet + 26) / 52);
    units.baseY = std::max(1, metrics.height());
    return units;
}

int DialogUnits::ToPixelsX(int x) const { return MulDiv(x, baseX, 4); }

int DialogUnits::ToPixelsY(int y) const { return MulDiv(y, baseY, 8); }

QRect DialogUnits::ToPixels(const QRect& rect) const
{
    // Both corners are converted, as the dialog manager maps a rectangle.
    const int left = ToPixelsX(rect.x());
    const int top = ToPixelsY(rect.y());
    const int right = ToPixelsX(rect.x() + rect.width());
    const int bottom = ToPixelsY(rect.y() + rect.height());
    return {left, top, right - left, bottom - top};
}

namespace {

// The window's icon, large and small alike: a memory card, drawn rather than shipped.
QIcon WindowIcon()
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x38));
    painter.drawRoundedRect(QRectF(6, 2, 20, 28), 3, 3);
    painter.setBrush(QColor(0x40, 0x70, 0xD0));
    painter.drawRect(QRectF(9, 6, 14, 12));
    painter.setBrush(QColor(0xC0, 0xC0, 0xC0));
    painter.drawRect(QRectF(9, 22, 14, 4));
    return QIcon(picture);
}

}  // namespace

CTansuDlg::CTansuDlg(QWidget* parent, const std::string& programDirectory)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(kTitle);
    setWindowIcon(WindowIcon());
    setFont(DialogFont());
    units = DialogUnits::ForFont(font());
    // The described layout is the smallest window; it grows from there.
    setSizeGripEnabled(true);
    resize(units.ToPixelsX(kDialogWidth), units.ToPixelsY(kDialogHeight));
    setAcceptDrops(true);
    setAttribute(Qt::WA_AlwaysShowToolTips);

    CreateControls();
    InitialiseLists();
    rowIcons = std::make_unique<RowIconRenderer>(
        mailbox, [this](ListSide side, const std::string& slot, const std::string& name, const QImage& still) {
            if (IsIconShown()) {
                List(side)->SetRowIcon(slot, name, still);
            }
        });
    // The box governs the stills in the rows as it governs the pane.
    connect(qobject_cast<QCheckBox*>(widgets.at(IDC_CHECK_SHOW_ICON)), &QCheckBox::toggled, this, [this](bool shown) {
        for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
            if (!shown) {
                rowIcons->Forget(side);
                List(side)->ClearRowIcons();
                continue;
            }
            for (int i = 0; i < List(side)->RowCount(); ++i) {
                RequestRowIcon(side, List(side)->GetRow(i));
            }
        }
    });
    // Stops a running command at its next save or file boundary (Escape does the same).
    cancelButton = new QPushButton(this);
    cancelButton->setObjectName(QStringLiteral("IDC_%1").arg(IDC_BUTTON_CANCEL));
    cancelButton->setGeometry(units.ToPixels(kCancelRect));
    cancelButton->setEnabled(false);
    cancelButton->setAutoDefault(false);
    // The newest lines of the log: what failed, and why.
    logButton = new QPushButton(this);
    logButton->setObjectName(QStringLiteral("IDC_%1").arg(IDC_BUTTON_LOG));
    logButton->setGeometry(units.ToPixels(kLogRect));
    logButton->setAutoDefault(false);
    widgets[IDC_BUTTON_CANCEL] = cancelButton;
    widgets[IDC_BUTTON_LOG] = logButton;
    connect(logButton, &QAbstractButton::clicked, this, [this] { ShowRecentLog(); });
    progress->setRange(0, kProgressMax);
    ApplyTabOrder();

    if (programDirectory.empty()) {
        InitProgramDirectory();
    } else {
        SetProgramDirectory(programDirectory);
    }
    EnterProgramDirectory();
    LogOpen();
    LoadSettings(*this);
    LoadColumnWidths();
    control = std::make_unique<Control>(this);
    RetranslateWindow();
    OpenWideEnoughForEveryColumn();
    ConnectCommands();
    EnableControls(true);
}

CTansuDlg::~CTansuDlg()
{
    // A command still running is stopped, and its last reports shown, before the controller goes.
    if (control && commandRunning) {
        control->Cancel();
        WaitForCommand();
    }
    // The controller may still talk to the controls while it shuts down.
    control.reset();
}

void CTansuDlg::CreateControls()
{
    std::vector<QWidget*> groups;
    for (const Layout& layout : kLayout) {
        const QString caption = layout.caption;
        QWidget* widget = nullptr;
        switch (layout.kind) {
        case Kind::CaptionLabel: {
            auto* label = new QLabel(caption, this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            widget = label;
            break;
        }
        case Kind::TextLabel: {
            // Save titles and downloaded pages end up here: never interpreted as markup.
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            widget = label;
            break;
        }
        case Kind::Edit: {
            auto* edit = new QLineEdit(this);
            // Dropped folders belong to the window, not to the text of an edit.
            edit->setAcceptDrops(false);
            widget = edit;
            break;
        }
        case Kind::Button: {
            auto* button = new QPushButton(caption, this);
            // The window has no default command: Enter must neither close it nor start a command
            // that a dialog would otherwise make the default on showing.
            button->setAutoDefault(false);
            widget = button;
            break;
        }
        case Kind::Combo:
            widget = new QComboBox(this);
            break;
        case Kind::Group:
            widget = new QGroupBox(caption, this);
            // The caption sits on the frame line, as in the dialog the layout was made for.
            widget->setStyleSheet("QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
                                  "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
            groups.push_back(widget);
            break;
        case Kind::CheckBox:
            widget = new QCheckBox(caption, this);
            break;
        case Kind::List:
            widget = new CListCtrlEx(this);
            break;
        case Kind::Progress:
            progress = new QProgressBar(this);
            progress->setTextVisible(false);
            widget = progress;
            break;
        case Kind::IconPane:
            widget = new IconPane(this);
            break;
        }
        QRect rect = units.ToPixels(QRect(layout.x, layout.y, layout.width, layout.height));
        if (layout.kind == Kind::Combo) {
            rect.setHeight(units.ToPixelsY(kComboHeight));
        }
        widget->setGeometry(rect);
        if (layout.kind == Kind::CaptionLabel) {
            FitCaption(*qobject_cast<QLabel*>(widget), rect.width());
        }
        widget->setObjectName(QString("IDC_%1").arg(static_cast<int>(layout.id)));
        widget->setProperty("controlId", static_cast<int>(layout.id));
        widgets[layout.id] = widget;
    }
    // Group boxes frame the controls laid over them.
    for (QWidget* group : groups) {
        group->lower();
    }
    for (size_t i = 0; i < kCheckBoxes.size(); ++i) {
        auto* box = qobject_cast<QCheckBox*>(widgets.at(kCheckBoxes[i]));
        connect(box, &QCheckBox::toggled, this, [this, i](bool checked) { options[i].store(checked); });
    }
    for (ControlId id : {IDC_EDIT_PC_FOLDER, IDC_EDIT_USB_FOLDER}) {
        qobject_cast<QLineEdit*>(widgets.at(id))->setReadOnly(true);
    }
    widgets.at(IDC_BUTTON_DISCONNECT)->setEnabled(false);
}

void CTansuDlg::InitialiseLists()
{
    for (ControlId id : kLists) {
        auto* list = qobject_cast<CListCtrlEx*>(widgets.at(id));
        list->SetColumns(ColumnCaptions());
        // A still of the save's icon fills the row's height beside its title.
        list->setIconSize(QSize(list->RowIconSide(), list->RowIconSide()));
        for (int column = 0; column < 3; ++column) {
            list->SetLayoutWidth(column, kColumnWidths[column]);
        }
    }
    FitTypeColumn();
    rowIconSize = List(ListSide::PS2)->RowIconPixels();
}

void CTansuDlg::FitTypeColumn()
{
    for (ControlId id : kLists) {
        auto* list = qobject_cast<CListCtrlEx*>(widgets.at(id));
        // Room for "PS2" and for the caption above it, with the header's own margins.
        const QFontMetrics metrics(list->header()->font());
        const int typeWidth =
            std::max(metrics.horizontalAdvance("PS2"), metrics.horizontalAdvance(ToQt(UiText("COLUMN_TYPE"))));
        list->SetLayoutWidth(3, typeWidth + 2 * metrics.averageCharWidth() + 4);
    }
}

WindowLayout::Stretch CTansuDlg::StretchOf(ControlId id, const QRect& units)
{
    using Stretch = WindowLayout::Stretch;
    // Dialog units of the described layout: the card list ends at 186, the PC list starts at 218,
    // the panes on the right start at 402, the row of buttons under the lists is at 312.
    switch (id) {
    case IDC_LIST_PS2:
        return Stretch{0, 0.5, 0, 1};
    case IDC_LIST_PC:
        return Stretch{0.5, 0.5, 0, 1};
    case IDC_EDIT_PC_FOLDER:
        return Stretch{0, 0.5, 0, 0};
    case IDC_PROGRESS:
        return Stretch{0, 1, 1, 0};
    case IDC_STATIC_USAGE:
        return Stretch{0, 0, 1, 0};
    case IDC_BUTTON_LOG:
    case IDC_BUTTON_CANCEL:
        return Stretch{1, 0, 1, 0};
    case IDC_BUTTON_DISCONNECT:
        return Stretch{};
    default:
        break;
    }
    if (units.x() >= 378) {
        return Stretch{1, 0, 0, 0};  // the status line and the panes on the right
    }
    if (units.y() >= 312) {
        return units.x() < 186 ? Stretch{0.5, 0, 1, 0} : Stretch{1, 0, 1, 0};  // under the lists, at their right ends
    }
    if (units.y() >= 54 || (units.y() < 24 && units.x() >= 228)) {
        return Stretch{0.5, 0, 0, 0};  // between and above the lists, and what follows the PC folder's edit
    }
    return Stretch{};
}

int CTansuDlg::CaptionNeed(const QWidget& widget) const
{
    const QFontMetrics metrics(widget.font());
    if (const auto* box = qobject_cast<const QCheckBox*>(&widget)) {
        return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
               style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box) +
               metrics.horizontalAdvance(box->text()) + 2;
    }
    if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        return metrics.horizontalAdvance(button->text()) + 6;
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(&widget)) {
        return metrics.horizontalAdvance(group->title()) + 16;
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget); label != nullptr && IsCaptionLabel(
            static_cast<ControlId>(widget.property("controlId").toInt()))) {
        return metrics.horizontalAdvance(label->text()) + 2;
    }
    return 0;
}

void CTansuDlg::Relayout()
{
    std::vector<WindowLayout::Item> items;
    const auto add = [&](ControlId id, const QRect& unitsRect) {
        QRect place = units.ToPixels(unitsRect);
        if (qobject_cast<QComboBox*>(widgets.at(id)) != nullptr) {
            place.setHeight(units.ToPixelsY(kComboHeight));
        }
        // The panes on the right move as one column.
        const int column = unitsRect.x() >= 402 ? 1 : 0;
        items.push_back({static_cast<int>(id), place, CaptionNeed(*widgets.at(id)),
                         qobject_cast<QGroupBox*>(widgets.at(id)) != nullptr, StretchOf(id, unitsRect), column});
    };
    for (const Layout& layout : kLayout) {
        add(layout.id, QRect(layout.x, layout.y, layout.width, layout.height));
    }
    add(IDC_BUTTON_LOG, kLogRect);
    add(IDC_BUTTON_CANCEL, kCancelRect);
    windowLayout = std::make_unique<WindowLayout>(std::move(items),
                                                  QSize(units.ToPixelsX(kDialogWidth), units.ToPixelsY(kDialogHeight)));
    const QSize smallest = windowLayout->MinimumSize();
    setMinimumSize(smallest);
    if (width() < smallest.width() || height() < smallest.height()) {
        resize(std::max(width(), smallest.width()), std::max(height(), smallest.height()));
    }
    PlaceControls();
}

// Tab goes as the eye reads the window: the fields at the top, the card list and its buttons,
// the buttons between the lists, the PC list and its buttons, Log and Cancel, then the options.
const ControlId kTabOrder[] = {
    IDC_EDIT_PC_FOLDER, IDC_BUTTON_BROWSE_PC, IDC_COMBO_LANGUAGE, IDC_EDIT_ADDRESS, IDC_COMBO_SLOT,
    IDC_BUTTON_FTP_CONNECT, IDC_BUTTON_PS2LINK_CONNECT, IDC_EDIT_USB_FOLDER, IDC_BUTTON_BROWSE_USB,
    IDC_BUTTON_USB_CONNECT, IDC_BUTTON_DISCONNECT, IDC_LIST_PS2, IDC_BUTTON_DELETE_PS2, IDC_BUTTON_SELECT_ALL_PS2,
    IDC_BUTTON_UNSELECT_ALL_PS2, IDC_BUTTON_MOVE_TO_PC, IDC_BUTTON_MOVE_TO_PS2, IDC_BUTTON_COPY_TO_PC,
    IDC_BUTTON_COPY_TO_PS2, IDC_LIST_PC, IDC_BUTTON_EXPORT, IDC_BUTTON_IMPORT, IDC_BUTTON_REFRESH_PC,
    IDC_BUTTON_DELETE_PC, IDC_BUTTON_SELECT_ALL_PC, IDC_BUTTON_UNSELECT_ALL_PC, IDC_BUTTON_LOG, IDC_BUTTON_CANCEL,
    IDC_CHECK_POWER_OFF, IDC_CHECK_SPEED_LIMIT, IDC_CHECK_FETCH_GAME_INFO, IDC_CHECK_WEB_PROXY,
    IDC_CHECK_FORCE_DIRECTORY, IDC_CHECK_SHOW_ICON,
};

void CTansuDlg::ApplyTabOrder()
{
    for (size_t i = 1; i < std::size(kTabOrder); ++i) {
        setTabOrder(widgets.at(kTabOrder[i - 1]), widgets.at(kTabOrder[i]));
    }
}

std::vector<ControlId> CTansuDlg::TabOrder() { return {std::begin(kTabOrder), std::end(kTabOrder)}; }

void CTansuDlg::OpenWideEnoughForEveryColumn()
{
    int lacking = 0;
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        lacking = std::max(lacking, List(side)->WidthForEveryColumn() - List(side)->width());
    }
    // The lists share what the window grows by.
    int wanted = width() + 2 * lacking;
    if (const QScreen* shown = screen()) {
        wanted = std::min(wanted, shown->availableGeometry().width());
    }
    if (wanted > width()) {
        resize(wanted, height());
    }
}

void CTansuDlg::PlaceControls()
{
    if (!windowLayout) {
        return;
    }
    for (const auto& [id, place] : windowLayout->Place(size())) {
        widgets.at(static_cast<ControlId>(id))->setGeometry(place);
    }
}

void CTansuDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceControls();
}

// The widths the user gave the columns, kept beside the other settings.
const char* const kColumnWidthKeys[] = {"COLUMN_WIDTHS_PS2", "COLUMN_WIDTHS_PC"};

void CTansuDlg::LoadColumnWidths()
{
    SettingFile file;
    if (!file.Load(ProgramDirectory() + "setting.ini")) {
        return;
    }
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        const std::string widths = file.GetString(SettingFile::kApplicationSection, kColumnWidthKeys[static_cast<int>(side)]);
        if (!widths.empty()) {
            List(side)->SetColumnWidths(widths);
        }
    }
}

std::map<std::string, std::string> CTansuDlg::ColumnWidthKeys() const
{
    std::map<std::string, std::string> keys;
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        keys[kColumnWidthKeys[static_cast<int>(side)]] = List(side)->ColumnWidths();
    }
    return keys;
}

void CTansuDlg::RetranslateWindow()
{
    for (ControlId id : kLists) {
        qobject_cast<CListCtrlEx*>(widgets.at(id))->SetHeaderTexts(ColumnCaptions());
    }
    FitTypeColumn();
    cancelButton->setText(ToQt(UiText("CANCEL")));
    logButton->setText(ToQt(UiText("LOG")));
    Relayout();
}

void CTansuDlg::OnButton(ControlId id, std::function<void()> action)
{
    auto* button = qobject_cast<QAbstractButton*>(widgets.at(id));
    connect(button, &QAbstractButton::clicked, this, [this, action = std::move(action)] { RunCommand(action); });
}

void CTansuDlg::ConnectCommands()
{
    OnButton(IDC_BUTTON_FTP_CONNECT, [this] { control->OnConnectFtp(); });
    OnButton(IDC_BUTTON_PS2LINK_CONNECT, [this] { control->OnConnectPS2Link(); });
    OnButton(IDC_BUTTON_USB_CONNECT, [this] {
        if (!GetEditText(Edit::UsbFolder).empty()) {
            control->OnConnectUSBMemory();
        }
    });
    OnButton(IDC_BUTTON_DISCONNECT, [this] { control->OnDisconnect(); });
    OnButton(IDC_BUTTON_REFRESH_PC, [this] { control->OnRefreshPC(); });
    OnButton(IDC_BUTTON_COPY_TO_PC, [this] { control->OnCopyToPC(); });
    OnButton(IDC_BUTTON_COPY_TO_PS2, [this] { control->OnCopyToPS2(); });
    OnButton(IDC_BUTTON_MOVE_TO_PC, [this] { control->OnMoveToPC(); });
    OnButton(IDC_BUTTON_MOVE_TO_PS2, [this] { control->OnMoveToPS2(); });
    OnButton(IDC_BUTTON_DELETE_PS2, [this] { control->OnDeletePS2(); });
    OnButton(IDC_BUTTON_DELETE_PC, [this] { control->OnDeletePC(); });
    OnButton(IDC_BUTTON_EXPORT, [this] { control->OnExport(); });
    OnButton(IDC_BUTTON_IMPORT, [this] { control->OnImport(); });
    // Picking a folder and ticking rows happen here, on the window's thread.
    const auto onWindow = [this](ControlId id, std::function<void()> action) {
        connect(qobject_cast<QAbstractButton*>(widgets.at(id)), &QAbstractButton::clicked, this,
                [this, action = std::move(action)] {
                    if (!commandRunning) {
                        action();
                    }
                });
    };
    onWindow(IDC_BUTTON_BROWSE_PC, [this] { BrowsePcFolder(); });
    onWindow(IDC_BUTTON_BROWSE_USB, [this] { BrowseUsbFolder(); });
    onWindow(IDC_BUTTON_SELECT_ALL_PS2, [this] { TickAll(ListSide::PS2, true); });
    onWindow(IDC_BUTTON_UNSELECT_ALL_PS2, [this] { TickAll(ListSide::PS2, false); });
    onWindow(IDC_BUTTON_SELECT_ALL_PC, [this] { TickAll(ListSide::PC, true); });
    onWindow(IDC_BUTTON_UNSELECT_ALL_PC, [this] { TickAll(ListSide::PC, false); });
    connect(cancelButton, &QAbstractButton::clicked, this, [this] {
        if (commandRunning && control) {
            control->Cancel();
        }
    });

    // Rows dragged from one list onto the other are copied (moved with Shift); Delete deletes the ticked ones.
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        const ListSide other = side == ListSide::PS2 ? ListSide::PC : ListSide::PS2;
        connect(List(side), &CListCtrlEx::RowsDropped, this, [this, other](const QString& source, bool move) {
            if (source != List(other)->objectName()) {
                return;
            }
            RunCommand([this, other, rows = List(other)->HighlightedRows(), move] {
                control->OnDroppedRows(other, rows, move);
            });
        });
        connect(List(side), &CListCtrlEx::DeleteRequested, this, [this, side] {
            RunCommand([this, side] { side == ListSide::PS2 ? control->OnDeletePS2() : control->OnDeletePC(); });
        });
    }

    // A click on a row shows that save's icon.
    connect(List(ListSide::PS2), &QTreeWidget::itemClicked, this, [this] { RunCommand([this] { control->OnChangePS2(); }); });
    connect(List(ListSide::PC), &QTreeWidget::itemClicked, this, [this] { RunCommand([this] { control->OnChangePC(); }); });

    // activated, not currentIndexChanged: the controller's own selections are no user choice.
    connect(ComboWidget(Combo::Slot), &QComboBox::activated, this, [this] { RunCommand([this] { OnSlotChanged(); }); });
    connect(ComboWidget(Combo::Language), &QComboBox::activated, this, [this] {
        if (!commandRunning) {
            OnLanguageChanged();
        }
    });
}

void CTansuDlg::RunCommand(std::function<void()> command)
{
    // A click that reaches us while a command runs (or a second click of a
    // double click) is dropped: it was made on a window that was busy.
    if (!control || commandRunning) {
        return;
    }
    SnapshotForCommand();
    commandRunning = true;
    ApplyEnabled(false);
    cancelButton->setEnabled(true);
    const bool started = control->RunCommand(std::move(command), [this] { Post([this] { CommandDone(); }); });
    if (!started) {
        CommandDone();
    }
}

void CTansuDlg::CommandDone()
{
    commandRunning = false;
    cancelButton->setEnabled(false);
    ApplyEnabled(true);
    if (closePending) {
        closePending = false;
        reject();
    }
}

void CTansuDlg::WaitForCommand()
{
    // The command's end arrives as an event: sleep until events come, never spin.
    while (commandRunning) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

bool CTansuDlg::OffWindowThread() const { return QThread::currentThread() != thread(); }

void CTansuDlg::Post(std::function<void()> work) { mailbox->Post(std::move(work)); }

void CTansuDlg::SnapshotForCommand()
{
    const std::lock_guard guard(mirrorMutex);
    for (size_t i = 0; i < kEdits.size(); ++i) {
        mirror.edits[i] = FromQt(EditWidget(static_cast<Edit>(i))->text());
    }
    for (size_t i = 0; i < kCombos.size(); ++i) {
        const QComboBox* box = ComboWidget(static_cast<Combo>(i));
        MemoryView::ComboBox& copy = mirror.combos[i];
        copy.items.clear();
        for (int item = 0; item < box->count(); ++item) {
            copy.items.push_back(FromQt(box->itemText(item)));
        }
        copy.selected = box->currentIndex();
    }
    for (size_t i = 0; i < kOptionCount; ++i) {
        mirror.options[i] = options[i].load();
    }
    for (const ListSide side : {ListSide::PS2, ListSide::PC}) {
        const CListCtrlEx& list = *List(side);
        auto& rows = mirror.lists[static_cast<size_t>(side)];
        rows.clear();
        for (int index = 0; index < list.RowCount(); ++index) {
            rows.push_back(MemoryView::Row{list.GetRow(index), list.IsTicked(index)});
        }
        mirror.highlighted[static_cast<size_t>(side)] = list.HighlightedIndex();
    }
}

void CTansuDlg::TickAll(ListSide side, bool ticked)
{
    EnableControls(false);
    List(side)->SetAllTicked(ticked);
    EnableControls(true);
}

void CTansuDlg::BrowsePcFolder()
{
    if (commandRunning) {
        return;
    }
    const std::string folder = PickFolder(GetEditText(Edit::PcFolder));
    if (!folder.empty()) {
        SetEditText(Edit::PcFolder, folder);
        // The refresh leaves "getting the folder" as status; a finished refresh says idle.
        RunCommand([this] { control->OnRefreshPC(); });
    }
}

void CTansuDlg::BrowseUsbFolder()
{
    if (commandRunning) {
        return;
    }
    // A card is a folder of saves or a card image file: the user says which to look for.
    QMenu choice(this);
    const QAction* folderChoice = choice.addAction(ToQt(UiText("PICK_CARD_FOLDER")));
    const QAction* imageChoice = choice.addAction(ToQt(UiText("PICK_CARD_IMAGE")));
    QWidget* button = widgets.at(IDC_BUTTON_BROWSE_USB);
    const QAction* chosen = choice.exec(button->mapToGlobal(QPoint(0, button->height())));
    std::string card;
    if (chosen == folderChoice) {
        card = PickFolder(GetEditText(Edit::UsbFolder));
    } else if (chosen == imageChoice) {
        const QString file = QFileDialog::getOpenFileName(this, ToQt(UiText("PICK_CARD_IMAGE")),
                                                          ToQt(GetEditText(Edit::UsbFolder)),
                                                          ToQt(UiText("CARD_IMAGE_FILTER")));
        card = FromQt(file);
    }
    if (!card.empty() && AcceptCardFolder(card)) {
        SetEditText(Edit::UsbFolder, card);
    }
}

void CTansuDlg::ShowRecentLog()
{
    auto* viewer = new QDialog(this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->setWindowTitle(ToQt(UiText("LOG")));
    auto* text = new QPlainTextEdit(viewer);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList lines;
    for (const std::string& line : LogLinesSince(0)) {
        lines << ToQt(line);
    }
    text->setPlainText(lines.join(QLatin1Char('\n')));
    text->moveCursor(QTextCursor::End);
    auto* layout = new QVBoxLayout(viewer);
    layout->addWidget(text);
    viewer->resize(width() * 9 / 10, height() * 2 / 3);
    viewer->open();
}

bool CTansuDlg::AcceptCardFolder(const std::string& folder)
{
    // A card folder is normally on a removable medium; another one is the user's to choose, knowingly.
    if (IsRemovableDrive(folder)) {
        return true;
    }
    if (!Confirm(UiText("NOT_REMOVABLE_TITLE"), UiFormat("NOT_REMOVABLE_QUESTION", {folder}))) {
        return false;
    }
    AllowFolderAsCard(folder);
    return true;
}

void CTansuDlg::OnSlotChanged()
{
    EnableControls(false);
    control->UpdateDataListPS2();
    EnableControls(true);
}

void CTansuDlg::OnLanguageChanged()
{
    ApplyLanguage(*this);
    RetranslateWindow();
}

void CTansuDlg::reject()
{
    if (commandRunning) {
        // The command stops at its next boundary; the window closes when it has.
        closePending = true;
        if (control) {
            control->Cancel();
        }
        return;
    }
    if (control) {
        // The controller closes the log on its way out; the settings are written after it.
        control.reset();
        SaveSettings(*this, ColumnWidthKeys());
    }
    QDialog::reject();
}

void CTansuDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && commandRunning) {
        control->Cancel();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_F5) {
        // The card list afresh when it has the focus, else the PC list.
        if (List(ListSide::PS2)->hasFocus() && control && control->IsCardConnected()) {
            RunCommand([this] { OnSlotChanged(); });
        } else {
            RunCommand([this] { control->OnRefreshPC(); });
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CTansuDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CTansuDlg::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    if (commandRunning) {
        return;
    }
    // Where the paths landed is decided here; the work is a command like any other.
    const QPoint position = event->position().toPoint();
    const bool onPcEdit = widgets.at(IDC_EDIT_PC_FOLDER)->geometry().contains(position);
    const bool onUsbEdit = widgets.at(IDC_EDIT_USB_FOLDER)->geometry().contains(position);
    std::optional<std::string> pcFolder;
    std::optional<std::string> usbFolder;
    std::vector<std::string> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) {
            continue;
        }
        const std::string path = FromQt(url.toLocalFile());
        if (IsDirectory(path)) {
            if (onPcEdit) {
                pcFolder = path;
            } else if (onUsbEdit && AcceptCardFolder(path)) {
                usbFolder = path;
            }
        } else if (onUsbEdit && IsFile(path) && CardImageKindOfFile(path) != CardImageKind::None) {
            // A card image dropped on the card's field is that card, not a file to import.
            if (AcceptCardFolder(path)) {
                usbFolder = path;
            }
        } else if (IsFile(path) && rect().contains(position)) {
            files.push_back(path);
        }
    }
    if (pcFolder) {
        SetEditText(Edit::PcFolder, *pcFolder);
    }
    if (usbFolder) {
        SetEditText(Edit::UsbFolder, *usbFolder);
    }
    if (!pcFolder && !usbFolder && files.empty()) {
        return;
    }
    RunCommand([this, refreshPc = pcFolder.has_value(), refreshCard = usbFolder.has_value(), files] {
        if (refreshPc) {
            control->OnRefreshPC();
        }
        if (refreshCard) {
            control->UpdateDataListPS2();
        }
        if (!files.empty()) {
            control->OnImportDropped(files);
        }
    });
}

QWidget* CTansuDlg::WidgetById(ControlId id) const
{
    const auto found = widgets.find(id);
    return found != widgets.end() ? found->second : nullptr;
}

std::optional<QRect> CTansuDlg::LayoutRect(ControlId id)
{
    for (const Layout& layout : kLayout) {
        if (layout.id == id) {
            return QRect(layout.x, layout.y, layout.width, layout.height);
        }
    }
    return std::nullopt;
}

std::vector<ControlId> CTansuDlg::AllControlIds()
{
    std::vector<ControlId> ids;
    for (const Layout& layout : kLayout) {
        ids.push_back(layout.id);
    }
    return ids;
}

CListCtrlEx* CTansuDlg::List(ListSide side) const
{
    return qobject_cast<CListCtrlEx*>(widgets.at(kLists[static_cast<size_t>(side)]));
}

QLineEdit* CTansuDlg::EditWidget(Edit edit) const
{
    return qobject_cast<QLineEdit*>(widgets.at(kEdits[static_cast<size_t>(edit)]));
}

QComboBox* CTansuDlg::ComboWidget(Combo combo) const
{
    return qobject_cast<QComboBox*>(widgets.at(kCombos[static_cast<size_t>(combo)]));
}

QAbstractButton* CTansuDlg::CheckWidget(Option option) const
{
    return qobject_cast<QAbstractButton*>(widgets.at(kCheckBoxes[static_cast<size_t>(option)]));
}

// Every call of the view may come from the controller's worker thread. There,
// reads answer from the state taken when the command started (kept up to date
// with the command's own changes), and changes are posted to the widgets.
void CTansuDlg::EnableControls(bool enable)
{
    if (OffWindowThread()) {
        Post([this, enable] { EnableControls(enable); });
        return;
    }
    // While a command runs the controls stay off: its own "enable" comes between its steps.
    ApplyEnabled(enable && !commandRunning);
}

void CTansuDlg::ApplyEnabled(bool enable)
{
    const bool connected = control != nullptr && control->IsCardConnected();
    for (const auto& [id, state] : EnabledStates(enable, connected)) {
        if (QWidget* widget = WidgetById(id)) {
            widget->setEnabled(state);
        }
    }
}

void CTansuDlg::SetProgress(float fraction)
{
    if (OffWindowThread()) {
        Post([this, fraction] { SetProgress(fraction); });
        return;
    }
    progress->setValue(ProgressPosition(fraction));
}

void CTansuDlg::SetText(TextField field, const std::string& text)
{
    if (OffWindowThread()) {
        // Worker threads post; the window thread may be waiting for them.
        Post([this, field, text] { SetText(field, text); });
        return;
    }
    ControlId id = IDC_STATIC_STATUS;
    switch (field) {
    case TextField::Status:
        id = IDC_STATIC_STATUS;
        break;
    case TextField::Usage:
        id = IDC_STATIC_USAGE;
        break;
    case TextField::SaveInfo:
        id = IDC_STATIC_SAVE_INFO;
        break;
    case TextField::GameInfo:
        id = IDC_STATIC_GAME_INFO;
        break;
    }
    qobject_cast<QLabel*>(widgets.at(id))->setText(ToQt(text));
}

std::string CTansuDlg::GetEditText(Edit edit) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.GetEditText(edit);
    }
    return FromQt(EditWidget(edit)->text());
}

void CTansuDlg::SetEditText(Edit edit, const std::string& text)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.SetEditText(edit, text);
        }
        Post([this, edit, text] { SetEditText(edit, text); });
        return;
    }
    QLineEdit* line = EditWidget(edit);
    line->setText(ToQt(text));
    // A long folder path shows from its beginning, where the drive and the top folders are.
    line->setCursorPosition(0);
}

void CTansuDlg::ClearCombo(Combo combo)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.ClearCombo(combo);
        }
        Post([this, combo] { ClearCombo(combo); });
        return;
    }
    ComboWidget(combo)->clear();
}

void CTansuDlg::AddComboItem(Combo combo, const std::string& text)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.AddComboItem(combo, text);
            // A window's box selects its first item as it is filled.
            if (mirror.ComboItemCount(combo) == 1) {
                mirror.SelectComboItem(combo, 0);
            }
        }
        Post([this, combo, text] { AddComboItem(combo, text); });
        return;
    }
    QComboBox* box = ComboWidget(combo);
    if (combo != Combo::Language) {
        box->addItem(ToQt(text));
        return;
    }
    // The language box is sorted, by bytes like the language list it is filled from.
    int at = 0;
    while (at < box->count() && FromQt(box->itemText(at)) <= text) {
        ++at;
    }
    box->insertItem(at, ToQt(text));
}

int CTansuDlg::ComboItemCount(Combo combo) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.ComboItemCount(combo);
    }
    return ComboWidget(combo)->count();
}

void CTansuDlg::SelectComboItem(Combo combo, int index)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.SelectComboItem(combo, index);
        }
        Post([this, combo, index] { SelectComboItem(combo, index); });
        return;
    }
    QComboBox* box = ComboWidget(combo);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

std::string CTansuDlg::GetComboText(Combo combo) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.GetComboText(combo);
    }
    const QComboBox* box = ComboWidget(combo);
    return box->currentIndex() >= 0 ? FromQt(box->currentText()) : std::string();
}

bool CTansuDlg::IsOptionChecked(Option option) const { return options[static_cast<size_t>(option)].load(); }

void CTansuDlg::SetOptionChecked(Option option, bool checked)
{
    if (OffWindowThread()) {
        options[static_cast<size_t>(option)] = checked;
        Post([this, option, checked] { SetOptionChecked(option, checked); });
        return;
    }
    CheckWidget(option)->setChecked(checked);
}

void CTansuDlg::ClearList(ListSide side)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.ClearList(side);
        }
        Post([this, side] { ClearList(side); });
        return;
    }
    rowIcons->Forget(side);
    List(side)->clear();
}

void CTansuDlg::AddRow(ListSide side, const ListRow& row)
{
    if (OffWindowThread()) {
        {
            const std::lock_guard guard(mirrorMutex);
            mirror.AddRow(side, row);
        }
        Post([this, side, row] { AddRow(side, row); });
        return;
    }
    List(side)->AddRow(row);
    RequestRowIcon(side, row);
}

void CTansuDlg::RequestRowIcon(ListSide side, const ListRow& row)
{
    if (!IsIconShown() || row.name.empty() || row.name == "." || row.name == ".." ||
        row.name.find('/') != std::string::npos) {
        return;
    }
    CListCtrlEx* list = List(side);
    const std::string folder = side == ListSide::PC ? GetEditText(Edit::PcFolder)
                               : control                ? control->LocalCardFolder()
                                                        : std::string();
    if (!folder.empty()) {
        rowIcons->Request(side, row.slot, row.name, JoinPath(folder, row.name), rowIconSize);
    } else if (const auto still = cardStills.find({row.slot, row.name}); still != cardStills.end()) {
        list->SetRowIcon(row.slot, row.name, still->second);
    }
}

void CTansuDlg::ShowCardRowIcon(const ListRow& row, const std::string& savePath)
{
    if (!IsIconShown()) {
        return;
    }
    // Drawn here and now: the files are gone once the call returns.
    QImage still = RowIconRenderer::DrawStill(savePath, rowIconSize);
    if (still.isNull()) {
        return;
    }
    const auto keep = [this, row, still = std::move(still)] {
        cardStills[{row.slot, row.name}] = still;
        if (IsIconShown()) {
            List(ListSide::PS2)->SetRowIcon(row.slot, row.name, still);
        }
    };
    if (OffWindowThread()) {
        Post(keep);
    } else {
        keep();
    }
}

void CTansuDlg::ForgetCardRowIcon(const std::string& slot, const std::string& name)
{
    if (OffWindowThread()) {
        Post([this, slot, name] { ForgetCardRowIcon(slot, name); });
        return;
    }
    cardStills.erase({slot, name});
    List(ListSide::PS2)->SetRowIcon(slot, name, QImage());
}

void CTansuDlg::ForgetCardRowIcons()
{
    if (OffWindowThread()) {
        Post([this] { ForgetCardRowIcons(); });
        return;
    }
    cardStills.clear();
}

int CTansuDlg::RowCount(ListSide side) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.RowCount(side);
    }
    return List(side)->RowCount();
}

ListRow CTansuDlg::GetRow(ListSide side, int index) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.GetRow(side, index);
    }
    return List(side)->GetRow(index);
}

std::vector<ListRow> CTansuDlg::GetTickedRows(ListSide side) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.GetTickedRows(side);
    }
    return List(side)->TickedRows();
}

std::optional<ListRow> CTansuDlg::GetHighlightedRow(ListSide side) const
{
    if (OffWindowThread()) {
        const std::lock_guard guard(mirrorMutex);
        return mirror.GetHighlightedRow(side);
    }
    return List(side)->HighlightedRow();
}

std::string CTansuDlg::PickFolder(const std::string& start)
{
    if (OffWindowThread()) {
        // The worker waits for the answer; the window's thread never waits for the worker.
        return mailbox->Ask<std::string>([this, start] { return PickFolder(start); }, {});
    }
    return FromQt(QFileDialog::getExistingDirectory(this, ToQt(UiText("PICK_FOLDER")), ToQt(start), QFileDialog::ShowDirsOnly));
}

std::vector<std::string> CTansuDlg::PickFilesToOpen(const std::string& filter)
{
    if (OffWindowThread()) {
        return mailbox->Ask<std::vector<std::string>>([this, filter] { return PickFilesToOpen(filter); }, {});
    }
    // "name|patterns|name|patterns||" becomes Qt's "name (patterns);;name (patterns)".
    const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break;
        }
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
    std::vector<std::string> chosen;
    for (const QString& file : QFileDialog::getOpenFileNames(this, QString(), QString(), filters.join(QStringLiteral(";;")))) {
        chosen.push_back(FromQt(file));
    }
    return chosen;
}

bool CTansuDlg::IsIconShown() const { return options[static_cast<size_t>(Option::ShowIcon)].load(); }

void CTansuDlg::PresentIconFrame(const DeviceFrame& frame)
{
    // From the rendering thread: the pane keeps only the newest frame for the window's thread.
    if (auto* pane = qobject_cast<IconPane*>(WidgetById(IDC_STATIC_ICON))) {
        pane->Present(frame);
    }
}

uint32_t CTansuDlg::IconPaneSize() const
{
    // In the screen's own pixels: at 200 % the icon is drawn at twice the size, not enlarged.
    const QWidget* pane = WidgetById(IDC_STATIC_ICON);
    const double scale = std::max(1.0, pane->devicePixelRatioF());
    return static_cast<uint32_t>(std::max(1.0, std::min(pane->width(), pane->height()) * scale));
}

std::optional<int> CTansuDlg::ChooseFileType()
{
    if (OffWindowThread()) {
        return mailbox->Ask<std::optional<int>>([this] { return ChooseFileType(); }, std::nullopt);
    }
    DlgSelectFileType dialog(this);
    return dialog.Choose();
}

void CTansuDlg::SetCaption(ControlId id, const std::string& text)
{
    if (OffWindowThread()) {
        Post([this, id, text] { SetCaption(id, text); });
        return;
    }
    QWidget* widget = WidgetById(id);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(ToQt(text));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(ToQt(text));
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(ToQt(text));
        if (IsCaptionLabel(id)) {
            FitCaption(*label, units.ToPixels(*LayoutRect(id)).width());
        }
    }
}

void CTansuDlg::SetToolTip(ControlId id, const std::string& text)
{
    if (OffWindowThread()) {
        Post([this, id, text] { SetToolTip(id, text); });
        return;
    }
    QWidget* widget = WidgetById(id);
    if (widget == nullptr) {
        return;
    }
    QString tip = ToQt(text);
    // Tips wrap at 300 pixels; a shorter one keeps its own width. The text stays plain either way.
    if (QFontMetrics(QToolTip::font()).horizontalAdvance(tip) > kToolTipMaxWidth) {
        tip = QString("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                  .arg(kToolTipMaxWidth)
                  .arg(tip.toHtmlEscaped());
    }
    widget->setToolTip(tip);
}

bool CTansuDlg::Confirm(const std::string& title, const std::string& question)
{
    if (OffWindowThread()) {
        // The worker waits for the answer; the window's thread never waits for the worker.
        return mailbox->Ask<bool>([this, title, question] { return Confirm(title, question); }, false);
    }
    QMessageBox box(QMessageBox::Question, ToQt(title), ToQt(question), QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    // Without a language file the buttons keep the platform's own words.
    if (UiTextChosen("YES") && UiTextChosen("NO")) {
        box.button(QMessageBox::Yes)->setText(ToQt(UiText("YES")));
        box.button(QMessageBox::No)->setText(ToQt(UiText("NO")));
    }
    return box.exec() == QMessageBox::Yes;
}

ControlView::Overwrite CTansuDlg::AskOverwrite(const std::string& question)
{
    if (OffWindowThread()) {
        return mailbox->Ask<Overwrite>([this, question] { return AskOverwrite(question); }, Overwrite::Cancel);
    }
    QMessageBox box(QMessageBox::Warning, ToQt(UiText("OVERWRITE_TITLE")), ToQt(question), QMessageBox::NoButton, this);
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* replace = box.addButton(ToQt(UiText("REPLACE")), QMessageBox::DestructiveRole);
    QAbstractButton* skip = box.addButton(ToQt(UiText("SKIP")), QMessageBox::NoRole);
    box.addButton(ToQt(UiText("CANCEL")), QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(skip));
    box.exec();
    return box.clickedButton() == replace ? Overwrite::Replace
           : box.clickedButton() == skip  ? Overwrite::Skip
                                          : Overwrite::Cancel;
}

void CTansuDlg::ShowFailure(const std::string& title, const std::string& text)
{
    if (OffWindowThread()) {
        // Shown without holding the command up: the user reads it while the window goes on.
        Post([this, title, text] { ShowFailure(title, text); });
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, ToQt(title), ToQt(text), QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
