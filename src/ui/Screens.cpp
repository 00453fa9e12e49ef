#include "ui/Screens.h"

#include "config/LanguageConfig.h"
#include "records/Account.h"
#include "records/Application.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/DynamicDictionary.h"
#include "ui/TitleAdapters.h"

#include <QApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

using TitleAdapters::ToQString;

// ---- DeviceViewController ----

DeviceViewController::DeviceViewController(BrimleyAppDelegate& record, QWidget* parent)
    : ResultsScreen(parent), record_(record) {
    setObjectName(QStringLiteral("deviceView"));
    auto* form = new QFormLayout(this);
    form->setContentsMargins(40, 30, 40, 30);
    form->setVerticalSpacing(12);
    const auto add = [&](QLabel*& field, const char* name, const QString& title) {
        field = new QLabel(this);
        field->setObjectName(QString::fromLatin1(name));
        field->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(title, field);
    };
    LanguageConfig& texts = LanguageConfig::sharedObject();
    add(txtDeviceName, "txtDeviceName", ToQString(texts.colName()));
    add(txtSerialNumber, "txtSerialNumber", ToQString(texts.colSerialnumber()));
    add(txtProductType, "txtProductType", ToQString(texts.colType()));
    add(txtUDID, "txtUDID", QStringLiteral("UDID"));
    add(txtOS, "txtOS", QStringLiteral("iOS"));
    add(txtFirmware, "txtFirmware", QStringLiteral("Firmware"));
    add(txtIMSI, "txtIMSI", QStringLiteral("IMSI"));
    add(txtIMEI, "txtIMEI", QStringLiteral("IMEI"));
    add(txtICICD, "txtICICD", QStringLiteral("ICCID"));
}

void DeviceViewController::update() {
    for (QLabel* label : {txtDeviceName, txtSerialNumber, txtProductType, txtUDID, txtOS,
                          txtFirmware, txtIMSI, txtIMEI, txtICICD})
        label->setText(QString());
    const auto info = record_.deviceInfo.get();
    if (!info) return;
    txtDeviceName->setText(ToQString(info->DeviceName()));
    txtSerialNumber->setText(ToQString(info->SerialNumber()));
    txtProductType->setText(ToQString(info->ProductType()));
    txtUDID->setText(ToQString(info->UniqueDeviceID()));
    txtOS->setText(ToQString(info->ProductVersion()));
    if (info->FirmwareVersion()) txtFirmware->setText(ToQString(info->FirmwareVersion()));
    if (info->IMSI()) txtIMSI->setText(ToQString(info->IMSI()));
    if (info->IMEI()) txtIMEI->setText(ToQString(info->IMEI()));
    if (info->ICICD()) txtICICD->setText(ToQString(info->ICICD()));
}

// ---- HomeViewController ----

namespace {

struct SummaryRow {
    TabTag tab;
    LanguageKey caption;
    const std::atomic<std::int32_t>* (*existing)(const BrimleyAppDelegate&);
    const std::atomic<std::int32_t>* (*deleted)(const BrimleyAppDelegate&);
};

const SummaryRow kSummaryRows[] = {
    {TabTag::TabTagSMS, LanguageKey::CommonMessages,
     [](const BrimleyAppDelegate& r) { return &r.SMSCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedSMSCount; }},
    {TabTag::TabTagContacts, LanguageKey::CommonContacts,
     [](const BrimleyAppDelegate& r) { return &r.ContactCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedContactCount; }},
    {TabTag::TabTagCalls, LanguageKey::CommonCalls,
     [](const BrimleyAppDelegate& r) { return &r.CallLogCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedCallLogCount; }},
    {TabTag::TabTagCalendar, LanguageKey::CommonCalendar,
     [](const BrimleyAppDelegate& r) { return &r.CalendarCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedCalendarCount; }},
    {TabTag::TabTagNotes, LanguageKey::CommonNotes,
     [](const BrimleyAppDelegate& r) { return &r.NoteCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedNoteCount; }},
    {TabTag::TabTagInternet, LanguageKey::CommonSafari,
     [](const BrimleyAppDelegate& r) { return &r.InternetCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedInternetCount; }},
    {TabTag::TabTagPhotos, LanguageKey::CommonPhotos,
     [](const BrimleyAppDelegate& r) { return &r.PhotosCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedPhotosCount; }},
    {TabTag::TabTagVideos, LanguageKey::CommonVideos,
     [](const BrimleyAppDelegate& r) { return &r.VideosCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedVideosCount; }},
    {TabTag::TabTagWhatsApp, LanguageKey::CommonWhatsApp,
     [](const BrimleyAppDelegate& r) { return &r.WhatsAppCount; },
     [](const BrimleyAppDelegate& r) { return &r.DeletedWhatsAppCount; }},
};

}  // namespace

