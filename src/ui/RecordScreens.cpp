#include "ui/RecordScreens.h"

#include "common/AppPaths.h"
#include "common/FileUtils.h"
#include "database/SqliteConnection.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/ChatPages.h"
#include "ui/DeletedMarks.h"
#include "ui/ScreenHelpers.h"
#include "ui/TitleAdapters.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <QFormLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

using TitleAdapters::ToQString;

using namespace ScreenHelpers;

namespace {

std::string Lower(const QString& text) {
    return ScreenText::Lower(text.toStdString());
}

}  // namespace

// ---- ContactViewController ----

ContactViewController::ContactViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("ContactViewController"), parent, true) {
    table_.columnList = {
        SlNoColumn<Contact>(),
        Text<Row>("FirstName", LanguageKey::colName, "",
                  [](const Row& r) -> OptString {
                      const Contact& c = *r.record;
                      if (c.FirstName() && c.LastName()) return *c.FirstName() + " " + *c.LastName();
                      return c.FirstName() ? c.FirstName() : c.LastName();
                  }),
        Text<Row>("Organization", LanguageKey::colOrganization, "", [](const Row& r) { return r.record->Organization(); }),
        Text<Row>("ContactNo1", LanguageKey::colPhone, "", [this](const Row& r) { return number1(*r.record); }),
        Text<Row>("EmailAddress1", LanguageKey::colEmail, "", [](const Row& r) { return r.record->EmailAddress1(); }),
        Text<Row>("ContactHomePages", LanguageKey::colhomePage, "", [](const Row& r) -> OptString {
            for (const auto& page : r.record->ContactHomePages())
                if (page && page->HomePageUrl()) return page->HomePageUrl();
            return std::nullopt;
        }),
    };
    addSegments(2);
    addTickAll();
    auto* detail = new QWidget(this);
    detail->setObjectName(QStringLiteral("contactDetail"));
    auto* form = new QVBoxLayout(detail);
    form->setContentsMargins(16, 8, 8, 8);
    const auto label = [&](QLabel*& field, const char* name) {
        field = new QLabel(detail);
        field->setObjectName(QString::fromLatin1(name));
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addWidget(field);
    };
    label(lblDeleted, "lblDeleted");
    lblDeleted->setStyleSheet(QStringLiteral("color: %1; font-weight: bold;").arg(DeletedMarks::text().name()));
    label(lblName, "lblName");
    lblName->setProperty("heading", true);
    label(lblOrganization, "lblOrganization");
    for (auto [field, name] : {std::pair{&lblContact1, "lblContact1"}, {&lblContact2, "lblContact2"},
                               {&lblContact3, "lblContact3"}, {&lblContact4, "lblContact4"},
                               {&lblContact5, "lblContact5"}, {&lblContact6, "lblContact6"},
                               {&lblEmail1, "lblEmail1"}, {&lblEmail2, "lblEmail2"}, {&lblEmail3, "lblEmail3"}})
        label(*field, name);
    form->addStretch();
    setDetail(detail, 300);
    setTable(&table_);
    // Waking: the deleted contacts, numbered, with segment 2.
    show(numbered(record_.DeletedContact.snapshot(), true, 1, false));
    setToolTip(QString());
    clearDetail();
    refreshIndexpath();
}

std::vector<ContactViewController::Row> ContactViewController::numbered(
    const std::vector<std::shared_ptr<Contact>>& list, bool deleted, std::int32_t first, bool normalised) {
    if (normalised)
        for (const auto& c : list)
            if (c) normalise(*c);
    return Numbered(list, deleted, first);
}

void ContactViewController::show(std::vector<Row> rows) {
    table_.rows = std::move(rows);
    reloadTable();
    const auto [deleted, existing] = ShownCounts(table_);
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsContact, deleted,
               record_.DeletedContact.size(), existing, record_.ContactContent.size());
}

void ContactViewController::toggleChanged() {
    segmentsShowAll();
}

void ContactViewController::toggleBack() {
    segmentsShowDeleted();
}

