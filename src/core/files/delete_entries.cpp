#include "files/delete_entries.h"

#include "files/file_names.h"
#include "platform/file_tree.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

std::string Caption(const std::vector<DeleteItem>& items) {
    if (items.size() > 1) return "複数ファイルの削除";
    return items.front().folder ? "フォルダーの削除" : "ファイルの削除";
}

// What a question names: the one entry, or how many there are.
std::string Subject(const std::vector<DeleteItem>& items) {
    if (items.size() > 1) return std::to_string(items.size()) + " 個の項目";
    const DeleteItem& item = items.front();
    return (item.folder ? "フォルダー「" : "「") + DisplayName(item.name) + "」" +
           (item.folder ? "とその中身" : "");
}

}  // namespace

DeleteOutcome DeleteEntries(const std::string& folder, const std::vector<DeleteItem>& items,
                            MessageService& messages, const MoveToTrash& moveToTrash) {
    DeleteOutcome outcome;
    if (items.empty()) {
        outcome.aborted = true;
        return outcome;
    }
    const std::string caption = Caption(items);
    if (!messages.AskYesNo(Subject(items) + "をごみ箱に移動しますか？", caption,
                           MessageIcon::Warning)) {
        outcome.aborted = true;
        return outcome;
    }
    std::vector<DeleteItem> refused;
    for (const DeleteItem& item : items) {
        if (!moveToTrash(PathRules::Join(folder, item.name))) refused.push_back(item);
    }
    if (refused.empty()) return outcome;
    if (!messages.AskYesNo("ごみ箱が使えません。\n" + Subject(refused) +
                               "を完全に削除しますか？\n(元に戻せません)",
                           caption, MessageIcon::Warning)) {
        // Nothing changed when the trash took nothing.
        outcome.aborted = refused.size() == items.size();
        return outcome;
    }
    for (const DeleteItem& item : refused) {
        const Status removed = RemoveTree(PathRules::Join(folder, item.name));
        if (!removed) outcome.failures.push_back(removed.message);
    }
    if (!outcome.failures.empty()) {
        std::string text = "削除できませんでした。";
        for (const std::string& failure : outcome.failures) text += "\n" + DisplayName(failure);
        messages.Tell(text, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    return outcome;
}

}  // namespace wexal
