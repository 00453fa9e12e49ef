#include "ui/ScreenFramework.h"

#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "ui/DeletedMarks.h"
#include "ui/TitleAdapters.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTextCursor>
#include <QVBoxLayout>

using TitleAdapters::ToQString;

// ---- RecordTableModel ----

void RecordTableModel::setRows(TableRows* rows) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

void RecordTableModel::reset() {
    beginResetModel();
    endResetModel();
}

void RecordTableModel::ticksChanged() {
    if (!rows_ || rows_->size() == 0 || tickColumn() < 0) return;
    emit dataChanged(index(0, 0), index(static_cast<int>(rows_->size()) - 1, 0), {Qt::CheckStateRole});
}

std::optional<std::size_t> RecordTableModel::dataColumn(int section) const {
    if (!rows_ || section < 0) return std::nullopt;
    const int first = rows_->hasTicks() ? 1 : 0;
    if (section < first) return std::nullopt;
    const auto column = static_cast<std::size_t>(section - first);
    if (column >= rows_->columns()) return std::nullopt;
    return column;
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !rows_ ? 0 : static_cast<int>(rows_->size());
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || !rows_) return 0;
    return static_cast<int>(rows_->columns()) + (rows_->hasTicks() ? 1 : 0);
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
    if (!rows_ || !index.isValid() || static_cast<std::size_t>(index.row()) >= rows_->size())
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (index.column() == tickColumn()) {
        if (role == Qt::CheckStateRole) return rows_->ticked(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    const auto column = dataColumn(index.column());
    if (!column) return {};
    switch (role) {
        case Qt::DisplayRole: {
            const OptString text = rows_->cell(row, *column);
            if (!text) return QString();
            // One line per row: a text with line breaks shows them as blanks.
            QString shown = QString::fromStdString(*text);
            shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
            return shown;
        }
        case Qt::ToolTipRole: {
            const OptString text = rows_->cell(row, *column);
            return text && text->size() > 40 ? QString::fromStdString(*text) : QVariant();
        }
        case Qt::ForegroundRole:
            if (rows_->deleted(row)) return DeletedMarks::text();
            return {};
        case Qt::TextAlignmentRole:
            if (rows_->numeric(*column)) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default:
            return {};
    }
}

bool RecordTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!rows_ || role != Qt::CheckStateRole || index.column() != tickColumn()) return false;
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= rows_->size()) return false;
    rows_->setTicked(row, value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit rowTicked(index.row());
    return true;
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == tickColumn()) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || !rows_) return {};
    const auto column = dataColumn(section);
    if (!column) return QString();
    return QString::fromStdString(rows_->header(*column));
}

// ---- SegmentedControl ----

SegmentedControl::SegmentedControl(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("segmentedControl"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i < 3; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("segment%1").arg(i));
        button->setCheckable(true);
        button->setProperty("segment", true);
        button->setFocusPolicy(Qt::StrongFocus);
        // The chosen segment is grey whether or not it has the focus: the focus ring only
        // changes the frame.
        button->setStyleSheet(QStringLiteral(
            "QToolButton { background: #ffffff; color: #1f2a36; border: 1px solid #b8c4cf; padding: 3px 8px; }"
            "QToolButton:hover { background: #eef2f5; }"
            "QToolButton:checked { background: #d3d8de; }"
            "QToolButton:focus { border: 2px solid #2ba0e1; padding: 2px 7px; }"));
        group_->addButton(button, i);
        row->addWidget(button);
        buttons_[static_cast<std::size_t>(i)] = button;
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { emit segmentChosen(id); });
    retitle();
}

void SegmentedControl::retitle() {
    LanguageConfig& texts = LanguageConfig::sharedObject();
    const QString existing = ToQString(texts.ScanReportDialogWindowTableHeaderExisting());
    const QString deleted = ToQString(texts.ScanReportDialogWindowTableHeaderDeleted());
    buttons_[0]->setText(existing + QStringLiteral(" + ") + deleted);
    buttons_[1]->setText(existing);
    buttons_[2]->setText(deleted);
}

int SegmentedControl::selectedSegment() const {
    return group_->checkedId();
}

void SegmentedControl::setSelectedSegment(int segment) {
    if (segment >= 0 && segment < 3) buttons_[static_cast<std::size_t>(segment)]->setChecked(true);
}

// ---- ListScreen ----

