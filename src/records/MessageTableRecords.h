#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <memory>
#include <vector>

// Rows of the messages database's other tables, carved or read live. Each keeps its row id,
// chat id and message id in the base. Texts compare by content; an absent text equals nothing.

// One row of the handle table: a conversation partner's address. Base: RowId, Country, Service.
class MessageHandle : public baseRecoveryObject {
    // The address: a phone number or an e-mail address.
    TORVANE_TEXT_FIELD_OF_RECORD(Id, setId)
};

// One row of the chat table. Base: RowId, Recovered.
class MessageChat : public baseRecoveryObject {
public:
    // Same row id, and the same guid, account id and chat identifier.
    bool isEqualTo(const MessageChat& other) const {
        return RowId() == other.RowId() && SameText(Guid_, other.Guid_) &&
               SameText(AccountId_, other.AccountId_) &&
               SameText(ChatIdentifier_, other.ChatIdentifier_);
    }

    // The handles taking part in the chat.
    std::vector<std::shared_ptr<MessageHandle>>& Handles() { return Handles_; }
    const std::vector<std::shared_ptr<MessageHandle>>& Handles() const { return Handles_; }
    void setHandles(std::vector<std::shared_ptr<MessageHandle>> v) { Handles_ = std::move(v); }

    TORVANE_TEXT_FIELD_OF_RECORD(Guid, setGuid)
    TORVANE_TEXT_FIELD_OF_RECORD(AccountId, setAccountId)
    TORVANE_TEXT_FIELD_OF_RECORD(ChatIdentifier, setChatIdentifier)
    TORVANE_TEXT_FIELD_OF_RECORD(ServiceName, setServiceName)
    TORVANE_TEXT_FIELD_OF_RECORD(AccountLogin, setAccountLogin)

private:
    std::vector<std::shared_ptr<MessageHandle>> Handles_;
};

// One row of chat_message_join. Base: RowId, ChatId, MessageId, Recovered.
class ChatMessageJoin : public baseRecoveryObject {
public:
    bool IsEqual(const ChatMessageJoin& other) const {
        return RowId() == other.RowId() && ChatId() == other.ChatId() &&
               MessageId() == other.MessageId();
    }
};

// One row of chat_handle_join. Base: RowId, ChatId, Recovered.
class ChatHandleJoin : public baseRecoveryObject {
public:
    bool IsEqual(const ChatHandleJoin& other) const {
        return RowId() == other.RowId() && ChatId() == other.ChatId() &&
               SameText(HandleId_, other.HandleId_);
    }

    // The handle_id column as decimal text.
    TORVANE_TEXT_FIELD_OF_RECORD(HandleId, setHandleId)
};

// A message's guid with its row id (base RowId). A run finds one for every message of the
// database, live ones included, so the guid is kept compactly and read as a copy.
class MessageGuidRowId : public baseRecoveryObject {
public:
    bool IsEqual(const MessageGuidRowId& other) const {
        return RowId() == other.RowId() && SameText(Guid(), other.Guid());
    }

    OptString Guid() const { return Guid_.get(); }
    void setGuid(const OptString& v) { Guid_.set(v); }

private:
    CompactText Guid_;
};

// A chat's guid (base RowId: the chat's row id) with the handle address the guid ends with.
class MessageChatGuidAndChatIdHandleConnection : public baseRecoveryObject {
public:
    bool IsEqual(const MessageChatGuidAndChatIdHandleConnection& other) const {
        return RowId() == other.RowId() && SameText(Guid_, other.Guid_) && SameText(Id_, other.Id_);
    }

    TORVANE_TEXT_FIELD_OF_RECORD(Guid, setGuid)
    // The part of Guid after its last ";".
    TORVANE_TEXT_FIELD_OF_RECORD(Id, setId)
};
