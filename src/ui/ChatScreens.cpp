#include "ui/ChatScreens.h"

#include "common/AppPaths.h"
#include "app/ScanInputs.h"
#include "common/BackupFiles.h"
#include "database/DAOs.h"
#include "records/BrimleyAppDelegate.h"
#include "records/Contact.h"
#include "ui/ChatPages.h"
#include "ui/ScreenHelpers.h"

#include <QHeaderView>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

using namespace ScreenHelpers;

namespace {

std::string Lower(const QString& text) {
    return ScreenText::Lower(text.toStdString());
}

// The elements [begin, end) of a list (as far as it reaches).
template <class T>
std::vector<T> Slice(const std::vector<T>& list, std::size_t begin, std::size_t end) {
    end = std::min(end, list.size());
    begin = std::min(begin, end);
    return std::vector<T>(list.begin() + static_cast<std::ptrdiff_t>(begin), list.begin() + static_cast<std::ptrdiff_t>(end));
}

template <class T>
std::vector<std::shared_ptr<T>> Concatenated(std::vector<std::shared_ptr<T>> a,
                                             const std::vector<std::shared_ptr<T>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The path of one of the backup's databases, when the backup has it.
std::string DatabasePath(const BrimleyAppDelegate& record, const Guarded<std::string>& name) {
    return BackupFiles::locate(record.BACKUP_DIRECTORY.get(), name.get()).value_or(std::string());
}

// A second table beside the screen's first, on a model of its own.
QTableView* SecondTable(QWidget* parent, RecordTableModel*& model, const char* name) {
    auto* table = new QTableView(parent);
    table->setObjectName(QString::fromLatin1(name));
    model = new RecordTableModel(table);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(24);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setDefaultSectionSize(130);
    return table;
}

}  // namespace

// ---- SMSViewController ----

SMSViewController::SMSViewController(ScreenHost host, QWidget* parent)
    : ListScreen(std::move(host), QStringLiteral("SMSViewController"), parent) {
    using R = ConversationRow;
    table_.columnList = {
        Text<R>("name", LanguageKey::colName, "", [](const R& r) { return OptString(r.name); }),
        Text<R>("contact", LanguageKey::colPhone, "", [](const R& r) { return OptString(r.contact); }),
        Text<R>("email", LanguageKey::colEmail, "", [](const R& r) { return r.email; }),
    };
    table_.tickOf = [](const R& r) { return r.check; };
    table_.setTickOf = [](R& r, bool on) { r.check = on; };
    table_.deletedOf = [](const R& r) { return r.deleted; };
    addSegments(2);
    addTickAll();
    checkAll->setObjectName(QStringLiteral("checkAllButton"));
    chatView = new ChatView(host_.openAddress, this);
    chatView->blockSize = kMostBubbles;
    webView = chatView->page;
    setDetail(chatView, 460);
    setTable(&table_);
    setToolTip(QString());
    // The rows are built by the first toggle or search.
    showAllSms = true;
    clearDetail();
    refreshIndexpath();
}

void SMSViewController::index() {
    const auto existing = record_.SMSContent.snapshot();
    const auto deleted = record_.DeletedSMS.snapshot();
    const auto contacts = record_.ContactContent.snapshot();
    const auto deletedContacts = record_.DeletedContact.snapshot();
    const ListStamp now[4] = {ListStamp::Of(existing), ListStamp::Of(deleted), ListStamp::Of(contacts),
                              ListStamp::Of(deletedContacts)};
    if (indexed_ && std::equal(std::begin(now), std::end(now), std::begin(stamps_))) return;
    index_ = ConversationIndex(existing, deleted, Concatenated(contacts, deletedContacts));
    std::copy(std::begin(now), std::end(now), std::begin(stamps_));
    indexed_ = true;
}

void SMSViewController::bindRows(const std::vector<char>& working) {
    working_ = working;
    table_.rows = index_.rows(working_);
    const int segment = segmentedControl->selectedSegment();
    // A row shows ticked while every message of its address that a tick reaches is ticked.
    for (ConversationRow& row : table_.rows)
        row.check = !row.contact.empty() && index_.addressTicked(row.contact, segment);
    reloadTable();
    std::size_t deleted = 0, existing = 0;
    for (std::size_t i = 0; i < working_.size(); ++i)
        if (working_[i]) (index_.isDeleted(i) ? deleted : existing) += 1;
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsMessage, deleted,
               index_.size() - index_.existingCount(), existing, index_.existingCount());
}

