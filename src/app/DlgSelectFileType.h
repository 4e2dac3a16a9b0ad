#pragma once
// The export format choice: a drop-down list with "psu(不具合修正済み)" and
// "npo", entry 0 selected when it opens.
#include <optional>

#include <QDialog>

class QComboBox;

class DlgSelectFileType : public QDialog {
    Q_OBJECT

public:
    explicit DlgSelectFileType(QWidget* parent = nullptr);

    // The chosen index after OK; nothing after Cancel or with no entry selected.
    std::optional<int> Choose();
    QComboBox* Choices() const { return choices; }

private:
    QComboBox* choices;
};