HomeViewController::HomeViewController(BrimleyAppDelegate& record, std::function<void(TabTag)> open,
                                       QWidget* parent)
    : ResultsScreen(parent), record_(record), open_(std::move(open)) {
    setObjectName(QStringLiteral("homeViewController"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(40, 24, 40, 24);
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(8);
    LanguageConfig& texts = LanguageConfig::sharedObject();
    txtRetrieved = new QLabel(ToQString(texts.ScanReportDialogWindowTableHeaderExisting()), this);
    txtRecovered = new QLabel(ToQString(texts.ScanReportDialogWindowTableHeaderDeleted()), this);
    auto* found = new QLabel(ToQString(texts.ScanReportDialogWindowTableHeaderDataFound()), this);
    for (QLabel* header : {found, txtRetrieved, txtRecovered}) header->setObjectName("summaryHeader");
    grid->addWidget(found, 0, 0);
    grid->addWidget(txtRetrieved, 0, 1, Qt::AlignRight);
    grid->addWidget(txtRecovered, 0, 2, Qt::AlignRight);
    int row = 1;
    for (const SummaryRow& summary : kSummaryRows) {
        auto* button = new QPushButton(ToQString(texts.text(summary.caption)), this);
        button->setObjectName(QStringLiteral("summaryOpen%1").arg(ToCode(summary.tab)));
        button->setProperty("flat", true);
        const TabTag tab = summary.tab;
        connect(button, &QPushButton::clicked, this, [this, tab] { open_(tab); });
        auto* existing = new QLabel(this);
        auto* deleted = new QLabel(this);
        grid->addWidget(button, row, 0);
        grid->addWidget(existing, row, 1, Qt::AlignRight);
        grid->addWidget(deleted, row, 2, Qt::AlignRight);
        counts_.push_back({tab, {existing, deleted}});
        ++row;
    }
    txtTotalRetrieved = new QLabel(this);
    txtTotalRecovered = new QLabel(this);
    grid->addWidget(txtTotalRetrieved, row, 1, Qt::AlignRight);
    grid->addWidget(txtTotalRecovered, row, 2, Qt::AlignRight);
    grid->setRowStretch(row + 1, 1);
    grid->setColumnStretch(3, 1);
}

void HomeViewController::Display() {
    long long totalExisting = 0;
    long long totalDeleted = 0;
    std::size_t i = 0;
    for (const SummaryRow& summary : kSummaryRows) {
        const std::int32_t existing = summary.existing(record_)->load();
        const std::int32_t deleted = summary.deleted(record_)->load();
        totalExisting += existing;
        totalDeleted += deleted;
        counts_[i].second[0]->setText(QString::number(existing));
        counts_[i].second[1]->setText(QString::number(deleted));
        ++i;
    }
    txtTotalRetrieved->setText(QStringLiteral("<b>%1</b>").arg(totalExisting));
    txtTotalRecovered->setText(QStringLiteral("<b>%1</b>").arg(totalDeleted));
}

QString HomeViewController::countText(TabTag tab) const {
    for (const auto& [t, labels] : counts_)
        if (t == tab) return labels[0]->text() + QStringLiteral(" / ") + labels[1]->text();
    return QString();
}

// ---- RecordTableScreen ----

RecordTableScreen::RecordTableScreen(std::vector<QString> columnKeys,
                                     std::function<std::vector<Row>()> rows, QWidget* parent, Reorder reorder)
    : ResultsScreen(parent), source_(std::move(rows)), reorder_(std::move(reorder)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    m_table = new QTableWidget(0, static_cast<int>(columnKeys.size()), this);
    m_table->setObjectName(QStringLiteral("m_table"));
    m_table->setHorizontalHeaderLabels(QStringList(columnKeys.begin(), columnKeys.end()));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setVisible(false);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { sortByColumn(column); });
    layout->addWidget(m_table);
    reload();
}

void RecordTableScreen::reload() {
    rows_ = source_ ? source_() : std::vector<Row>{};
    fill();
}

void RecordTableScreen::fill() {
    m_table->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
        for (int c = 0; c < m_table->columnCount(); ++c)
            m_table->setItem(r, c,
                             new QTableWidgetItem(c < static_cast<int>(rows_[r].cells.size())
                                                      ? rows_[r].cells[c]
                                                      : QString()));
}

namespace {

// Cells that both hold whole numbers compare by value ("9" before "10"), others as text.
bool CellLess(const QString& x, const QString& y) {
    bool xNumber = false;
    bool yNumber = false;
    const qlonglong a = x.toLongLong(&xNumber);
    const qlonglong b = y.toLongLong(&yNumber);
    if (xNumber && yNumber) return a < b;
    return x < y;
}

}  // namespace

void RecordTableScreen::sortByColumn(int column) {
    const bool descending = column == identifier_;
    std::stable_sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
        const QString x = column < static_cast<int>(a.cells.size()) ? a.cells[column] : QString();
        const QString y = column < static_cast<int>(b.cells.size()) ? b.cells[column] : QString();
        return descending ? CellLess(y, x) : CellLess(x, y);
    });
    identifier_ = column;
    if (reorder_) {
        std::vector<std::shared_ptr<void>> order;
        order.reserve(rows_.size());
        for (const Row& row : rows_) order.push_back(row.record);
        reorder_(order);
    }
    fill();
}

