#include "control/UiText.h"

#include <mutex>

#include <boost/format.hpp>

namespace {

// Keys and the texts the window shows when no language file says otherwise.
const std::map<std::string, std::string> kBuiltIn = {
    {"IDLE", "待機中"},
    {"CARD_LIST_FAILED", "エラー : メモリーカードのセーブデータリストを取得できませんでした"},
    {"DAMAGED", "破損ファイル"},
    {"CONNECTING_FTP", "FTP接続開始"},
    {"CONNECTING_PS2LINK", "PS2Link接続開始(しばらくお待ちください)"},
    {"CONNECTING_USB", "USBメモリー接続開始"},
    {"NO_ADDRESS", "接続先が入力されていません"},
    {"CONNECT_FAILED_TITLE", "接続できませんでした"},
    {"CONNECT_FAILED", "メモリーカードに接続できませんでした。"},
    {"SEE_LOG_FOR_REASON", "理由はログをご覧ください。"},
    {"SEARCHING_CARDS", "メモリーカード検索中"},
    {"LISTING_CARD", "セーブデータリスト取得中"},
    {"USAGE", "約%1%KB使用中"},
    {"LISTING_PC", "ローカルフォルダ取得中"},
    {"OPEN_FILTER",
     "PSUファイル (*.psu)|*.psu|npoファイル (*.npo)|*.npo|PS1セーブデータ|*.ps; *.psm; *.mcd; *.gme; *.mcr; *.mcr; "
     "*.mci; *.dat; *.mc; *.ddf; *.pss; *.vgs; *.mem; *.srm; *.bin; *.vmp|"
     "他のツールのセーブデータ|*.max; *.pws; *.cbs; *.sps; *.xps; *.psv|すべてのファイル|*||"},
    {"READING", "読込中 : %1%"},
    {"WRITING", "書込中 : %1%"},
    {"DOWNLOADING", "ダウンロード中 : %1%"},
    {"UPLOADING", "アップロード中 : %1%"},
    {"DELETING", "削除中 : %1%"},
    {"UNKNOWN_TIME", "不明"},
    {"NOTHING_TICKED", "チェックの付いたセーブがありません（左端のチェックボックスで選んでください）"},
    {"CANCELLED", "中止しました"},
    {"CANCELLED_AFTER", "中止しました : %1%件中%2%件を処理しました"},
    {"FAILED_SOME", "%1%件中%2%件を処理できませんでした。詳しくは「ログ」をご覧ください"},
    {"DELETE_TITLE", "削除の確認"},
    {"DELETE_QUESTION", "%1%から次の%2%件のセーブデータを削除します。よろしいですか？"},
    {"AND_MORE", "ほか%1%件"},
    {"WHERE_CARD", "メモリーカード"},
    {"WHERE_PC", "PCフォルダ"},
    {"OVERWRITE_TITLE", "上書きの確認"},
    {"OVERWRITE_QUESTION",
     "「%1%」(%2%) はメモリーカードにすでにあります。\nメモリーカード : %3%\nPC : %4%\nメモリーカードのセーブデータを上書きしますか？"},
    {"REPLACE", "上書き"},
    {"SKIP", "スキップ"},
    {"CANCEL", "中止"},
    {"YES", "はい"},
    {"NO", "いいえ"},
    {"LOG", "ログ"},
    {"PICK_FOLDER", "フォルダを選択してください"},
    {"PICK_CARD_FOLDER", "フォルダを選ぶ..."},
    {"PICK_CARD_IMAGE", "カードイメージファイルを選ぶ..."},
    {"CARD_IMAGE_FILTER",
     "カードイメージ (*.ps2 *.bin *.mc2 *.vmc *.mcd *.mcr *.mc *.srm *.gme *.vgs *.mem *.ddf *.psm);;すべてのファイル (*)"},
    {"NOT_REMOVABLE_TITLE", "リムーバブルドライブではありません"},
    {"NOT_REMOVABLE_QUESTION", "「%1%」はリムーバブルドライブ上にありません。\nメモリーカードとして使いますか？"},
    {"COLUMN_TITLE", "セーブデータ名"},
    {"COLUMN_NAME", "ディレクトリ名"},
    {"COLUMN_SIZE", "サイズ"},
    {"COLUMN_TYPE", "タイプ"},
    {"FILE_TYPE_TITLE", "ファイル形式を選んでください"},
    {"FILE_TYPE_PSU", "psu(不具合修正済み)"},
    {"FILE_TYPE_NPO", "npo"},
    {"OK", "OK"},
};

std::mutex& TextsMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::string>& Chosen()
{
    static std::map<std::string, std::string> texts;
    return texts;
}

std::string WithLineBreaks(const std::string& value)
{
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            text += '\n';
            ++i;
        } else {
            text += value[i];
        }
    }
    return text;
}

}  // namespace

std::string UiText(const char* key)
{
    {
        const std::lock_guard guard(TextsMutex());
        if (const auto found = Chosen().find(key); found != Chosen().end()) {
            return found->second;
        }
    }
    const auto builtIn = kBuiltIn.find(key);
    return builtIn != kBuiltIn.end() ? builtIn->second : std::string(key);
}

std::string UiFormat(const char* key, std::initializer_list<std::string> args)
{
    boost::format format;
    format.exceptions(boost::io::no_error_bits);
    try {
        format.parse(UiText(key));
    } catch (const boost::io::format_error&) {
        // A translation that is no format at all: the built-in text takes its place.
        format.parse(kBuiltIn.at(key));
    }
    for (const std::string& arg : args) {
        format % arg;
    }
    return format.str();
}

void SetUiTexts(const std::map<std::string, std::string>& section)
{
    std::map<std::string, std::string> texts;
    for (const auto& [key, value] : section) {
        if (kBuiltIn.count(key) != 0 && !value.empty()) {
            texts[key] = WithLineBreaks(value);
        }
    }
    const std::lock_guard guard(TextsMutex());
    Chosen() = std::move(texts);
}

bool UiTextChosen(const char* key)
{
    const std::lock_guard guard(TextsMutex());
    return Chosen().count(key) != 0;
}

const std::map<std::string, std::string>& BuiltInUiTexts() { return kBuiltIn; }