void SMSViewController::toggleChanged() {
    segmentsShowAll();
}

void SMSViewController::toggleBack() {
    segmentsShowDeleted();
}

void SMSViewController::showSegment() {
    clearDetail();
    const int segment = segmentedControl->selectedSegment();
    showAllSms = segment == 0;
    index();
    bindRows(index_.segmentList(segment));
    host_.clearSearchField();
    refreshIndexpath();
}

void SMSViewController::find(const QString& field) {
    const std::string text = Lower(field);
    index();
    const std::vector<char> working = index_.segmentList(segmentedControl->selectedSegment());
    bindRows(text.empty() ? working : index_.search(working, text));
    refreshIndexpath();
}

void SMSViewController::clearDetail() {
    conversation_.clear();
    conversationDeleted_.clear();
    chatView->show(0, {});
}

void SMSViewController::showDetailOf(std::size_t row) {
    if (row >= table_.rows.size()) return;
    if (table_.rows[row].chatRow) return myRowChange(row);
    std::vector<char> deleted;
    auto messages = index_.conversation(table_.rows[row], working_, &deleted);
    conversation(std::move(messages), std::move(deleted));
}

void SMSViewController::conversation(std::vector<std::shared_ptr<SMS>> messages, std::vector<char> deleted) {
    conversation_ = std::move(messages);
    deleted.resize(conversation_.size(), 0);
    // The page runs in time order, existing and deleted messages alike.
    ChatPages::InTimeOrder(conversation_, deleted, [](const SMS& m) { return m.LocalTime(); });
    conversationDeleted_ = std::move(deleted);
    // A conversation of many thousand messages would take the page long to lay out: it is
    // drawn a block at a time.
    chatView->show(conversation_.size(), [this](std::size_t begin, std::size_t end) {
        return ChatPages::SmsConversation(Slice(conversation_, begin, end), Slice(conversationDeleted_, begin, end));
    });
}

bool SMSViewController::matchName(const std::string& text, const ConversationRow& row) {
    return ScreenText::FieldHolds(OptString(row.name), text) || ScreenText::FieldHolds(OptString(row.contact), text) ||
           ScreenText::FieldHolds(row.email, text);
}

std::vector<std::shared_ptr<SMS>> SMSViewController::workingMessages() const {
    std::vector<std::shared_ptr<SMS>> messages;
    for (std::size_t i = 0; i < working_.size() && i < index_.size(); ++i)
        if (working_[i]) messages.push_back(index_.message(i));
    return messages;
}

void SMSViewController::myDisplay() {
    const ScanContext context = ScanContextOf(record_);
    if (!context.locate(record_.SMS_DATABASE.get())) return;
    DAOs daos(context);
    table_.rows = chatTable_.myDisplay(daos);
    reloadTable();
}

void SMSViewController::processChatMessageJoin() {
    const ScanContext context = ScanContextOf(record_);
    if (!context.locate(record_.SMS_DATABASE.get())) return;
    DAOs daos(context);
    chatTable_.processChatMessageJoin(daos);
}

void SMSViewController::myRowChange(std::size_t row) {
    if (row >= table_.rows.size()) return;
    chatTable_.arrSMSRecords = workingMessages();
    if (auto messages = chatTable_.myRowChange(table_.rows[row])) conversation(std::move(*messages));
}

void SMSViewController::checkAllClicked(bool on) {
    for (ConversationRow& row : table_.rows) row.check = on;
    index_.tickAll(segmentedControl->selectedSegment(), on);
    model->ticksChanged();
}