void ContactViewController::showSegment() {
    clearDetail();
    const auto deleted = record_.DeletedContact.snapshot();
    const auto existing = record_.ContactContent.snapshot();
    const auto d = static_cast<std::int32_t>(deleted.size());
    switch (segmentedControl->selectedSegment()) {
        case 0: show(Joined(numbered(deleted, true, 1, false), numbered(existing, false, d + 1, true))); break;
        case 1: show(numbered(existing, false, 1, true)); break;
        case 2: show(numbered(deleted, true, 1, false)); break;
        default: break;
    }
    host_.clearSearchField();
    refreshIndexpath();
}

bool ContactViewController::matchName(const std::string& text, const Contact& c, const OptString& number1) {
    return ScreenText::FieldHolds(c.FirstName(), text) || ScreenText::FieldHolds(c.LastName(), text) ||
           ScreenText::FieldHolds(c.Organization(), text) || ScreenText::FieldHolds(number1, text) ||
           ScreenText::FieldHolds(c.EmailAddress1(), text);
}

void ContactViewController::find(const QString& field) {
    const std::string text = Lower(field);
    const auto deleted = record_.DeletedContact.snapshot();
    const auto existing = record_.ContactContent.snapshot();
    const auto e = static_cast<std::int32_t>(existing.size());
    std::vector<Row> covered;
    switch (segmentedControl->selectedSegment()) {
        case 0: covered = Joined(numbered(existing, false, 1, true), numbered(deleted, true, e + 1, true)); break;
        case 1: covered = numbered(existing, false, 1, true); break;
        case 2: covered = numbered(deleted, true, 1, true); break;
        default: break;
    }
    if (!text.empty())
        std::erase_if(covered, [&](const Row& r) { return !matchName(text, *r.record, number1(*r.record)); });
    show(std::move(covered));
    refreshIndexpath();
}

void ContactViewController::checkAllClicked(bool on) {
    const auto deleted = record_.DeletedContact.snapshot();
    const auto existing = record_.ContactContent.snapshot();
    const int segment = segmentedControl->selectedSegment();
    if (segment == 0 || segment == 1) {
        SetTicks(existing, on);
        for (const auto& c : existing)
            if (c) normalise(*c);
    }
    if (segment == 0 || segment == 2) SetTicks(deleted, on);
    // The list shown then is those lists, numbered as they were.
    if (segment == 0) show(Joined(Numbered(existing, false, 0, false), Numbered(deleted, true, 0, false)));
    if (segment == 1) show(Numbered(existing, false, 0, false));
    if (segment == 2) show(Numbered(deleted, true, 0, false));
}

void ContactViewController::clearDetail() {
    for (QLabel* l : {lblDeleted, lblName, lblOrganization, lblContact1, lblContact2, lblContact3, lblContact4,
                      lblContact5, lblContact6, lblEmail1, lblEmail2, lblEmail3})
        l->setText(QString());
}

void ContactViewController::showDetailOf(std::size_t row) {
    clearDetail();
    if (row >= table_.rows.size()) return;
    const Contact& c = *table_.rows[row].record;
    if (table_.rows[row].deleted)
        lblDeleted->setText(ToQString(LanguageConfig::sharedObject().ScanReportDialogWindowTableHeaderDeleted().value_or("Deleted")));
    lblOrganization->setText(ToQString(c.Organization()));
    if (c.FirstName() && c.LastName())
        lblName->setText(ToQString(*c.FirstName() + " " + *c.LastName()));
    else if (c.FirstName())
        lblName->setText(ToQString(c.FirstName()));
    else if (c.LastName())
        lblName->setText(ToQString(c.LastName()));
    const OptString numbers[] = {number1(c), c.ContactNo2(), c.ContactNo3(), c.ContactNo4(), c.ContactNo5(), c.ContactNo6()};
    LanguageConfig& texts = LanguageConfig::sharedObject();
    const std::string numberLabels[] = {
        texts.ContactLabelHome().value_or("Home"),     texts.ContactLabelWork().value_or("Work"),
        texts.ContactLabeliPhone().value_or("iPhone"), texts.ContactLabelMobile().value_or("Mobile"),
        texts.ContactLabelMain().value_or("Main"),     texts.ContactLabelHomeFax().value_or("Home Fax")};
    // A contact carved from the search table knows its numbers but not what kind each is.
    const bool kindsKnown = !c.C15Phone().has_value();
    QLabel* numberFields[] = {lblContact1, lblContact2, lblContact3, lblContact4, lblContact5, lblContact6};
    // A field without a number (or address) shows nothing, not its kind alone.
    for (int i = 0; i < 6; ++i)
        if (numbers[i] && !numbers[i]->empty())
            numberFields[i]->setText(kindsKnown ? ToQString(numberLabels[i]) + QLatin1Char(' ') + ToQString(numbers[i])
                                                : ToQString(numbers[i]));
    const OptString mails[] = {c.EmailAddress1(), c.EmailAddress2(), c.EmailAddress3()};
    const std::string mailLabels[] = {texts.ContactLabelHomeEmail().value_or("Home Email"),
                                      texts.ContactLabelWorkEmail().value_or("Work Email"),
                                      texts.ContactLabelOther().value_or("Other")};
    QLabel* mailFields[] = {lblEmail1, lblEmail2, lblEmail3};
    for (int i = 0; i < 3; ++i)
        if (mails[i] && !mails[i]->empty()) mailFields[i]->setText(ToQString(mailLabels[i]) + QLatin1Char(' ') + ToQString(mails[i]));
}

