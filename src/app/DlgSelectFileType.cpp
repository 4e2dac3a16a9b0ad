#include "app/DlgSelectFileType.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QVBoxLayout>

DlgSelectFileType::DlgSelectFileType(QWidget* parent) : QDialog(parent), choices(new QComboBox(this))
{
    setWindowTitle(QString::fromUtf8("ファイル形式を選んでください"));
    choices->addItem(QString::fromUtf8("psu(不具合修正済み)"));
    choices->addItem(QStringLiteral("npo"));
    choices->setCurrentIndex(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
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