void SMSViewController::rowTicked(std::size_t row) {
    if (row >= table_.rows.size()) return;
    const ConversationRow& r = table_.rows[row];
    // Every message of the address, not only those of the current search.
    index_.tickAddress(r.contact, segmentedControl->selectedSegment(), r.check);
}

// ---- WhatsAppViewController ----

WhatsAppViewController::WhatsAppViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("WhatsAppView"), parent, true) {
    table_.columnList = {
        Text<Row>("ContactName", LanguageKey::colChats, "", [this](const Row& r) { return ContactName(*r.record); }),
        Text<Row>("PhoneNo", LanguageKey::colPhone, "", [this](const Row& r) { return PhoneNo(*r.record); }),
    };
    table_.setTickOf = [](Row& r, bool on) { r.record->setIsChecked(on ? 1 : 0); };
    addSegments(0);
    addTickAll();
    checkAll->setObjectName(QStringLiteral("checkAllButton"));
    chatView = new ChatView(host_.openAddress, this);
    chatView->blockSize = SMSViewController::kMostBubbles;
    webView = chatView->page;
    setDetail(chatView, 460);
    setTable(&table_);
    refreshIndexpath();
}

const WhatsAppPartnerNames& WhatsAppViewController::names() {
    if (!namesRead_) {
        names_ = host_.whatsAppNames ? host_.whatsAppNames()
                                     : WhatsAppPartnerNames(DatabasePath(record_, record_.WHATSAPP_DATABASE));
        namesRead_ = true;
    }
    return names_;
}

void WhatsAppViewController::name(WhatsApp& r) {
    // Every grouping names the records it walks again, in the records themselves.
    names().name(r);
}

std::vector<std::shared_ptr<WhatsApp>> WhatsAppViewController::getGroupWhatsApp(
    const std::vector<std::shared_ptr<WhatsApp>>& records) {
    std::unordered_set<std::string> groups;
    std::vector<std::shared_ptr<WhatsApp>> rows;
    for (const auto& r : records) {
        if (!r) continue;
        name(*r);
        if ((r->FromMsgID() && groups.count(*r->FromMsgID())) || (r->ToMsgID() && groups.count(*r->ToMsgID())))
            continue;
        if (r->FromMsgID()) {
            groups.insert(*r->FromMsgID());
            rows.push_back(r);
        } else if (r->ToMsgID()) {
            groups.insert(*r->ToMsgID());
            rows.push_back(r);
        }
    }
    return rows;
}

std::vector<std::shared_ptr<WhatsApp>> WhatsAppViewController::checkForDuplicatesfromArray(
    const std::vector<std::shared_ptr<WhatsApp>>& records) {
    std::unordered_set<std::string> dates;
    std::vector<std::shared_ptr<WhatsApp>> kept;
    for (const auto& r : records) {
        if (!r) continue;
        if (r->MessageDate() && !dates.insert(*r->MessageDate()).second) continue;
        kept.push_back(r);
    }
    return kept;
}

std::vector<std::shared_ptr<WhatsApp>> WhatsAppViewController::checkForDuplicatesfromArrayGroups(
    const std::vector<std::shared_ptr<WhatsApp>>& rows) const {
    std::unordered_set<std::string> names;
    std::vector<std::shared_ptr<WhatsApp>> kept;
    for (const auto& r : rows) {
        const OptString name = ContactName(*r);
        if (name && !names.insert(*name).second) continue;
        kept.push_back(r);
    }
    return kept;
}

std::vector<std::shared_ptr<WhatsApp>> WhatsAppViewController::covered() const {
    switch (segmentedControl->selectedSegment()) {
        case 0: return Concatenated(record_.WhatsAppContent.snapshot(), record_.DeletedWhatsApp.snapshot());
        case 1: return record_.WhatsAppContent.snapshot();
        case 2: return record_.DeletedWhatsApp.snapshot();
        default: return {};
    }
}

