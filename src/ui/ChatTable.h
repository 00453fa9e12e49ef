#pragma once

#include "ui/Conversations.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class BrimleyAppDelegate;
class DAOs;
class SMS;

// The messages screen's other listing: by the chats of the messages database instead of by
// address. The chats and the chat/message joins are read into the results record
// (AllChatsContent, AllChatMessageJoinContent); a chat's messages are then found among the
// working list by their row ids. Toolkit-free; the screen owns one.
class ChatTable {
public:
    // A chat's row id with the row ids of its messages.
    using ChatMessages = std::pair<std::int64_t, std::vector<std::int64_t>>;

    explicit ChatTable(BrimleyAppDelegate& record) : appDelegate_(record) {}

    // The messages the chats are looked up in (the screen's working list).
    std::vector<std::shared_ptr<SMS>> arrSMSRecords;
    // The chats with their messages, as processChatMessageJoin and matchSMStoChat gather them.
    std::vector<ChatMessages> _IdsChattoMessage;

    // Reads the chats through the query object into AllChatsContent and answers one row per
    // chat: its identifier as the address ("" when it has none), no name, no e-mail, unticked,
    // and the chat's row id.
    std::vector<ConversationRow> myDisplay(DAOs& daos);
    // Reads the chat/message joins into AllChatMessageJoinContent, then adds to _IdsChattoMessage
    // every chat of AllChatsContent with the message ids its joins give it.
    void processChatMessageJoin(DAOs& daos);
    // The message ids of the joins of the chat, in join order.
    std::vector<std::int64_t> getMessagesfromChatId(std::int64_t chatId) const;
    // The chat of the first join of the message; 0 when none joins it.
    std::int64_t getChatIdfromMessageId(std::int64_t messageId) const;
    // Joins every carved message of the working list that has a row id (not -1) to the chat its
    // row id is joined to already (0 when none), in AllChatMessageJoinContent. Answers an empty
    // list.
    std::vector<std::int64_t> getAllChatIdsFromMessages();
    // For each id in order, the messages of the working list with that row id.
    std::vector<std::shared_ptr<SMS>> getSMSArrayfromIDs(const std::vector<std::int64_t>& ids) const;
    // The messages of a row made by myDisplay: the first chat of _IdsChattoMessage with the
    // row's chat id, after getAllChatIdsFromMessages. None for a row of no such chat.
    std::optional<std::vector<std::shared_ptr<SMS>>> myRowChange(const ConversationRow& row);
    // Adds the message's row id to every gathered chat whose identifier, standardised, is the
    // message's address standardised, and then gathers each such chat again with its joined
    // messages.
    void matchSMStoChat(const SMS& sms);
    // Whether the message's row id is among the gathered messages of the chat. Changes nothing.
    bool matchChatId(std::int64_t chatId, const SMS& sms) const;
    // Whether a gathered chat holds a carved message of the working list. Changes nothing.
    bool chatIdsContainDeleted() const;

private:
    BrimleyAppDelegate& appDelegate_;
};
