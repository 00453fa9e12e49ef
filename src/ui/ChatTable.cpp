#include "ui/ChatTable.h"

#include "database/DAOs.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Chat.h"
#include "records/MessageTableRecords.h"
#include "records/SMS.h"

#include <algorithm>

std::vector<ConversationRow> ChatTable::myDisplay(DAOs& daos) {
    daos.GetAllChats();
    std::vector<ConversationRow> rows;
    for (const auto& chat : appDelegate_.AllChatsContent.snapshot()) {
        if (!chat) continue;
        ConversationRow row;
        row.contact = chat->chat_identifier().value_or(std::string());
        row.email = std::string();
        row.chatRow = chat->RowId();
        rows.push_back(std::move(row));
    }
    return rows;
}

void ChatTable::processChatMessageJoin(DAOs& daos) {
    daos.GetChatMessageJoin();
    for (const auto& chat : appDelegate_.AllChatsContent.snapshot())
        if (chat) _IdsChattoMessage.emplace_back(chat->RowId(), getMessagesfromChatId(chat->RowId()));
}

std::vector<std::int64_t> ChatTable::getMessagesfromChatId(std::int64_t chatId) const {
    std::vector<std::int64_t> ids;
    for (const auto& join : appDelegate_.AllChatMessageJoinContent.snapshot())
        if (join && join->ChatId() == chatId) ids.push_back(join->MessageId());
    return ids;
}

std::int64_t ChatTable::getChatIdfromMessageId(std::int64_t messageId) const {
    for (const auto& join : appDelegate_.AllChatMessageJoinContent.snapshot())
        if (join && join->MessageId() == messageId) return join->ChatId();
    return 0;
}

std::vector<std::int64_t> ChatTable::getAllChatIdsFromMessages() {
    for (const auto& sms : arrSMSRecords) {
        if (!sms || !sms->isRecovered() || sms->RowID() == -1) continue;
        auto join = std::make_shared<ChatMessageJoin>();
        join->setChatId(getChatIdfromMessageId(sms->RowID()));
        join->setMessageId(sms->RowID());
        appDelegate_.AllChatMessageJoinContent.append(std::move(join));
    }
    return {};
}

std::vector<std::shared_ptr<SMS>> ChatTable::getSMSArrayfromIDs(const std::vector<std::int64_t>& ids) const {
    std::vector<std::shared_ptr<SMS>> messages;
    for (std::int64_t id : ids)
        for (const auto& sms : arrSMSRecords)
            if (sms && sms->RowID() == id) messages.push_back(sms);
    return messages;
}

std::optional<std::vector<std::shared_ptr<SMS>>> ChatTable::myRowChange(const ConversationRow& row) {
    getAllChatIdsFromMessages();
    if (!row.chatRow) return std::nullopt;
    for (const auto& [chat, messages] : _IdsChattoMessage)
        if (chat == *row.chatRow) return getSMSArrayfromIDs(messages);
    return std::nullopt;
}

void ChatTable::matchSMStoChat(const SMS& sms) {
    const OptString address = sms.Address();
    if (!address) return;
    const std::string key = NumberForms::standardised(*address);
    for (const auto& chat : appDelegate_.AllChatsContent.snapshot()) {
        if (!chat || !chat->chat_identifier() || NumberForms::standardised(*chat->chat_identifier()) != key)
            continue;
        for (auto& [id, messages] : _IdsChattoMessage)
            if (id == chat->RowId()) messages.push_back(sms.RowID());
        _IdsChattoMessage.emplace_back(chat->RowId(), getMessagesfromChatId(chat->RowId()));
    }
}

bool ChatTable::matchChatId(std::int64_t chatId, const SMS& sms) const {
    for (const auto& [id, messages] : _IdsChattoMessage)
        if (id == chatId && std::find(messages.begin(), messages.end(), sms.RowID()) != messages.end())
            return true;
    return false;
}

bool ChatTable::chatIdsContainDeleted() const {
    for (const auto& [id, messages] : _IdsChattoMessage)
        for (const auto& sms : getSMSArrayfromIDs(messages))
            if (sms->isRecovered()) return true;
    return false;
}