void WhatsAppViewController::show(const std::vector<std::shared_ptr<WhatsApp>>& rows,
                                  const std::vector<std::shared_ptr<WhatsApp>>& messages) {
    std::unordered_set<const WhatsApp*> deleted;
    for (const auto& r : record_.DeletedWhatsApp.snapshot()) deleted.insert(r.get());
    table_.rows.clear();
    for (const auto& r : rows) table_.rows.push_back({r, deleted.count(r.get()) != 0});
    reloadTable();
    // The count line counts messages, as it says, not the chats they make.
    std::size_t shownDeleted = 0, shownExisting = 0;
    for (const auto& m : messages)
        if (m) (deleted.count(m.get()) ? shownDeleted : shownExisting) += 1;
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsWhatsapp, shownDeleted,
               record_.DeletedWhatsApp.size(), shownExisting, record_.WhatsAppContent.size());
}

void WhatsAppViewController::setTableSelection() {
    // The page is drawn again even when row 0 was selected already.
    if (table_.rows.empty())
        clearDetail();
    else
        selectRow(0);
}

void WhatsAppViewController::toggleChanged() {
    segmentsShowAll();
}

void WhatsAppViewController::toggleBack() {
    // The deleted chats, every deleted message taking part: two messages of one time are two
    // messages here. The filter's name stays that of the last segment chosen.
    segmentedControl->setSelectedSegment(2);
    const auto deleted = record_.DeletedWhatsApp.snapshot();
    showChats(checkForDuplicatesfromArrayGroups(getGroupWhatsApp(deleted)), deleted);
}

void WhatsAppViewController::showSegment() {
    std::vector<std::shared_ptr<WhatsApp>> list;
    switch (segmentedControl->selectedSegment()) {
        case 0:
            type = "Both";
            list = Concatenated(record_.WhatsAppContent.snapshot(), record_.DeletedWhatsApp.snapshot());
            break;
        case 1:
            type = "Retreived";
            list = record_.WhatsAppContent.snapshot();
            break;
        case 2:
            type = "Recovered";
            list = record_.DeletedWhatsApp.snapshot();
            break;
        default: break;
    }
    list = checkForDuplicatesfromArray(list);
    showChats(checkForDuplicatesfromArrayGroups(getGroupWhatsApp(list)), list);
}

void WhatsAppViewController::showChats(const std::vector<std::shared_ptr<WhatsApp>>& rows,
                                       const std::vector<std::shared_ptr<WhatsApp>>& messages) {
    show(rows, messages);
    setTableSelection();
    host_.clearSearchField();
    refreshIndexpath();
}

bool WhatsAppViewController::matchName(const std::string& text, const WhatsApp& r) const {
    const auto lowered = lowerTexts_.find(&r);
    const bool inText = lowered != lowerTexts_.end() ? lowered->second.find(text) != std::string::npos
                                                     : ScreenText::FieldHolds(r.zText(), text);
    return inText || ScreenText::FieldHolds(ContactName(r), text) || ScreenText::FieldHolds(PhoneNo(r), text);
}

void WhatsAppViewController::find(const QString& field) {
    const std::string text = Lower(field);
    std::vector<std::shared_ptr<WhatsApp>> records = covered();
    if (!text.empty()) {
        // The texts in lower case are kept from one search to the next.
        for (const auto& r : records)
            if (r && r->zText() && !lowerTexts_.count(r.get())) lowerTexts_[r.get()] = ScreenText::Lower(*r->zText());
        std::erase_if(records, [&](const auto& r) { return !r || !matchName(text, *r); });
    }
    show(getGroupWhatsApp(records), records);
    refreshIndexpath();
}

void WhatsAppViewController::clearDetail() {
    conversation_.clear();
    conversationDeleted_.clear();
    chatView->show(0, {});
}