ListScreen::ListScreen(ScreenHost host, const QString& objectName, QWidget* parent)
    : ResultsScreen(parent), host_(std::move(host)), record_(*host_.record) {
    setObjectName(objectName);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 6);
    layout->setSpacing(6);
    tools_ = new QWidget(this);
    auto* tools = new QHBoxLayout(tools_);
    tools->setContentsMargins(0, 0, 0, 0);
    caption = new QLabel(tools_);
    caption->setObjectName(QStringLiteral("screenCaption"));
    caption->setProperty("dim", true);
    // A counter longer than the room beside the filter (a long language, large counts) takes a
    // second line rather than being cut.
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    caption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tools->addWidget(caption, 1);
    layout->addWidget(tools_);

    splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    m_table = new QTableView(splitter);
    m_table->setObjectName(QStringLiteral("m_table"));
    model = new RecordTableModel(m_table);
    m_table->setModel(model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setVisible(false);
    // Fixed row heights: a long list lays out without measuring every row.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(24);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setDefaultSectionSize(150);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->horizontalHeader()->setHighlightSections(false);
    splitter->addWidget(m_table);
    layout->addWidget(splitter, 1);

    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { selectionChanged(); });
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (const auto column = model->dataColumn(section)) headerClicked(*column);
    });
    connect(model, &RecordTableModel::rowTicked, this, [this](int row) {
        if (checkAll) checkAll->setChecked(false);
        rowTicked(static_cast<std::size_t>(row));
    });
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (const auto column = model->dataColumn(index.column()))
            cellClicked(static_cast<std::size_t>(index.row()), *column);
    });
}

void ListScreen::addSegments(int selected) {
    segmentedControl = new SegmentedControl(tools_);
    segmentedControl->setSelectedSegment(selected);
    static_cast<QHBoxLayout*>(tools_->layout())->insertWidget(0, segmentedControl);
    // Tab reaches the filter before the list.
    QWidget::setTabOrder(segmentedControl->segment(2), m_table);
    connect(segmentedControl, &SegmentedControl::segmentChosen, this, [this](int segment) {
        if (host_.filterChosen) host_.filterChosen(segment == 2);
        showSegment();
    });
}

void ListScreen::segmentsShowAll() {
    if (segmentedControl->selectedSegment() == 2) segmentedControl->setSelectedSegment(0);
    showSegment();
}

void ListScreen::segmentsShowDeleted() {
    segmentedControl->setSelectedSegment(2);
    showSegment();
}

void ListScreen::addTickAll(bool withText) {
    checkAll = new QCheckBox(tools_);
    checkAll->setObjectName(QStringLiteral("checkAll"));
    if (withText) checkAll->setText(ToQString(LanguageConfig::sharedObject().CommonSelect()));
    auto* tools = static_cast<QHBoxLayout*>(tools_->layout());
    tools->insertWidget(segmentedControl ? 1 : 0, checkAll);
    tools->insertSpacing(segmentedControl ? 1 : 0, segmentedControl ? 12 : 0);
    QWidget::setTabOrder(checkAll, m_table);
    connect(checkAll, &QCheckBox::clicked, this, [this](bool on) { checkAllClicked(on); });
}

void ListScreen::setDetail(QWidget* detail, int width) {
    splitter->addWidget(detail);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({600, width});
}

std::optional<std::size_t> ListScreen::selectedRow() const {
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return static_cast<std::size_t>(rows.front().row());
}

void ListScreen::selectRow(std::size_t row) {
    if (row >= static_cast<std::size_t>(model->rowCount())) return;
    selecting_ = true;
    m_table->selectionModel()->clearSelection();
    const QModelIndex index = model->index(static_cast<int>(row), 0);
    m_table->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_table->scrollTo(index);
    selecting_ = false;
    showDetailOf(row);
}

void ListScreen::refreshIndexpath() {
    if (model->rowCount() > 0) {
        selectRowIndexPath = 0;
        selectRow(0);
    } else {
        selectRowIndexPath.reset();
        clearDetail();
    }
}

void ListScreen::selectionChanged() {
    if (selecting_) return;
    if (const auto row = selectedRow())
        showDetailOf(*row);
    else
        clearDetail();
}

void ListScreen::setCaption(std::optional<LanguageKey> format, std::size_t shownDeleted,
                            std::size_t deleted, std::size_t shownExisting, std::size_t existing) {
    if (!format) {
        caption->clear();
        return;
    }
    const OptString text = LanguageConfig::sharedObject().text(*format);
    caption->setText(QString::fromStdString(FillPlaceholders(
        text.value_or(""), {std::to_string(shownDeleted), std::to_string(deleted),
                            std::to_string(shownExisting), std::to_string(existing)})));
}