// ---- CalendarViewController ----

CalendarViewController::CalendarViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("CalendarViewController"), parent, true) {
    table_.columnList = {
        SlNoColumn<Calendar>(),
        Text<Row>("Summary", LanguageKey::colTitle, "", [](const Row& r) { return r.record->Summary(); }),
        Text<Row>("Location", LanguageKey::colLocation, "", [](const Row& r) { return r.record->Location(); }),
        Text<Row>("StartDate", LanguageKey::colstart, "", [](const Row& r) { return r.record->StartDate(); }, ColumnKind::Date),
        Text<Row>("EndDate", LanguageKey::colEnd, "", [](const Row& r) { return r.record->EndDate(); }, ColumnKind::Date),
        Text<Row>("Description", LanguageKey::colNotes, "", [](const Row& r) { return r.record->Description(); }),
    };
    addTickAll();
    webView = new DetailPage(host_.openAddress, this);
    setDetail(webView);
    setTable(&table_);
    show(Numbered(record_.DeletedCalendar.snapshot(), true, 1));
    // From waking on a search covers both lists, though the table shows the deleted ones.
    showAllCalendar = true;
    refreshIndexpath();
}

void CalendarViewController::show(std::vector<Row> rows) {
    table_.rows = std::move(rows);
    reloadTable();
    const auto [deleted, existing] = ShownCounts(table_);
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsCalendar, deleted,
               record_.DeletedCalendar.size(), existing, record_.CalendarContent.size());
}

void CalendarViewController::toggleChanged() {
    clearDetail();
    showAllCalendar = true;
    const auto deleted = record_.DeletedCalendar.snapshot();
    show(Joined(Numbered(deleted, true, 1),
                Numbered(record_.CalendarContent.snapshot(), false, static_cast<std::int32_t>(deleted.size()) + 1)));
    host_.clearSearchField();
    refreshIndexpath();
}

void CalendarViewController::toggleBack() {
    clearDetail();
    showAllCalendar = false;
    show(Numbered(record_.DeletedCalendar.snapshot(), true, 1));
    host_.clearSearchField();
    refreshIndexpath();
}

bool CalendarViewController::matchName(const std::string& text, const Calendar& e) {
    return ScreenText::FieldHolds(e.Summary(), text) || ScreenText::FieldHolds(e.Location(), text) ||
           ScreenText::FieldHolds(e.Description(), text) || ScreenText::FieldHolds(e.StartDate(), text) ||
           ScreenText::FieldHolds(e.EndDate(), text);
}

void CalendarViewController::find(const QString& field) {
    const std::string text = Lower(field);
    const auto deleted = record_.DeletedCalendar.snapshot();
    std::vector<Row> covered = Numbered(deleted, true, 1);
    if (showAllCalendar)
        covered = Joined(std::move(covered), Numbered(record_.CalendarContent.snapshot(), false,
                                                      static_cast<std::int32_t>(deleted.size()) + 1));
    if (!text.empty()) std::erase_if(covered, [&](const Row& r) { return !matchName(text, *r.record); });
    show(std::move(covered));
    refreshIndexpath();
}