void WhatsAppViewController::conversation(std::vector<std::shared_ptr<WhatsApp>> messages) {
    conversation_ = std::move(messages);
    std::unordered_set<const WhatsApp*> deletedOnes;
    for (const auto& r : record_.DeletedWhatsApp.snapshot()) deletedOnes.insert(r.get());
    std::vector<char> deleted;
    deleted.reserve(conversation_.size());
    for (const auto& m : conversation_) deleted.push_back(deletedOnes.count(m.get()) ? 1 : 0);
    // The page runs in time order, carved messages among the others where their time puts them.
    ChatPages::InTimeOrder(conversation_, deleted, [](const WhatsApp& m) { return m.MessageDate(); });
    conversationDeleted_ = std::move(deleted);
    chatView->show(conversation_.size(), [this](std::size_t begin, std::size_t end) {
        return ChatPages::WhatsAppConversation(Slice(conversation_, begin, end),
                                               AppPaths::resourcesDirectory() + "/whats-app-bg.jpg",
                                               Slice(conversationDeleted_, begin, end));
    });
}

void WhatsAppViewController::showDetailOf(std::size_t row) {
    if (row >= table_.rows.size()) return;
    const OptString name = ContactName(*table_.rows[row].record);
    std::vector<std::shared_ptr<WhatsApp>> messages;
    for (const auto& r : covered())
        if (r && (SameText(ContactName(*r), name) || SameText(r->FromMsgID(), name))) messages.push_back(r);
    conversation(std::move(messages));
}

void WhatsAppViewController::checkAllClicked(bool on) {
    for (const Row& row : table_.rows) row.record->setIsChecked(on ? 1 : 0);
    model->ticksChanged();
    SetTicks(covered(), on);
}

void WhatsAppViewController::rowTicked(std::size_t row) {
    if (row >= table_.rows.size()) return;
    const WhatsApp& chat = *table_.rows[row].record;
    const bool tick = chat.isChecked() != 0;
    // The chat's key: its sender, or for a chat the owner began its receiver, so that the tick
    // reaches the chat's messages either way.
    const OptString key = chat.FromMsgID() ? chat.FromMsgID() : chat.ToMsgID();
    std::vector<std::shared_ptr<WhatsApp>> collected;
    for (const auto& r : covered())
        if (r && (SameText(r->FromMsgID(), key) || SameText(r->ToMsgID(), key))) {
            r->setIsChecked(tick ? 1 : 0);
            collected.push_back(r);
        }
    model->ticksChanged();
    conversation(std::move(collected));
}

// ---- CallLogViewController ----

CallLogViewController::CallLogViewController(ScreenHost host, QWidget* parent)
    : CallLogViewController(std::move(host), false, parent) {}

CallLogViewController::CallLogViewController(ScreenHost host, bool faceTime, QWidget* parent)
    : ListScreen(std::move(host), faceTime ? QStringLiteral("FaceTimeViewController") : QStringLiteral("CallLogViewController"),
                 parent),
      faceTime_(faceTime) {
    using G = GroupRow;
    groupTable_.columnList = {
        Text<G>("ContactName", LanguageKey::colName, "", [](const G& g) { return g.ContactName; }),
        Text<G>("Address", LanguageKey::colcontact, "", [](const G& g) { return OptString(g.Address); }),
    };
    groupTable_.deletedOf = [](const G& g) { return g.deleted; };
    calls_.columnList = {
        SlNoColumn<CallLog>(),
        Text<Row>("ContactName", LanguageKey::colName, "", [this](const Row& r) { return ContactName(*r.record); }),
        Text<Row>("Address", LanguageKey::colPhone, "", [this](const Row& r) { return Address(*r.record); }),
        Text<Row>("LocalTime", LanguageKey::colDate, "", [](const Row& r) { return r.record->LocalTime(); }, ColumnKind::Date),
        Text<Row>("CallType", LanguageKey::colType, "", [](const Row& r) { return ScreenText::ShownCallType(r.record->CallType()); }),
        Number<Row>("CallDuration", "", [](const Row& r) { return r.record->CallDuration(); }),
    };
    calls_.columnList.back().title = LanguageKey::colDuration;
    RecordBasics(calls_, !faceTime_);
    addSegments(2);
    if (!faceTime_) addTickAll();
    m_table->setProperty("tag", 1);
    m_table_retreived = SecondTable(this, callsModel_, "m_table_retreived");
    setTableOf(m_table_retreived, callsModel_, &calls_);
    connect(callsModel_, &RecordTableModel::rowTicked, this, [this](int) {
        if (checkAll) checkAll->setChecked(false);
    });
    connect(m_table_retreived->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (const auto column = callsModel_->dataColumn(section)) {
            if (!faceTime_) {
                // The call screen does not sort; it only keeps its columns in place.
                m_table_retreived->horizontalHeader()->setSectionsMovable(false);
                return;
            }
            const bool ascending = HeaderClickAscending(identifier, calls_.identifier(*column));
            calls_.sortBy(*column, ascending);
            callsModel_->reset();
        }
    });
    setDetail(m_table_retreived, 560);
    splitter->setSizes({360, 640});
    setTable(&groupTable_);
    // Waking: the deleted calls, numbered; no address is selected, so the calls table shows
    // them all.
    getGroupCallLog(Numbered(deletedList().snapshot(), true, 1));
    showCalls(grouped_);
}

