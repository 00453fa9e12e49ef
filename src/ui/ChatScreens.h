#pragma once

#include "database/PartnerNames.h"
#include "records/CallLog.h"
#include "records/SMS.h"
#include "records/SharedList.h"
#include "records/WhatsApp.h"
#include "ui/ChatTable.h"
#include "ui/Conversations.h"
#include "ui/ScreenFramework.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

// The screens that show conversations and calls by partner: messages, WhatsApp chats, the
// call history (and FaceTime calls), and the calls-style view of WhatsApp messages.

// The records a list held when a screen last read it, to tell whether it changed since.
struct ListStamp {
    std::size_t size = 0;
    const void* front = nullptr;
    const void* back = nullptr;
    template <class T>
    static ListStamp Of(const std::vector<std::shared_ptr<T>>& list) {
        return {list.size(), list.empty() ? nullptr : list.front().get(),
                list.empty() ? nullptr : list.back().get()};
    }
    bool operator==(const ListStamp&) const = default;
};

// The messages as conversations: one row per address, named after the contact whose number
// matches it, and the chat page of the selected row. The existing/deleted toggle chooses the
// messages (all, or the deleted ones); the segmented control chooses which messages a tick
// reaches.
class SMSViewController : public ListScreen {
public:
    SMSViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;

    bool showAllSms = true;
    // The chat page and the bar that walks its blocks.
    ChatView* chatView = nullptr;
    DetailPage* webView = nullptr;
    QCheckBox* checkAllButton() const { return checkAll; }
    const RowTable<ConversationRow>& shown() const { return table_; }
    // The messages the chat page shows now.
    const std::vector<std::shared_ptr<SMS>>& conversationShown() const { return conversation_; }
    // The most bubbles a chat page draws at once; a longer conversation is shown a block at a
    // time, the newest first.
    static constexpr std::size_t kMostBubbles = 3000;

    // Whether a conversation row's name, address or e-mail address, in lower case, holds the
    // lower-case text.
    static bool matchName(const std::string& lowerText, const ConversationRow& row);
    // The listing by the chats of the messages database: one row per chat, read on a query
    // object of the screen's own (the shared one stays with the scan); a selected row then
    // shows the messages of the working list joined to its chat (myRowChange).
    void myDisplay();
    void processChatMessageJoin();
    void myRowChange(std::size_t row);
    ChatTable& chatTable() { return chatTable_; }

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override;
    void headerClicked(std::size_t column) override { sortTable(table_, column); }
    void checkAllClicked(bool on) override;
    void rowTicked(std::size_t row) override;
    void showSegment() override;

private:
    // Reads the lists again when they changed since the index was built.
    void index();
    void bindRows(const std::vector<char>& working);
    // Shows the messages as a chat page in time order; `deleted` marks the deleted ones
    // (none marked when it is empty).
    void conversation(std::vector<std::shared_ptr<SMS>> messages, std::vector<char> deleted = {});
    // The working list's messages, in order, for the chat listing.
    std::vector<std::shared_ptr<SMS>> workingMessages() const;

    ConversationIndex index_;
    std::vector<char> working_;
    RowTable<ConversationRow> table_;
    std::vector<std::shared_ptr<SMS>> conversation_;
    std::vector<char> conversationDeleted_;
    ListStamp stamps_[4];
    bool indexed_ = false;
    ChatTable chatTable_{record_};
};

// WhatsApp messages as chats: one row per partner (the first message of the chat), named from
// the chat database, and the chat page of the selected row.
class WhatsAppViewController : public RecordListScreen<WhatsApp> {
public:
    WhatsAppViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;

    // The partner name the screen gave a message, and its phone number, as the record holds them.
    OptString ContactName(const WhatsApp& message) const { return message.ContactName(); }
    OptString PhoneNo(const WhatsApp& message) const { return message.PhoneNo(); }
    // Grouping: the chat rows of the records, in order, naming every record on the way.
    std::vector<std::shared_ptr<WhatsApp>> getGroupWhatsApp(const std::vector<std::shared_ptr<WhatsApp>>& records);
    static std::vector<std::shared_ptr<WhatsApp>> checkForDuplicatesfromArray(
        const std::vector<std::shared_ptr<WhatsApp>>& records);
    std::vector<std::shared_ptr<WhatsApp>> checkForDuplicatesfromArrayGroups(
        const std::vector<std::shared_ptr<WhatsApp>>& rows) const;
    bool matchName(const std::string& lowerText, const WhatsApp& message) const;