void RecordTableScreen::find(const QString& text) {
    beeped_ = false;
    const QString needle = text.toLower();
    if (needle.isEmpty()) return;
    const int count = static_cast<int>(rows_.size());
    const int current = m_table->currentRow();
    const auto matches = [&](int i) { return matchName(needle, rows_[i]); };
    int found = -1;
    if (current < 0) {
        for (int i = 0; i < count && found < 0; ++i)
            if (matches(i)) found = i;
    } else {
        for (int i = current + 1; i < count && found < 0; ++i)
            if (matches(i)) found = i;
        for (int i = 0; i <= current && i < count && found < 0; ++i)
            if (matches(i)) found = i;
    }
    if (found < 0) {
        beeped_ = true;
        QApplication::beep();
        return;
    }
    m_table->clearSelection();
    m_table->setCurrentCell(found, 0);
    m_table->selectRow(found);
    m_table->scrollToItem(m_table->item(found, 0));
}

bool RecordTableScreen::matchName(const QString& text, const Row& record) {
    return !record.searched.isEmpty() && record.searched.toLower().contains(text.toLower());
}

namespace {

QString Text(const OptString& text) {
    return ToQString(text);
}

QString NameHeader() {
    return ToQString(LanguageConfig::sharedObject().colName());
}

// A table of the list's records: their row number and one named field, which find searches.
template <class T>
RecordTableScreen* ListTable(SharedList<T>& list, const OptString& (T::*field)() const, const char* name,
                             QWidget* parent) {
    auto* screen = new RecordTableScreen(
        {QStringLiteral("#"), NameHeader()},
        [&list, field] {
            std::vector<RecordTableScreen::Row> rows;
            for (const auto& entry : list.snapshot())
                if (entry)
                    rows.push_back({{QString::number(entry->SlNo()), Text(((*entry).*field)())},
                                    Text(((*entry).*field)()), entry});
            return rows;
        },
        parent,
        [&list](const std::vector<std::shared_ptr<void>>& records) {
            std::vector<std::shared_ptr<T>> order;
            order.reserve(records.size());
            for (const auto& entry : records) order.push_back(std::static_pointer_cast<T>(entry));
            list.reorder(order);
        });
    screen->setObjectName(QString::fromLatin1(name));
    return screen;
}

}  // namespace

RecordTableScreen* ApplicationViewController(BrimleyAppDelegate& record, QWidget* parent) {
    return ListTable(record.ApplicationContent, &Application::ApplicationName, "applicationView", parent);
}

RecordTableScreen* AccountViewController(BrimleyAppDelegate& record, QWidget* parent) {
    return ListTable(record.AccountContent, &Account::Username, "accountView", parent);
}

RecordTableScreen* UserDataViewController(BrimleyAppDelegate& record, QWidget* parent) {
    return ListTable(record.UserDictContent, &DynamicDictionary::UserKey, "userDataView", parent);
}
