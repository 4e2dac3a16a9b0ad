#include "app/DlgSelectFileType.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "control/UiText.h"

DlgSelectFileType::DlgSelectFileType(QWidget* parent) : QDialog(parent), choices(new QComboBox(this))
{
    setWindowTitle(QString::fromStdString(UiText("FILE_TYPE_TITLE")));
    choices->addItem(QString::fromStdString(UiText("FILE_TYPE_PSU")));
    choices->addItem(QString::fromStdString(UiText("FILE_TYPE_NPO")));
    choices->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    if (UiTextChosen("OK") && UiTextChosen("CANCEL")) {
        buttons->button(QDialogButtonBox::Ok)->setText(QString::fromStdString(UiText("OK")));
        buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromStdString(UiText("CANCEL")));
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choices);
    layout->addWidget(buttons);
}

std::optional<int> DlgSelectFileType::Choose()
{
    if (exec() != QDialog::Accepted || choices->currentIndex() < 0) {
        return std::nullopt;
    }
    return choices->currentIndex();
}