    std::string type;
    ChatView* chatView = nullptr;
    DetailPage* webView = nullptr;
    const std::vector<std::shared_ptr<WhatsApp>>& conversationShown() const { return conversation_; }

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override;
    void checkAllClicked(bool on) override;
    void rowTicked(std::size_t row) override;
    void showSegment() override;

private:
    std::vector<std::shared_ptr<WhatsApp>> covered() const;
    void name(WhatsApp& message);
    // Shows the chat rows; the count line counts the messages they were made from.
    void show(const std::vector<std::shared_ptr<WhatsApp>>& rows,
              const std::vector<std::shared_ptr<WhatsApp>>& messages);
    // Shows the chat rows as a filter's result: the first selected, the search field emptied.
    void showChats(const std::vector<std::shared_ptr<WhatsApp>>& rows,
                   const std::vector<std::shared_ptr<WhatsApp>>& messages);
    void setTableSelection();
    void conversation(std::vector<std::shared_ptr<WhatsApp>> messages);
    const WhatsAppPartnerNames& names();

    std::vector<std::shared_ptr<WhatsApp>> conversation_;
    std::vector<char> conversationDeleted_;
    std::unordered_map<const WhatsApp*, std::string> lowerTexts_;
    WhatsAppPartnerNames names_;
    bool namesRead_ = false;
};

// The call history: the addresses with the name the address book gives each, and the calls of
// the selected address. FaceTimeViewController is the same design over the FaceTime lists.
class CallLogViewController : public ListScreen {
public:
    using Row = RecordRow<CallLog>;
    struct GroupRow {
        std::string Address;
        OptString ContactName;
        // The number its calls were recorded with (the first call's), which find-next also matches.
        OptString PhoneNumber;
        // Every call of the address is a deleted one.
        bool deleted = false;
    };
    CallLogViewController(ScreenHost host, QWidget* parent = nullptr);

    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    bool respondsToToggleBack() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    void toggleBack() override;

    // The name and address of a call as the screen shows them: the record's, after its fills.
    OptString ContactName(const CallLog& call) const { return call.ContactName(); }
    OptString Address(const CallLog& call) const { return call.Address(); }
    bool matchName(const std::string& lowerText, const CallLog& call) const;
    void getGroupCallLog(std::vector<Row> calls);

    QTableView* m_table_retreived = nullptr;
    const RowTable<GroupRow>& groupRows() const { return groupTable_; }
    const RowTable<Row>& calls() const { return calls_; }

protected:
    CallLogViewController(ScreenHost host, bool faceTime, QWidget* parent);
    void showDetailOf(std::size_t row) override;
    void clearDetail() override;
    void headerClicked(std::size_t column) override;
    void checkAllClicked(bool on) override;
    void showSegment() override;

    SharedList<CallLog>& existingList() const;
    SharedList<CallLog>& deletedList() const;

private:
    void build();
    enum class Fill { None, Name, Full };
    std::vector<Row> filled(const std::vector<std::shared_ptr<CallLog>>& list, bool deleted, Fill fill);
    void showCalls(std::vector<Row> calls);
    const AddressBookNames& names();

    const bool faceTime_;
    RowTable<GroupRow> groupTable_;
    RowTable<Row> calls_;
    RecordTableModel* callsModel_ = nullptr;
    std::vector<Row> grouped_;
    std::vector<std::pair<std::string, std::vector<Row>>> groups_;
    AddressBookNames names_;
    bool namesRead_ = false;
};

class FaceTimeViewController : public CallLogViewController {
public:
    FaceTimeViewController(ScreenHost host, QWidget* parent = nullptr)
        : CallLogViewController(std::move(host), true, parent) {}
};

// The calls-style view of the WhatsApp messages: the partners, and the messages of the selected
// one. No tab shows it.
class WhatAppRecViewController : public ListScreen {
public:
    using Row = RecordRow<WhatsApp>;
    struct GroupRow {
        std::string Address;
        OptString ContactName;
        OptString PhoneNumber;
    };
    WhatAppRecViewController(ScreenHost host, QWidget* parent = nullptr);
    bool respondsToFind() const override { return true; }
    bool respondsToToggleChanged() const override { return true; }
    void find(const QString& text) override;
    void toggleChanged() override;
    const RowTable<GroupRow>& groupRows() const { return groupTable_; }
    const RowTable<Row>& messages() const { return messages_; }

protected:
    void showDetailOf(std::size_t row) override;
    void clearDetail() override;
    void headerClicked(std::size_t column) override;
    void showSegment() override;

private:
    void group(std::vector<Row> list);
    const WhatsAppPartnerNames& names();

    RowTable<GroupRow> groupTable_;
    RowTable<Row> messages_;
    RecordTableModel* messagesModel_ = nullptr;
    QTableView* messagesTable_ = nullptr;
    std::vector<Row> grouped_;
    std::vector<std::pair<std::string, std::vector<Row>>> groups_;
    WhatsAppPartnerNames names_;
    bool namesRead_ = false;
};