void ListScreen::beep() {
    beeped_ = true;
    QApplication::beep();
}

void ListScreen::clickHeader(const std::string& id) {
    const int first = model->tickColumn() == 0 ? 1 : 0;
    if (!model->rows()) return;
    for (std::size_t c = 0; c < model->rows()->columns(); ++c)
        if (model->rows()->identifier(c) == id) {
            emit m_table->horizontalHeader()->sectionClicked(static_cast<int>(c) + first);
            return;
        }
}

void ListScreen::showSortIndicator(std::size_t column, bool ascending) {
    const int first = model->tickColumn() == 0 ? 1 : 0;
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(static_cast<int>(column) + first,
                                                  ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ListScreen::allowColumnReordering(bool allow) {
    m_table->horizontalHeader()->setSectionsMovable(allow);
}

void ListScreen::setTableOf(QTableView* table, RecordTableModel* tableModel, TableRows* rows) {
    tableModel->setRows(rows);
    QHeaderView* header = table->horizontalHeader();
    int section = 0;
    if (tableModel->tickColumn() == 0) {
        header->setSectionResizeMode(0, QHeaderView::Fixed);
        header->resizeSection(0, 30);
        ++section;
    }
    for (std::size_t column = 0; rows && column < rows->columns(); ++column, ++section)
        header->resizeSection(section, rows->numeric(column) ? 64 : 170);
}

// ---- DetailPage ----

DetailPage::DetailPage(std::function<void(const QString&)> openAddress, QWidget* parent)
    : QTextBrowser(parent) {
    setObjectName(QStringLiteral("webView"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    connect(this, &QTextBrowser::anchorClicked, this, [open = std::move(openAddress)](const QUrl& url) {
        if (open) open(url.toString());
    });
}

void DetailPage::loadHTMLString(const std::string& html) {
    page_ = html;
    setHtml(QString::fromStdString(html));
}

ChatView::ChatView(std::function<void(const QString&)> openAddress, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chatView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 0);
    olderButton = new QPushButton(this);
    olderButton->setObjectName(QStringLiteral("olderMessages"));
    newerButton = new QPushButton(this);
    newerButton->setObjectName(QStringLiteral("newerMessages"));
    bar->addWidget(olderButton);
    bar->addStretch();
    bar->addWidget(newerButton);
    layout->addLayout(bar);
    page = new DetailPage(std::move(openAddress), this);
    layout->addWidget(page, 1);
    connect(olderButton, &QPushButton::clicked, this, [this] { older(); });
    connect(newerButton, &QPushButton::clicked, this, [this] { newer(); });
    olderButton->hide();
    newerButton->hide();
}

std::pair<std::size_t, std::size_t> ChatView::shownRange() const {
    const std::size_t size = std::max<std::size_t>(blockSize, 1);
    const std::size_t newest = block_ * size;
    if (newest >= count_) return {0, 0};
    const std::size_t end = count_ - newest;
    return {end > size ? end - size : 0, end};
}

void ChatView::show(std::size_t count, PageOf page) {
    count_ = count;
    block_ = 0;
    pageOf_ = std::move(page);
    draw(false);
}

void ChatView::older() {
    if (shownRange().first == 0) return;
    ++block_;
    // The page goes on where the newer block began: its end is next to it.
    draw(true);
}

void ChatView::newer() {
    if (block_ == 0) return;
    --block_;
    draw(false);
}

void ChatView::draw(bool atEnd) {
    const auto [begin, end] = shownRange();
    page->loadHTMLString(count_ && pageOf_ ? pageOf_(begin, end) : std::string());
    LanguageConfig& texts = LanguageConfig::sharedObject();
    olderButton->setText(QString::fromStdString(FillPlaceholders(
        texts.ChatPageOlderMessages().value_or("Show older messages ({0} more)"), {std::to_string(begin)})));
    newerButton->setText(QString::fromStdString(FillPlaceholders(
        texts.ChatPageNewerMessages().value_or("Show newer messages ({0} more)"), {std::to_string(count_ - end)})));
    olderButton->setVisible(begin > 0);
    newerButton->setVisible(end < count_);
    if (atEnd) page->moveCursor(QTextCursor::End);
}