SharedList<CallLog>& CallLogViewController::existingList() const {
    return faceTime_ ? record_.faceTimeContent : record_.CallLogContent;
}

SharedList<CallLog>& CallLogViewController::deletedList() const {
    return faceTime_ ? record_.DeletedFaceTime : record_.DeletedCallLog;
}

const AddressBookNames& CallLogViewController::names() {
    if (!namesRead_) {
        names_ = host_.addressBook ? host_.addressBook()
                                   : AddressBookNames(DatabasePath(record_, record_.ADDRESSBOOK_DATABASE));
        namesRead_ = true;
    }
    return names_;
}

std::vector<CallLogViewController::Row> CallLogViewController::filled(
    const std::vector<std::shared_ptr<CallLog>>& list, bool deleted, Fill fill) {
    // The fills go into the records themselves (locked fields: the export may be reading them).
    for (const auto& call : list) {
        if (!call || fill == Fill::None) continue;
        if (fill == Fill::Full)
            call->fillUnknowns();
        else
            call->fillContactName();
    }
    return Numbered(list, deleted, 0, false);
}

void CallLogViewController::getGroupCallLog(std::vector<Row> calls) {
    groups_.clear();
    std::unordered_map<std::string, std::size_t> at;
    for (const Row& r : calls) {
        const OptString address = Address(*r.record);
        if (!address) continue;
        auto [it, added] = at.emplace(*address, groups_.size());
        if (added) groups_.push_back({*address, {}});
        auto& members = groups_[it->second].second;
        members.push_back(r);
        r.record->setSlNo(static_cast<std::int32_t>(members.size()));
    }
    grouped_ = std::move(calls);
    // Names from the address book, read once; the shared database objects stay untouched.
    const AddressBookNames& book = names();
    groupTable_.rows.clear();
    for (const auto& [address, members] : groups_) {
        GroupRow row{address, std::nullopt, members.front().record->PhoneNumber(), true};
        for (const Row& member : members) row.deleted = row.deleted && member.deleted;
        // The name its calls show (one name per call, given by the scan's naming step); calls
        // not named yet take the address book's.
        for (const Row& member : members)
            if (const OptString name = member.record->ContactName();
                name && !name->empty() && *name != address) {
                row.ContactName = name;
                break;
            }
        if (!row.ContactName && book.isOpen()) {
            std::string name = book.nameFor(address);
            row.ContactName = name.empty() ? address : name;
        }
        groupTable_.rows.push_back(std::move(row));
    }
    reloadTable();
    std::size_t deleted = 0;
    for (const Row& r : grouped_) deleted += r.deleted;
    setCaption(faceTime_ ? std::nullopt
                         : std::optional(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsCall),
               deleted, deletedList().size(), grouped_.size() - deleted, existingList().size());
}

void CallLogViewController::showCalls(std::vector<Row> calls) {
    calls_.rows = std::move(calls);
    callsModel_->reset();
}

void CallLogViewController::showDetailOf(std::size_t row) {
    if (row < groups_.size()) showCalls(groups_[row].second);
}