void CalendarViewController::checkAllClicked(bool on) {
    const auto existing = showAllCalendar ? record_.CalendarContent.snapshot() : decltype(record_.CalendarContent.snapshot()){};
    show(TickAll(existing, record_.DeletedCalendar.snapshot(), showAllCalendar, on));
}

void CalendarViewController::showDetailOf(std::size_t row) {
    if (row < table_.rows.size()) webView->loadHTMLString(ChatPages::CalendarPage(*table_.rows[row].record, table_.rows[row].deleted));
}

// ---- NoteViewController ----

NoteViewController::NoteViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("NoteViewController"), parent, true) {
    table_.columnList = {
        SlNoColumn<Note>(),
        Text<Row>("Title", LanguageKey::colTitle, "", [](const Row& r) { return r.record->Title(); }),
        Text<Row>("CreatedDate", LanguageKey::colDate, "", [](const Row& r) { return r.record->CreatedDate(); },
                  ColumnKind::Date),
        Text<Row>("SortTitle", LanguageKey::colNotes, "", [](const Row& r) -> OptString {
            // The short form of the note's text; its title has a column of its own.
            return ShortTitle(ChatPages::NoteText(*r.record));
        }),
    };
    addTickAll();
    webView = new DetailPage(host_.openAddress, this);
    setDetail(webView);
    setTable(&table_);
    show(Numbered(record_.DeletedNotes.snapshot(), true, 1));
    showAllNotes = true;
    refreshIndexpath();
}

void NoteViewController::show(std::vector<Row> rows) {
    table_.rows = std::move(rows);
    reloadTable();
    const auto [deleted, existing] = ShownCounts(table_);
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsNotes, deleted,
               record_.DeletedNotes.size(), existing, record_.NotesContent.size());
}

void NoteViewController::toggleChanged() {
    clearDetail();
    showAllNotes = true;
    const auto deleted = record_.DeletedNotes.snapshot();
    std::vector<Row> rows = Joined(Numbered(deleted, true, 1),
                                   Numbered(record_.NotesContent.snapshot(), false,
                                            static_cast<std::int32_t>(deleted.size()) + 1));
    // Each note gets its short title, in the record; one it has already stays.
    for (const Row& r : rows) r.record->setShortTitle();
    show(std::move(rows));
    host_.clearSearchField();
    refreshIndexpath();
}

void NoteViewController::toggleBack() {
    clearDetail();
    showAllNotes = false;
    show(Numbered(record_.DeletedNotes.snapshot(), true, 1));
    host_.clearSearchField();
    refreshIndexpath();
}

bool NoteViewController::matchName(const std::string& text, const Note& n) {
    return ScreenText::FieldHolds(n.Summary(), text) || ScreenText::FieldHolds(n.CreatedDate(), text) ||
           ScreenText::FieldHolds(n.Title(), text);
}

void NoteViewController::find(const QString& field) {
    const std::string text = Lower(field);
    // The search keeps the row numbers of the last filter change.
    std::vector<Row> covered = Numbered(record_.DeletedNotes.snapshot(), true, 0, false);
    if (showAllNotes)
        covered = Joined(std::move(covered), Numbered(record_.NotesContent.snapshot(), false, 0, false));
    if (!text.empty()) std::erase_if(covered, [&](const Row& r) { return !matchName(text, *r.record); });
    show(std::move(covered));
    refreshIndexpath();
}

void NoteViewController::checkAllClicked(bool on) {
    const auto existing = showAllNotes ? record_.NotesContent.snapshot() : decltype(record_.NotesContent.snapshot()){};
    show(TickAll(existing, record_.DeletedNotes.snapshot(), showAllNotes, on));
}

void NoteViewController::showDetailOf(std::size_t row) {
    if (row < table_.rows.size()) webView->loadHTMLString(ChatPages::NotePage(*table_.rows[row].record, table_.rows[row].deleted));
}

// ---- InternetHistoryViewController ----

