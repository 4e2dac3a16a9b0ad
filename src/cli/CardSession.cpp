#include "cli/CardSession.h"

#include <boost/format.hpp>

#include "cli/ReadableFolder.h"
#include "common/DriveType.h"
#include "common/Log.h"

void CardSession::SlotView::SelectComboItem(Combo combo, int index)
{
    if (combo == Combo::Slot) {
        const auto& items = combos[static_cast<size_t>(Combo::Slot)].items;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i] == slot) {
                index = static_cast<int>(i);
            }
        }
    }
    MemoryView::SelectComboItem(combo, index);
}

CardSession::CardSession(const CardLocation& cardLocation, const std::string& pcFolder, std::string operationName)
    : card(cardLocation), operation(std::move(operationName))
{
    if (card.kind == CardKind::Folder || card.kind == CardKind::Image) {
        // Messages name the folder or file as it was resolved.
        card.text = card.path;
    }
    view.slot = card.slot;
    // An empty PC folder edit: the controller lists no PC folder.
    view.SetEditText(Edit::PcFolder, pcFolder);
    // Construction lists the PC folder, as when the window opens.
    control = std::make_unique<Control>(&view);
}

bool CardSession::Connect()
{
    switch (card.kind) {
    case CardKind::Folder:
    case CardKind::Image:
        if (card.kind == CardKind::Folder && !IsReadableFolder(card.path, operation)) {
            return false;
        }
        // A folder or an image named on the command line is the user's explicit choice.
        SetRemovableDriveProbe([](const std::string&) { return true; });
        // The window's USB field takes either: a regular file connects as an image.
        view.SetEditText(Edit::UsbFolder, card.path);
        control->OnConnectUSBMemory();
        break;
    case CardKind::Ftp:
        view.SetEditText(Edit::Address, card.address);
        control->OnConnectFtp();
        break;
    case CardKind::PS2Link:
        view.SetEditText(Edit::Address, card.address);
        control->OnConnectPS2Link();
        break;
    }
    if (!control->IsCardConnected()) {
        Log((boost::format("エラー : メモリーカードに接続できませんでした %1% : %2%") % operation % card.text).str());
        return false;
    }
    if (view.GetComboText(Combo::Slot) != card.slot) {
        Log((boost::format("エラー : スロット%1%にメモリーカードがありません %2% : %3%") % card.slot % operation %
             card.text)
                .str());
        return false;
    }
    // An empty list from a card that did not answer is no empty card.
    if (control->CardListFailed()) {
        Log((boost::format("エラー : メモリーカードのセーブデータリストを取得できませんでした %1% : %2%") % operation %
             card.text)
                .str());
        return false;
    }
    return true;
}