void CallLogViewController::clearDetail() {
    showCalls({});
}

void CallLogViewController::toggleChanged() {
    segmentsShowAll();
}

void CallLogViewController::toggleBack() {
    segmentsShowDeleted();
}

void CallLogViewController::showSegment() {
    const auto existing = existingList().snapshot();
    const auto deleted = deletedList().snapshot();
    std::vector<Row> list;
    const int segment = segmentedControl->selectedSegment();
    if (!faceTime_) {
        if (segment == 0) list = Joined(filled(deleted, true, Fill::Full), filled(existing, false, Fill::Name));
        if (segment == 1) list = filled(existing, false, Fill::Full);
        if (segment == 2) list = filled(deleted, true, Fill::Name);
    } else {
        const auto e = static_cast<std::int32_t>(existing.size());
        if (segment == 0) list = Joined(Numbered(existing, false, 0, false), Numbered(deleted, true, e + 1));
        if (segment == 1) list = Numbered(existing, false, 0, false);
        if (segment == 2) list = Numbered(deleted, true, 1);
    }
    getGroupCallLog(std::move(list));
    if (faceTime_) {
        showCalls(grouped_);
        return;
    }
    host_.clearSearchField();
    refreshIndexpath();
    if (groupTable_.rows.empty()) showCalls({});
}

bool CallLogViewController::matchName(const std::string& text, const CallLog& c) const {
    return ScreenText::FieldHolds(ContactName(c), text) || ScreenText::FieldHolds(Address(c), text) ||
           ScreenText::FieldHolds(c.PhoneNumber(), text) || ScreenText::FieldHolds(c.LocalTime(), text) ||
           ScreenText::FieldHolds(ScreenText::ShownCallType(c.CallType()), text) ||
           std::to_string(c.CallDuration()).find(text) != std::string::npos ||
           ScreenText::FieldHolds(c.CallMode(), text);
}

void CallLogViewController::find(const QString& field) {
    const std::string text = Lower(field);
    if (faceTime_) {
        // Find-next over the addresses, by name, then by number.
        if (text.empty()) return;
        const auto hit = FindNext(groupTable_.rows.size(), selectedRow(), [&](std::size_t i) {
            return ScreenText::FieldHolds(groupTable_.rows[i].ContactName, text) ||
                   ScreenText::FieldHolds(groupTable_.rows[i].PhoneNumber, text);
        });
        if (!hit) {
            beep();
            return;
        }
        selectRow(*hit);
        return;
    }
    std::vector<Row> covered;
    switch (segmentedControl->selectedSegment()) {
        case 0: covered = Joined(Numbered(deletedList().snapshot(), true, 0, false),
                                 Numbered(existingList().snapshot(), false, 0, false)); break;
        case 1: covered = Numbered(existingList().snapshot(), false, 0, false); break;
        case 2: covered = Numbered(deletedList().snapshot(), true, 0, false); break;
        default: break;
    }
    if (!text.empty()) std::erase_if(covered, [&](const Row& r) { return !matchName(text, *r.record); });
    getGroupCallLog(std::move(covered));
    refreshIndexpath();
    if (groupTable_.rows.empty()) showCalls({});
}

void CallLogViewController::checkAllClicked(bool on) {
    for (const Row& r : calls_.rows) r.record->setIsChecked(on ? 1 : 0);
    callsModel_->ticksChanged();
}

void CallLogViewController::headerClicked(std::size_t) {
    // The address table keeps its order; only its columns stay in place.
    allowColumnReordering(false);
}

// ---- WhatAppRecViewController ----