InternetHistoryViewController::InternetHistoryViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("InternetHistoryViewController"), parent, true) {
    table_.columnList = {
        SlNoColumn<InternetHistory>(),
        Text<Row>("Title", LanguageKey::colTitle, "", [](const Row& r) { return r.record->Title(); }),
        Text<Row>("Url", LanguageKey::colURL, "", [](const Row& r) { return r.record->Url(); }),
        Text<Row>("LastVisitedDate", LanguageKey::colLASTVisit, "",
                  [](const Row& r) { return r.record->LastVisitedDate(); }, ColumnKind::Date),
        Number<Row>("VisitCount", "", [](const Row& r) { return r.record->VisitCount(); }),
    };
    table_.columnList.back().title = LanguageKey::colVisitedNo;
    addTickAll();
    setTable(&table_);
    m_table->setCursor(Qt::PointingHandCursor);
    // The address takes the spare width; the visit count keeps a number's width.
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setSectionResizeMode(model->columnCount() - 3, QHeaderView::Stretch);
    m_table->setColumnWidth(model->columnCount() - 1, 80);
    show(whole(), true);
    refreshIndexpath();
}

std::vector<InternetHistoryViewController::Row> InternetHistoryViewController::whole() {
    return Numbered(record_.InternetContent.snapshot(), false, 0, false);
}

void InternetHistoryViewController::show(std::vector<Row> rows, bool isWhole) {
    table_.rows = std::move(rows);
    showingWhole_ = isWhole;
    reloadTable();
    setCaption(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsSafari, 0, 0,
               table_.rows.size(), record_.InternetContent.size());
}

void InternetHistoryViewController::toggleChanged() {
    show(whole(), true);
    host_.clearSearchField();
    refreshIndexpath();
}

void InternetHistoryViewController::toggleBack() {
    show({}, false);
    host_.clearSearchField();
    refreshIndexpath();
}

bool InternetHistoryViewController::matchName(const std::string& text, const InternetHistory& page) {
    return ScreenText::FieldHolds(page.Title(), text) || ScreenText::FieldHolds(page.Url(), text);
}

void InternetHistoryViewController::find(const QString& field) {
    const std::string text = Lower(field);
    std::vector<Row> rows = whole();
    if (!text.empty()) std::erase_if(rows, [&](const Row& r) { return !matchName(text, *r.record); });
    show(std::move(rows), false);
    refreshIndexpath();
}

void InternetHistoryViewController::checkAllClicked(bool on) {
    SetTicks(record_.InternetContent.snapshot(), on);
    show(whole(), true);
}

void InternetHistoryViewController::headerClicked(std::size_t column) {
    // The history itself is put in order, so that the export writes it in that order; a search
    // result shown now keeps its order until the whole history is shown again.
    RowTable<Row> sorted;
    sorted.columnList = table_.columnList;
    sorted.rows = whole();
    const bool ascending = HeaderClickAscending(identifier, sorted.identifier(column));
    sorted.sortBy(column, ascending);
    record_.InternetContent.reorder(RecordsOf(sorted.rows));
    allowColumnReordering(false);
    if (showingWhole_) show(whole(), true);
    showSortIndicator(column, ascending);
}

bool InternetHistoryViewController::validateUrl(const std::string& text) {
    // The pattern "(http|https)://((\w)*|([0-9]*)|([-|_])*)+([\.|/]((\w)*|([0-9]*)|([-|_])*))+"
    // matched as a whole, decided without backtracking: after the scheme come only word
    // characters, "-", "_", "|", "." and "/", and at least one ".", "/" or "|".
    std::string_view rest;
    if (text.rfind("http://", 0) == 0)
        rest = std::string_view(text).substr(7);
    else if (text.rfind("https://", 0) == 0)
        rest = std::string_view(text).substr(8);
    else
        return false;
    const icu::UnicodeString units = icu::UnicodeString::fromUTF8(
        icu::StringPiece(rest.data(), static_cast<std::int32_t>(rest.size())));
    bool separator = false;
    for (std::int32_t i = 0; i < units.length();) {
        const UChar32 c = units.char32At(i);
        i += U16_LENGTH(c);
        if (c == '.' || c == '/' || c == '|') {
            separator = true;
            continue;
        }
        if (c == '-' || c == '_') continue;
        // ICU's \w: letters, marks, decimal digits, connector punctuation, the joiners.
        const bool word = u_hasBinaryProperty(c, UCHAR_ALPHABETIC) || (U_GET_GC_MASK(c) & U_GC_M_MASK) ||
                          u_charType(c) == U_DECIMAL_DIGIT_NUMBER ||
                          u_charType(c) == U_CONNECTOR_PUNCTUATION || c == 0x200C || c == 0x200D;
        if (!word) return false;
    }
    return separator;
}

void InternetHistoryViewController::cellClicked(std::size_t row, std::size_t column) {
    const OptString text = table_.cell(row, column);
    if (text && validateUrl(*text) && host_.openAddress) host_.openAddress(QString::fromStdString(*text));
}

// ---- MapHistoryViewController ----

MapHistoryViewController::MapHistoryViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("MapHistoryViewController"), parent, false) {
    table_.columnList = {
        SlNoColumn<MapHistory>(),
        Text<Row>("Query", std::nullopt, "Query", [](const Row& r) { return r.record->Query(); }),
        Text<Row>("Location", LanguageKey::colLocation, "", [](const Row& r) { return r.record->Location(); }),
        Text<Row>("Latitude", std::nullopt, "Latitude", [](const Row& r) { return r.record->Latitude(); }),
        Text<Row>("Longitude", std::nullopt, "Longitude", [](const Row& r) { return r.record->Longitude(); }),
    };
    setTable(&table_);
    table_.rows = Numbered(record_.MapContent.snapshot(), false, 0, false);
    reloadTable();
}

void MapHistoryViewController::headerClicked(std::size_t column) {
    // The searches themselves are put in order; the table shows them so.
    sortTable(table_, column, false);
    record_.MapContent.reorder(RecordsOf(table_.rows));
}

void MapHistoryViewController::find(const QString& field) {
    const std::string text = Lower(field);
    if (text.empty()) return;
    const auto hit = FindNext(table_.rows.size(), selectedRow(), [&](std::size_t i) {
        return ScreenText::FieldHolds(table_.rows[i].record->Query(), text);
    });
    if (!hit) {
        beep();
        return;
    }
    selectRow(*hit);
}

// ---- iMessageViewController ----

iMessageViewController::iMessageViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("iMessageViewController"), parent, false) {
    table_.columnList = {
        SlNoColumn<SMS>(),
        Text<Row>("Address", LanguageKey::colcontact, "", [](const Row& r) { return r.record->Address(); }),
        Text<Row>("Message", std::nullopt, "Message", [](const Row& r) { return r.record->Message(); }),
        Text<Row>("LocalTime", LanguageKey::colDate, "", [](const Row& r) { return r.record->LocalTime(); },
                  ColumnKind::Date),
        Text<Row>("Type", LanguageKey::colType, "", [](const Row& r) { return r.record->Type(); }),
    };
    addSegments(2);
    setTable(&table_);
    table_.rows = Numbered(record_.DeletediMessage.snapshot(), true, 1);
    reloadTable();
}

void iMessageViewController::toggleChanged() {
    segmentsShowAll();
}

void iMessageViewController::toggleBack() {
    segmentsShowDeleted();
}

void iMessageViewController::showSegment() {
    const auto deleted = record_.DeletediMessage.snapshot();
    const auto existing = record_.iMessageContent.snapshot();
    switch (segmentedControl->selectedSegment()) {
        case 0:
            table_.rows = Joined(Numbered(existing, false, 0, false),
                                 Numbered(deleted, true, static_cast<std::int32_t>(existing.size()) + 1));
            break;
        case 1: table_.rows = Numbered(existing, false, 0, false); break;
        case 2: table_.rows = Numbered(deleted, true, 1); break;
        default: break;
    }
    reloadTable();
}

bool iMessageViewController::matchName(const std::string& text, const SMS& message) {
    return ScreenText::FieldHolds(message.Message(), text) || ScreenText::FieldHolds(message.Address(), text);
}

void iMessageViewController::find(const QString& field) {
    const std::string text = Lower(field);
    if (text.empty()) return;
    const auto hit = FindNext(table_.rows.size(), selectedRow(),
                              [&](std::size_t i) { return matchName(text, *table_.rows[i].record); });
    if (!hit) {
        beep();
        return;
    }
    selectRow(*hit);
}

// ---- MusicViewController, KeyChainViewController ----