WhatAppRecViewController::WhatAppRecViewController(ScreenHost host, QWidget* parent)
    : ListScreen(std::move(host), QStringLiteral("WhatAppRecViewController"), parent) {
    using G = GroupRow;
    groupTable_.columnList = {
        Text<G>("ContactName", LanguageKey::colName, "", [](const G& g) { return g.ContactName; }),
        Text<G>("PhoneNumber", LanguageKey::colPhone, "", [](const G& g) { return g.PhoneNumber; }),
    };
    messages_.columnList = {
        Text<Row>("MessageDate", LanguageKey::colDate, "", [](const Row& r) { return r.record->MessageDate(); }, ColumnKind::Date),
        Text<Row>("zText", std::nullopt, "Message", [](const Row& r) { return r.record->zText(); }),
    };
    RecordBasics(messages_, false);
    addSegments(0);
    messagesTable_ = SecondTable(this, messagesModel_, "m_table_retreived");
    setTableOf(messagesTable_, messagesModel_, &messages_);
    connect(messagesTable_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (const auto column = messagesModel_->dataColumn(section)) {
            const bool ascending = HeaderClickAscending(identifier, messages_.identifier(*column));
            messages_.sortBy(*column, ascending);
            messagesTable_->horizontalHeader()->setSectionsMovable(false);
            messagesModel_->reset();
        }
    });
    setDetail(messagesTable_, 560);
    setTable(&groupTable_);
    const auto existing = record_.WhatsAppContent.snapshot();
    group(Joined(Numbered(existing, false, 0, false), Numbered(record_.DeletedWhatsApp.snapshot(), true, 0, false)));
}

const WhatsAppPartnerNames& WhatAppRecViewController::names() {
    if (!namesRead_) {
        names_ = host_.whatsAppNames ? host_.whatsAppNames()
                                     : WhatsAppPartnerNames(DatabasePath(record_, record_.WHATSAPP_DATABASE));
        namesRead_ = true;
    }
    return names_;
}

void WhatAppRecViewController::group(std::vector<Row> list) {
    // The partner of a message: its sender, or for the owner's messages its receiver.
    groups_.clear();
    std::unordered_map<std::string, std::size_t> at;
    for (const Row& r : list) {
        const OptString partner = r.record->FromMsgID() ? r.record->FromMsgID() : r.record->ToMsgID();
        if (!partner) continue;
        auto [it, added] = at.emplace(*partner, groups_.size());
        if (added) groups_.push_back({*partner, {}});
        groups_[it->second].second.push_back(r);
    }
    grouped_ = std::move(list);
    groupTable_.rows.clear();
    for (const auto& [partner, members] : groups_) {
        OptString name = names().nameFor(partner);
        const OptString phone = members.front().record->PhoneNo();
        if (!name || name->empty()) name = phone && !phone->empty() ? phone : OptString("Unknown");
        groupTable_.rows.push_back({partner, name, phone});
    }
    reloadTable();
    messages_.rows = grouped_;
    messagesModel_->reset();
}

void WhatAppRecViewController::toggleChanged() {
    segmentsShowAll();
}

void WhatAppRecViewController::showSegment() {
    const auto existing = record_.WhatsAppContent.snapshot();
    const auto deleted = record_.DeletedWhatsApp.snapshot();
    switch (segmentedControl->selectedSegment()) {
        case 0: group(Joined(Numbered(existing, false, 0, false), Numbered(deleted, true, 0, false))); break;
        case 1: group(Numbered(existing, false, 0, false)); break;
        case 2: group(Numbered(deleted, true, 0, false)); break;
        default: break;
    }
}

void WhatAppRecViewController::find(const QString& field) {
    const std::string text = Lower(field);
    if (text.empty()) return;
    const auto hit = FindNext(groupTable_.rows.size(), selectedRow(), [&](std::size_t i) {
        return ScreenText::FieldHolds(groupTable_.rows[i].ContactName, text) ||
               ScreenText::FieldHolds(groupTable_.rows[i].PhoneNumber, text);
    });
    if (!hit) {
        beep();
        return;
    }
    selectRow(*hit);
}

void WhatAppRecViewController::showDetailOf(std::size_t row) {
    if (row >= groups_.size()) return;
    messages_.rows = groups_[row].second;
    messagesModel_->reset();
}

void WhatAppRecViewController::clearDetail() {
    messages_.rows.clear();
    messagesModel_->reset();
}

void WhatAppRecViewController::headerClicked(std::size_t) {
    allowColumnReordering(false);
}