MusicViewController::MusicViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("MusicViewController"), parent, false) {
    table_.columnList = {
        SlNoColumn<Music>(),
        Text<Row>("FileName", LanguageKey::colName, "", [](const Row& r) { return r.record->FileName(); }),
        Text<Row>("FileID", std::nullopt, "File", [](const Row& r) { return r.record->FileID(); }),
    };
    setTable(&table_);
    table_.rows = Numbered(record_.Audios.snapshot(), false, 0, false);
    reloadTable();
}

KeyChainViewController::KeyChainViewController(ScreenHost host, QWidget* parent)
    : RecordListScreen(std::move(host), QStringLiteral("KeyChainViewController"), parent, false) {
    table_.columnList = {
        SlNoColumn<KeyChain>(),
        Text<Row>("acct", std::nullopt, "Account", [](const Row& r) { return r.record->acct(); }),
        Text<Row>("srvr", std::nullopt, "Server", [](const Row& r) { return r.record->srvr(); }),
        Text<Row>("ptcl", std::nullopt, "Protocol", [](const Row& r) { return r.record->ptcl(); }),
    };
    setTable(&table_);
    for (const auto& item : record_.listData.snapshot())
        if (item)
            if (const auto* entry = std::get_if<std::shared_ptr<KeyChain>>(item.get()); entry && *entry)
                table_.rows.push_back({*entry, false});
    reloadTable();
}

// ---- SkypeViewController ----

std::string SkypeViewController::DefaultDatabasePath() {
    return AppPaths::dataDirectory() + "/Skype/main.db";
}

SkypeViewController::SkypeViewController(ScreenHost host, QWidget* parent)
    : ResultsScreen(parent), host_(std::move(host)) {
    setObjectName(QStringLiteral("SkypeViewController"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    skypeNameOutlineView = new QTreeWidget(this);
    skypeNameOutlineView->setObjectName(QStringLiteral("skypeNameOutlineView"));
    skypeNameOutlineView->setHeaderLabels({ToQString(LanguageConfig::sharedObject().colName())});
    skypeNameOutlineView->setMaximumWidth(260);
    tblConversation = new QTableWidget(0, 2, this);
    tblConversation->setObjectName(QStringLiteral("tblConversation"));
    tblConversation->setHorizontalHeaderLabels(
        {ToQString(LanguageConfig::sharedObject().colName()), QStringLiteral("Message")});
    tblConversation->horizontalHeader()->setStretchLastSection(true);
    tblConversation->verticalHeader()->setVisible(false);
    tblConversation->setMaximumWidth(320);
    webView = new DetailPage(host_.openAddress, this);
    layout->addWidget(skypeNameOutlineView);
    layout->addWidget(tblConversation);
    layout->addWidget(webView, 1);
    skypeDatabase(DefaultDatabasePath());
}

bool SkypeViewController::skypeDatabase(const std::string& path) {
    // A connection of the screen's own: the shared database objects of the scan stay as they are.
    dataSource.reset();
    skypeNameOutlineView->clear();
    if (!FileUtils::fileExistsAtPath(path)) return false;
    auto connection = SqliteConnection::OpenReadOnly(path);
    if (!connection->isOpen()) return false;
    auto rows = connection->executeQuery(
        "SELECT id,fullname,skypename FROM Contacts WHERE fullname<>'' AND  isblocked is null ORDER BY fullname");
    // A file that is no Skype database (or none at all) answers no query: nothing is listed.
    if (!rows) return false;
    std::vector<std::shared_ptr<Skype>> contacts;
    while (rows.next()) {
        auto contact = std::make_shared<Skype>();
        contact->setDisplayName(rows.stringForColumn("fullname"));
        contact->setSkypeID(rows.intForColumn("id"));
        contact->setSkypeName(rows.stringForColumn("skypename"));
        contacts.push_back(std::move(contact));
    }
    for (const auto& contact : contacts)
        new QTreeWidgetItem(skypeNameOutlineView, {ToQString(contact->displayName())});
    dataSource = std::move(contacts);
    return true;
}

void SkypeViewController::conversation() {
    webView->loadHTMLString(ChatPages::SkypeConversation(_tableViewContents, kOwnAccount));
}
