#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/ApplicationCore.h"
#include "app/ScanWorker.h"
#include "app/WorkingFolder.h"
#include "config/LanguageConfig.h"
#include "demo-backup/DemoBackup.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/OwnWidgets.h"
#include "ui/PhotoBrowser.h"
#include "ui/ScreenText.h"
#include "ui/SendToDevice.h"
#include "ui/TransferWindows.h"
#include "ui/UiTabs.h"
#include "ui/ScreenFramework.h"
#include "ui/Screens.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QToolButton>
#include <QTest>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

QString Text(const OptString& text) {
    return QString::fromStdString(text.value_or(""));
}

// How many files lie in the folder and below it (0 when it is gone).
int FilesBelow(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) return 0;
    int files = 0;
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        files += it->is_regular_file();
    return files;
}

// The room a push button leaves its text, at rest or with the keyboard focus (its frame may
// change with the focus).
int ButtonRoom(QPushButton* button, bool focused) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    option.state.setFlag(QStyle::State_HasFocus, focused);
    int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    if (!button->icon().isNull()) room -= button->iconSize().width() + 4;
    return room;
}

// The room a combo box leaves its current item, at rest or with the keyboard focus.
int ComboRoom(QComboBox* combo, bool focused) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.state.setFlag(QStyle::State_HasFocus, focused);
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
}

// The part of a widget that shows: its rectangle, clipped by each of its parents up to the
// window (or up to the view of a scrolled area, whose contents scroll rather than being cut).
QRect ShownRect(QWidget* widget) {
    QRect shown = widget->rect();
    for (QWidget* w = widget; w->parentWidget() && !w->isWindow(); w = w->parentWidget()) {
        QWidget* parent = w->parentWidget();
        if (qobject_cast<QAbstractScrollArea*>(parent->parentWidget())) break;
        shown = shown.translated(w->pos()).intersected(parent->rect());
    }
    return shown;
}

// The texts of the visible controls under root that do not fit their control: buttons and
// one-line labels narrower than their text needs (a button also when it has the focus),
// wrapped labels lower than their lines need, combo boxes narrower than their current item;
// and buttons and labels that their window or a parent cuts off.
QStringList CutTexts(QWidget* root) {
    QStringList cut;
    const auto visible = [root](QWidget* w) { return w->isVisibleTo(root) && w->width() > 0; };
    const auto note = [&cut](const QString& name, const QString& text, int room, int needed) {
        cut << QStringLiteral("%1 \"%2\" %3 < %4").arg(name, text).arg(room).arg(needed);
    };
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        auto* label = qobject_cast<QLabel*>(widget);
        auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString text = label ? label->text() : button ? button->text() : QString();
        if (text.trimmed().isEmpty() || !visible(widget)) continue;
        const QRect shown = ShownRect(widget);
        if (shown.size() != widget->size())
            note(widget->objectName() + QStringLiteral(" (cut off)"), text.trimmed(), shown.width(), widget->width());
    }
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!visible(button) || button->text().trimmed().isEmpty()) continue;
        if (button->width() < button->sizeHint().width())
            note(button->objectName(), button->text().trimmed(), button->width(), button->sizeHint().width());
        auto* push = qobject_cast<QPushButton*>(button);
        if (!push) continue;
        const int needed = push->fontMetrics().horizontalAdvance(push->text());
        for (const bool focused : {false, true}) {
            if (focused && push->focusPolicy() == Qt::NoFocus) continue;
            const int room = ButtonRoom(push, focused);
            if (room < needed)
                note(push->objectName() + (focused ? QStringLiteral(" (focused)") : QString()), push->text().trimmed(),
                     room, needed);
        }
    }
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!visible(label) || label->text().isEmpty() || label->textFormat() == Qt::RichText) continue;
        if (label->wordWrap()) {
            const int needed = label->heightForWidth(label->width());
            if (label->height() < needed) note(label->objectName(), label->text(), label->height(), needed);
            continue;
        }
        const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->margin();
        if (label->contentsRect().width() < needed)
            note(label->objectName(), label->text(), label->contentsRect().width(), needed);
    }
    for (QComboBox* combo : root->findChildren<QComboBox*>()) {
        if (!visible(combo)) continue;
        const int field = std::min(ComboRoom(combo, false), ComboRoom(combo, combo->focusPolicy() != Qt::NoFocus));
        for (int i = 0; i < combo->count(); ++i) {
            const int needed = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            // The open list shows every item whole; the closed box its current one.
            const int room = std::max(combo->width(), combo->view()->minimumWidth());
            if ((i == combo->currentIndex() && field < needed) || room < needed)
                note(combo->objectName(), combo->itemText(i), i == combo->currentIndex() ? field : room, needed);
        }
    }
    return cut;
}

// The texts of a table that do not fit: header captions and cells narrower than their text,
// and a horizontal scroll bar (every column is meant to show).
QStringList CutTableTexts(QTableWidget* table) {
    QStringList cut;
    const QHeaderView* header = table->horizontalHeader();
    if (table->horizontalScrollBar()->isVisible()) cut << table->objectName() + QStringLiteral(" scrolls sideways");
    const int headerMargin = 2 * table->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int cellMargin = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
    for (int column = 0; column < table->columnCount(); ++column) {
        if (header->isSectionHidden(column)) continue;
        const int width = header->sectionSize(column);
        if (const QTableWidgetItem* caption = table->horizontalHeaderItem(column);
            caption && width < header->fontMetrics().horizontalAdvance(caption->text()) + headerMargin)
            cut << QStringLiteral("%1 header \"%2\" %3").arg(table->objectName(), caption->text()).arg(width);
        for (int row = 0; row < table->rowCount(); ++row)
            if (const QTableWidgetItem* cell = table->item(row, column);
                cell && width < table->fontMetrics().horizontalAdvance(cell->text()) + cellMargin)
                cut << QStringLiteral("%1 cell \"%2\" %3").arg(table->objectName(), cell->text()).arg(width);
    }
    return cut;
}

}  // namespace

// The window as a desktop program: its frame, the keyboard, its texts at its smallest size,
// its dialogs, and what it leaves behind when it ends.
class DesktopWindowTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QTemporaryDir dir;
    demo::DemoBackupContents contents;
    std::vector<int> ended;

    MainMenu& w() { return f.application->window(); }

    void startApplication() {
        f.application.reset();
        f.start();
    }

    // Chooses the demo backup and starts a scan of every type.
    void startScan() { f.startScan(contents.folder.string(), DataType::DataTypeAll); }
    void scan() {
        QVERIFY(f.scan(contents.folder.string(), DataType::DataTypeAll));
        w().dashboard()->close();
    }

private slots:
    void initTestCase() {
        demo::DemoBackupOptions options;
        options.messages = 20;
        options.contacts = 8;
        options.calls = 10;
        options.notes = 4;
        options.events = 4;
        options.whatsAppMessages = 10;
        options.visits = 6;
        options.photos = 6;
        contents = demo::WriteDemoBackup(fs::path(dir.path().toStdString()) / "backup", options);
        f.start();
    }

    // The frameless window maximises from its button and from a double click on its title
    // bar, and comes back to its size the same ways.
    void maximiseButtonAndDoubleClickOnTheTitleBar() {
        w().showNormal();
        const QSize before = w().size();
        QVERIFY(w().btnMaximise->isVisible());
        w().btnMaximise->click();
        QVERIFY(w().isMaximized());
        QTest::mouseDClick(w().titleBar, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QVERIFY(!w().isMaximized());
        QVERIFY(WaitFor([&] { return w().size() == before; }, 5000));
        QTest::mouseDClick(w().titleBar, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QVERIFY(w().isMaximized());
        w().btnMaximise->click();
        QVERIFY(!w().isMaximized());
    }

    void edgesOfTheWindow_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("edges");
        QTest::newRow("inside") << QPoint(500, 400) << 0;
        QTest::newRow("left") << QPoint(1, 400) << int(Qt::LeftEdge);
        QTest::newRow("right") << QPoint(997, 400) << int(Qt::RightEdge);
        QTest::newRow("top") << QPoint(500, 0) << int(Qt::TopEdge);
        QTest::newRow("bottom") << QPoint(500, 798) << int(Qt::BottomEdge);
        QTest::newRow("bottom right") << QPoint(999, 799) << int(Qt::BottomEdge | Qt::RightEdge);
        QTest::newRow("top left") << QPoint(0, 2) << int(Qt::TopEdge | Qt::LeftEdge);
        QTest::newRow("outside") << QPoint(1000, 400) << 0;
    }
    void edgesOfTheWindow() {
        QFETCH(QPoint, at);
        QFETCH(int, edges);
        QCOMPARE(int(MainMenu::resizeEdgesAt(QSize(1000, 800), at, MainMenu::kResizeMargin)), edges);
    }

    // Dragging an edge resizes the window (here, without a window manager, by the window
    // itself), never below its smallest size.
    void draggingAnEdgeResizesTheWindow() {
        w().showNormal();
        w().resize(1100, 760);
        QVERIFY(WaitFor([&] { return w().size() == QSize(1100, 760); }, 5000));
        const QPoint edge(w().width() - 2, w().height() / 2);
        QVERIFY(w().childAt(edge) == nullptr);
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, w().mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                              buttons, Qt::NoModifier);
            QApplication::sendEvent(&w(), &event);
        };
        send(QEvent::MouseMove, edge, Qt::NoButton);
        QCOMPARE(w().cursor().shape(), Qt::SizeHorCursor);
        send(QEvent::MouseButtonPress, edge, Qt::LeftButton);
        send(QEvent::MouseMove, edge + QPoint(60, 0), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, edge + QPoint(60, 0), Qt::NoButton);
        QVERIFY(WaitFor([&] { return w().width() == 1160; }, 5000));
        const QPoint bottom(w().width() / 2, w().height() - 1);
        send(QEvent::MouseButtonPress, bottom, Qt::LeftButton);
        send(QEvent::MouseMove, bottom - QPoint(0, 500), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, bottom - QPoint(0, 500), Qt::NoButton);
        QVERIFY(WaitFor([&] { return w().height() == w().minimumHeight(); }, 5000));
    }

    // The widgets that Tab visits from the one focused now, in order.
    static std::vector<QWidget*> TabWalk(int presses) {
        std::vector<QWidget*> visited;
        for (int i = 0; i < presses; ++i) {
            QWidget* focused = QApplication::focusWidget();
            if (!focused) break;
            QTest::keyClick(focused, Qt::Key_Tab);
            visited.push_back(QApplication::focusWidget());
        }
        return visited;
    }
    static int At(const std::vector<QWidget*>& walk, QWidget* widget) {
        const auto it = std::find(walk.begin(), walk.end(), widget);
        return it == walk.end() ? -1 : static_cast<int>(it - walk.begin());
    }
    // Whether the widget looks different with the keyboard focus.
    static bool ShowsFocus(QWidget* widget) {
        widget->clearFocus();
        QApplication::processEvents();
        const QImage before = widget->grab().toImage();
        widget->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        const QImage after = widget->grab().toImage();
        return before != after;
    }

    // Home screen: Tab leaves the backup list and reaches Browse, the data type and the scan
    // button; the focus shows; Enter starts the scan.
    void homeScreenKeyboard() {
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().showScreen(ScreenState::ScreenHome);
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        InfoReaderViewController* home = w().homeScreen();
        home->iTunesBackupTable->setFocus(Qt::TabFocusReason);
        const auto walk = TabWalk(20);
        QCOMPARE(walk.front() == home->iTunesBackupTable, false);
        for (QWidget* control : std::initializer_list<QWidget*>{home->btnIos, home->btnItunes, home->iTunesBackupTable,
                                                               home->btnBrowseBackup, home->dataTypeCombo,
                                                               home->iTunesBackupScanButton})
            QVERIFY2(At(walk, control) >= 0, qPrintable(control->objectName()));
        QVERIFY(At(walk, home->dataTypeCombo) < At(walk, home->iTunesBackupScanButton));
        for (QWidget* control : std::initializer_list<QWidget*>{home->btnItunes, home->iTunesBackupTable,
                                                               home->btnBrowseBackup, home->dataTypeCombo,
                                                               home->iTunesBackupScanButton, w().btnMenu})
            QVERIFY2(ShowsFocus(control), qPrintable(control->objectName()));
        home->dataTypeCombo->setCurrentIndex(0);
        home->dataTypeCombo->setFocus();
        QTest::keyClick(home->dataTypeCombo, Qt::Key_Return);
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenResults));
        QVERIFY(f.waitForReport());
        w().dashboard()->close();
    }

    // Results: Tab reaches the data types, the other screens' buttons, the search, the open
    // screen's filter and list, and the footer; each shows its focus.
    void resultsScreenKeyboard() {
        scan();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        auto* screen = dynamic_cast<ListScreen*>(w().viewController());
        QVERIFY(screen);
        w()._searchField->setFocus(Qt::TabFocusReason);
        const auto walk = TabWalk(40);
        const int search = At(walk, w()._searchField), list = At(walk, screen->m_table),
                  filter = std::max({At(walk, screen->segmentedControl->segment(0)),
                                     At(walk, screen->segmentedControl->segment(1)),
                                     At(walk, screen->segmentedControl->segment(2))}),
                  contacts = At(walk, w().iconControl(TabTag::TabTagContacts)),
                  summary = At(walk, w().tabButton(TabTag::TabTagDashboard)), exportButton = At(walk, w().btnExport);
        QVERIFY(search >= 0 && list >= 0 && filter >= 0 && contacts >= 0 && summary >= 0 && exportButton >= 0);
        // In reading order: the filter above the list, the list before the footer.
        QVERIFY(filter < list && list < exportButton);
        for (QWidget* control : std::initializer_list<QWidget*>{w().iconControl(TabTag::TabTagContacts),
                                                               w().tabButton(TabTag::TabTagDashboard),
                                                               screen->m_table, w()._searchField, w().changeView,
                                                               w().btnExport})
            QVERIFY2(ShowsFocus(control), qPrintable(control->objectName()));
    }

    // On every results screen Tab reaches each usable data type and tab button, and the
    // screen's lists (the photo grid on the picture screens).
    void resultsTabReachesTheTabsAndTheLists_data() {
        QTest::addColumn<int>("tab");
        for (TabTag tab : {TabTag::TabTagSMS, TabTag::TabTagCalls, TabTag::TabTagNotes, TabTag::TabTagPhotos,
                           TabTag::TabTagWhatsApp, TabTag::TabTagDashboard})
            QTest::newRow(UiTabFor(tab)->fallbackIcon) << ToCode(tab);
    }
    void resultsTabReachesTheTabsAndTheLists() {
        QFETCH(int, tab);
        const TabTag shown = static_cast<TabTag>(tab);
        if (IsIconBarTab(shown))
            w().onAppsSelectionChanged(shown);
        else
            w().onTabSelectionChanged(shown);
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().btnExport->setFocus(Qt::TabFocusReason);
        const auto walk = TabWalk(80);
        QStringList missed;
        for (const UiTab& t : UiTabs()) {
            QWidget* control = IsIconBarTab(t.tab) ? static_cast<QWidget*>(w().iconControl(t.tab)) : w().tabButton(t.tab);
            if (control->isVisible() && control->isEnabled() && At(walk, control) < 0) missed << control->objectName();
        }
        int lists = 0;
        for (QAbstractItemView* view : w().viewMainWindow->findChildren<QAbstractItemView*>()) {
            if (!view->isVisible() || qobject_cast<QHeaderView*>(view)) continue;
            ++lists;
            if (At(walk, view) < 0) missed << view->objectName();
        }
        QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QLatin1Char(' '))));
        QVERIFY(lists > 0 || shown == TabTag::TabTagDashboard);
    }

    // Results: Enter presses Export, the screen's default button, from the list; a focused
    // button takes Enter itself, and Enter in the search field exports nothing.
    void resultsScreenEnter() {
        w().onAppsSelectionChanged(TabTag::TabTagContacts);
        auto* screen = dynamic_cast<ListScreen*>(w().viewController());
        QVERIFY(screen);
        const auto exportShown = [&] { return w().exportDialog() && w().exportDialog()->isVisible(); };
        QVERIFY(!exportShown());
        w()._searchField->setFocus();
        QTest::keyClick(w()._searchField, Qt::Key_Return);
        QVERIFY(!exportShown());
        w().iconControl(TabTag::TabTagCalls)->setFocus();
        QTest::keyClick(w().iconControl(TabTag::TabTagCalls), Qt::Key_Return);
        QCOMPARE(f.record.tabItem.load(), ToCode(TabTag::TabTagCalls));
        QVERIFY(!exportShown());
        screen = dynamic_cast<ListScreen*>(w().viewController());
        QVERIFY(screen);
        // Enter on a list row shows that row's detail and never exports; on the photo grid it
        // does nothing.
        QVERIFY(screen->model->rowCount() >= 2);
        screen->m_table->setFocus();
        screen->m_table->selectionModel()->clearSelection();
        screen->m_table->selectionModel()->setCurrentIndex(screen->model->index(1, 0), QItemSelectionModel::NoUpdate);
        QTest::keyClick(screen->m_table, Qt::Key_Return);
        QVERIFY(!exportShown());
        QCOMPARE(screen->selectedRow(), std::optional<std::size_t>(1));
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        w().photoGrid()->setFocus();
        const std::vector<int> selected = w().photoGrid()->selectedRows();
        QTest::keyClick(w().photoGrid(), Qt::Key_Return);
        QVERIFY(!exportShown());
        QCOMPARE(w().photoGrid()->selectedRows(), selected);
    }

    // The buttons of the other screens: each one shown can be used and names its screen.
    void otherScreensButtonsAreUsableAndNamed() {
        int shown = 0;
        for (const UiTab& tab : UiTabs()) {
            QToolButton* button = w().tabButton(tab.tab);
            if (IsIconBarTab(tab.tab) || !button->isVisible()) continue;
            ++shown;
            QVERIFY2(button->isEnabled(), tab.fallbackIcon);
            QVERIFY2(!button->toolTip().isEmpty(), tab.fallbackIcon);
        }
        QVERIFY(shown >= 2);
    }

    // The photo grid shows a name that fits its cell whole ("IMG_0005.PNG" beside
    // "IMG_0001.JPG"), whatever the first item's thumbnail: an item has the room its name and
    // tick box need, up to the cell's width.
    void photoNamesThatFitTheirCellAreShownWhole() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        MediaGrid* grid = w().photoGrid();
        MediaGridModel* model = grid->mediaModel();
        QVERIFY(model->rowCount() >= 2);
        // Every thumbnail made, then the grid laid out again, as a refresh of the photos does.
        const auto thumbnailsShown = [&] {
            for (int row = 0; row < model->rowCount(); ++row)
                if (model->data(model->index(row), Qt::DecorationRole).value<QPixmap>().width() >= grid->iconSize().width())
                    return false;
            return true;
        };
        QVERIFY(WaitFor(thumbnailsShown));
        w().updatePhotosUI();
        QApplication::processEvents();
        QStyle* style = grid->style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1;
        const int tick = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, grid) + 2 * margin;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString name = model->nameAt(row);
            const int needed = grid->fontMetrics().horizontalAdvance(name) + 2 * margin + tick;
            const int room = grid->visualRect(model->index(row)).width();
            QVERIFY2(needed < grid->gridSize().width() - 2, qPrintable(name));
            QVERIFY2(room >= needed, qPrintable(QStringLiteral("%1: %2 < %3").arg(name).arg(room).arg(needed)));
        }
    }

    // The photo page's Export with nothing ticked says so and copies nothing.
    void photoExportWithNothingTickedSaysSo() {
        w().onAppsSelectionChanged(TabTag::TabTagPhotos);
        w().tickAllCameraPhoto(false);
        w().photoGrid()->clearSelection();
        QString said;
        AnswerNextMessageBox(QString(), &said);
        w().exportPhotos();
        QVERIFY(said.contains(QStringLiteral("Nothing is ticked")));
        QCOMPARE(w().exportsRunning(), 0);
    }

    // Dialogs: Escape closes them; Enter presses their default button.
    void dialogsTakeEscapeAndEnter() {
        w().AboutWindow();
        QDialog* about = w().openDialog("AboutWindow");
        QVERIFY(about);
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
        w().showHintPopup();
        QDialog* hint = w().openDialog("showHintWindowController");
        QTest::keyClick(hint, Qt::Key_Escape);
        QVERIFY(!hint->isVisible());
        w().Export();
        QDialog* exportDialog = w().exportDialog();
        QVERIFY(exportDialog && exportDialog->isVisible());
        QTest::keyClick(exportDialog, Qt::Key_Escape);
        QVERIFY(!exportDialog->isVisible());
        w().Notification1();
        auto* question = static_cast<Notification1WindowController*>(w().openDialog("Notification1WindowController"));
        QVERIFY(question);
        QTest::keyClick(question, Qt::Key_Return);
        QVERIFY(!question->isVisible());
        QVERIFY(f.saw("button Back to recovery from backups"));
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenHome));
    }

    // Choosing a tab, with the click that gives it the keyboard focus, leaves the icon bar and
    // the tab bar their height.
    void choosingATabKeepsTheBarsHeight() {
        scan();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        w().onAppsSelectionChanged(TabTag::TabTagSMS);
        QApplication::processEvents();
        const int icons = w().boxIcons->sizeHint().height(), tabs = w().boxTabItems->sizeHint().height();
        for (QToolButton* tab : {static_cast<QToolButton*>(w().iconControl(TabTag::TabTagContacts)),
                                 w().tabButton(TabTag::TabTagDashboard), w().tabButton(TabTag::TabTagDeviceInfo)}) {
            tab->setFocus(Qt::MouseFocusReason);
            tab->click();
            QApplication::processEvents();
            QVERIFY(tab->hasFocus());
            QCOMPARE(w().boxIcons->sizeHint().height(), icons);
            QCOMPARE(w().boxTabItems->sizeHint().height(), tabs);
        }
    }

    // The title-bar menu from the keyboard: F10 opens it on its first entry; Tab, Shift+Tab and
    // the arrows walk round its entries without leaving it; Escape closes it and gives the
    // focus back to the menu button; Enter and the keypad's Enter open the entry.
    void menuKeys() {
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        const auto open = [&] {
            w().btnMenu->setFocus();
            QTest::keyClick(w().btnMenu, Qt::Key_F10);
            QVERIFY(w().boxMenu->isVisible());
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w().btnHelpMenu));
        };
        open();
        for (const auto key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Down, Qt::Key_Backtab, Qt::Key_Up, Qt::Key_Up,
                               Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab}) {
            QTest::keyClick(QApplication::focusWidget(), key);
            QVERIFY(w().boxMenu->isVisible());
            QVERIFY2(w().boxMenu->isAncestorOf(QApplication::focusWidget()),
                     qPrintable(QApplication::focusWidget()->objectName()));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!w().boxMenu->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w().btnMenu));
        for (const auto modifier : {Qt::NoModifier, Qt::KeypadModifier}) {
            open();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w().btnAbout));
            QTest::keyClick(w().btnAbout, modifier == Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return, modifier);
            QVERIFY(!w().boxMenu->isVisible());
            QDialog* about = w().openDialog("AboutWindow");
            QVERIFY(about);
            about->close();
        }
    }

    // Switches the window's language as the language dialog does.
    void chooseLanguage(const QString& language) {
        w().showLanWindow();
        auto* picker = static_cast<LangaugeWindowController*>(w().openDialog("LangaugeWindowController"));
        QVERIFY(picker);
        picker->selectLang->setCurrentIndex(picker->selectLang->findText(language));
        picker->btnSelectClicked();
    }

    // In both languages, at the window's smallest size, no text of the home screen, the
    // results screens or the dialogs is cut.
    void noTextIsCutAtTheSmallestSize_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << QStringLiteral("English");
        QTest::newRow("Deutsch") << QStringLiteral("Deutsch");
    }
    void noTextIsCutAtTheSmallestSize() {
        QFETCH(QString, language);
        chooseLanguage(language);
        w().showNormal();
        w().resize(w().minimumSize());
        QVERIFY(WaitFor([&] { return w().size() == w().minimumSize(); }, 5000));
        QStringList cut;
        const auto check = [&](QWidget* root, const QString& where) {
            // A text that takes another line asks its parents' layouts in turn, one event each.
            for (int pass = 0; pass < 4; ++pass) QApplication::processEvents();
            for (const QString& text : CutTexts(root)) cut << where + QStringLiteral(": ") + text;
        };
        w().showScreen(ScreenState::ScreenHome);
        w().homeScreen()->returnMainScreen();
        check(&w(), QStringLiteral("home, device"));
        w().openBackupFolder(QString::fromStdString(contents.folder.string()));
        check(&w(), QStringLiteral("home, backup"));
        for (const QString& text : CutTableTexts(w().homeScreen()->iTunesBackupTable))
            cut << QStringLiteral("home, backup: ") + text;
        // Controls side by side keep a gap between them.
        InfoReaderViewController* home = w().homeScreen();
        for (const auto& [left, right] : {std::pair<QWidget*, QWidget*>{home->lblSelectBackupFromHDD, home->btnBrowseBackup},
                                          std::pair<QWidget*, QWidget*>{home->btnFast, home->iTunesBackupScanButton}}) {
            const int gap = right->mapTo(&w(), QPoint()).x() - left->mapTo(&w(), QPoint(left->width(), 0)).x();
            if (gap < 6) cut << QStringLiteral("home, backup: %1 and %2 %3 apart").arg(left->objectName(), right->objectName()).arg(gap);
        }
        startScan();
        QVERIFY(f.waitForReport());
        check(w().dashboard(), QStringLiteral("report"));
        for (const QString& text : CutTableTexts(w().dashboard()->table))
            cut << QStringLiteral("report: ") + text;
        w().dashboard()->close();
        // The bar of a running scan, with its Cancel button.
        w().showScanControls();
        check(&w(), QStringLiteral("scanning"));
        w().restoreControlsAfterScan(true);
        for (const UiTab& tab : UiTabs()) {
            if (!w().iconControl(tab.tab) || !w().iconControl(tab.tab)->isEnabled()) continue;
            w().onAppsSelectionChanged(tab.tab);
            check(&w(), QString::fromLatin1(tab.fallbackIcon));
            // The screen's counter, also with the four-digit counts of a large backup.
            int counters = 0;
            for (QLabel* counter : w().findChildren<QLabel*>()) {
                if (counter->objectName() != QLatin1String("screenCaption") &&
                    counter->objectName() != QLatin1String("lblPhotoCaption"))
                    continue;
                if (!counter->isVisibleTo(&w()) || counter->text().isEmpty()) continue;
                ++counters;
                const QString was = counter->text();
                counter->setText(QString(was).replace(QRegularExpression(QStringLiteral("\\d+")), QStringLiteral("8888")));
                check(&w(), QString::fromLatin1(tab.fallbackIcon) + QStringLiteral(", large counts"));
                counter->setText(was);
            }
            const bool hasCounter = tab.kind == ScreenKind::DataList || tab.kind == ScreenKind::PhotoBrowser;
            if (counters != (hasCounter ? 1 : 0)) cut << QStringLiteral("%1: %2 counters shown").arg(QString::fromLatin1(tab.fallbackIcon)).arg(counters);
        }
        w().MenuPressed();
        check(w().boxMenu, QStringLiteral("menu"));
        w().hideMenus();
        w().Notification1();
        check(w().openDialog("Notification1WindowController"), QStringLiteral("new scan"));
        w().openDialog("Notification1WindowController")->close();
        w().FeedbackBtnInMenu();
        check(w().openDialog("FeedbackWindowController"), QStringLiteral("feedback"));
        w().openDialog("FeedbackWindowController")->close();
        w().showHintPopup();
        check(w().openDialog("showHintWindowController"), QStringLiteral("hint"));
        w().openDialog("showHintWindowController")->close();
        w().Export();
        check(w().exportDialog(), QStringLiteral("export"));
        w().exportDialog()->close();
        w().sendToApp();
        check(w().sendWizard(), QStringLiteral("send"));
        w().sendWizard()->next1();
        check(w().sendWizard(), QStringLiteral("send, choice"));
        w().sendWizard()->close();
        const std::pair<const char*, std::function<void()>> others[] = {
            {"AboutWindow", [&] { w().AboutWindow(); }},
            {"LangaugeWindowController", [&] { w().showLanWindow(); }},
            {"ShareWindowController", [&] { w().ShareBtnInMenu(); }},
            {"StarFeedbackWindow", [&] { w().starFeedback(QStringLiteral("Rating - Export to Computer")); }},
        };
        for (const auto& [name, open] : others) {
            open();
            check(w().openDialog(name), QString::fromLatin1(name));
            w().openDialog(name)->close();
        }
        // An export's report names the folder it wrote into, over several lines.
        ExportProgressWindow exporting(nullptr, &w());
        exporting.show();
        ExportReport report;
        report.folder = (fs::path(dir.path().toStdString()) / "records exported from the backups of this computer" /
                         "Demo iPhone - 2016-09-01 10.00 AM").string();
        report.entries.push_back({report.folder + "/Messages.csv", ExportStatus::Written, 20});
        exporting.finished(report);
        check(&exporting, QStringLiteral("export report"));
        chooseLanguage(QStringLiteral("English"));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    // German: the menu's update entry, the hover label of a data type, the call types and the
    // messages of the update check and the send to the device come from the language file.
    void germanTextsOfTheWindow() {
        chooseLanguage(QStringLiteral("Deutsch"));
        LanguageConfig& texts = LanguageConfig::sharedObject();
        QCOMPARE(w().btnUpdate->text(), QStringLiteral("Nach Updates suchen"));
        QCOMPARE(ScreenText::ShownCallType(std::string("Outgoing - Answered")), OptString("Ausgehend - Angenommen"));
        QCOMPARE(ScreenText::ShownCallType(std::string("+49 unknown")), OptString("+49 unknown"));
        QCOMPARE(SendFiles::NoDeviceMessage(SendKind::Messages), *texts.SendNoDeviceConnected());
        QVERIFY(texts.UpdateNoConnection()->find("Verbindung") != std::string::npos);
        w().AboutWindow();
        auto* about = static_cast<AboutWindow*>(w().openDialog("AboutWindow"));
        QVERIFY(about && about->txtEULA->toPlainText().contains(QStringLiteral("Lizenzvereinbarung")));
        about->close();
        chooseLanguage(QStringLiteral("English"));
        QCOMPARE(w().btnUpdate->text(), QStringLiteral("Check for updates"));
    }

    // In German, a folder that holds no backup and the device form of the new-scan question are
    // said in German, and the question follows a change of language while it is open.
    void germanNotABackupAndDeviceQuestion() {
        chooseLanguage(QStringLiteral("Deutsch"));
        w().showScreen(ScreenState::ScreenHome);
        QTemporaryDir empty;
        QString said;
        AnswerNextMessageBox(QString(), &said);
        w().homeScreen()->findBackup(empty.path());
        QCOMPARE(said, QStringLiteral("Der gewählte Ordner enthält keine verwendbaren iTunes-Backup-Dateien oder ist beschädigt!"));
        w().Notification2();
        auto* question = static_cast<Notification1WindowController*>(w().openDialog("Notification1WindowController"));
        QVERIFY(question);
        const QString german = QStringLiteral(
            "Möchten Sie wirklich einen neuen Gerätescan starten? Ihre aktuellen Scanergebnisse werden nicht gespeichert.");
        QCOMPARE(question->Message->text(), german);
        chooseLanguage(QStringLiteral("English"));
        QCOMPARE(question->Message->text(),
                 QStringLiteral("Are you sure you want to start a new Device scan? Your current scanning results won't be saved."));
        question->close();
    }

    // The send wizard's first step leads to the store page from the words that name the
    // companion application, not from the whole sentence.
    void sendWizardLinksOnlyTheApplicationsName() {
        for (const QString& language : {QStringLiteral("Deutsch"), QStringLiteral("English")}) {
            chooseLanguage(language);
            w().sendToApp();
            AppWindowController* wizard = w().sendWizard();
            QVERIFY(wizard);
            const QString name = Text(LanguageConfig::sharedObject().AppWindowControllerAppName());
            const QString sentence = Text(LanguageConfig::sharedObject().AppWindowControllerScreen2Bottom());
            const QString first = Text(LanguageConfig::sharedObject().AppWindowControllerThe());
            QVERIFY(!name.isEmpty() && sentence.startsWith(name));
            // The sentence's first word stands in the same label, before the link.
            QCOMPARE(wizard->lblBottom->text(), QStringLiteral("%1 <a href='store'>%2</a>%3")
                                                    .arg(first.toHtmlEscaped(), name, sentence.mid(name.size()).toHtmlEscaped()));
            wizard->close();
        }
        struct Case {
            const char* sentence;
            const char* name;
            const char* shown;
        };
        for (const Case& c : {Case{"Get the app <now>", "the app", "Get <a href='store'>the app</a> &lt;now&gt;"},
                              Case{"No name & here", "the app", "<a href='store'>No name &amp; here</a>"},
                              Case{"Any", "", "<a href='store'>Any</a>"}})
            QCOMPARE(AppWindowController::StoreLinkText(QString::fromUtf8(c.sentence), QString::fromUtf8(c.name)),
                     QString::fromUtf8(c.shown));
    }

    // The user guide describes the window: choosing, scanning, screens, filters, ticking,
    // exporting and sending.
    void userGuideDescribesTheWindow() {
        w().OnManualClick();
        auto* manual = static_cast<Manual*>(w().openDialog("Manual"));
        QVERIFY(manual);
        const QString text = manual->page->toPlainText();
        for (const char* heading : {"Choosing a device or a backup", "Scanning", "The screens", "Filters and search",
                                    "Ticking", "Exporting", "Sending to the device", "Keyboard"})
            QVERIFY2(text.contains(QLatin1String(heading)), heading);
        manual->close();
    }

    // A folder that does not exist is named as such, not as a broken backup.
    void aMissingFolderIsSaidToBeMissing() {
        w().showScreen(ScreenState::ScreenHome);
        QString said;
        AnswerNextMessageBox(QString(), &said);
        w().homeScreen()->findBackup(dir.path() + QStringLiteral("/not-there"));
        QVERIFY(said.contains(QStringLiteral("does not exist")));
        QVERIFY(said.contains(QStringLiteral("not-there")));
    }

    // After Continue on the scan report the keyboard goes on in the results shown, not on the
    // title bar's buttons.
    void continueLeavesTheFocusInTheResults() {
        w().showNormal();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        startScan();
        QVERIFY(f.waitForReport());
        auto* report = w().dashboard();
        QVERIFY(report);
        report->activateWindow();
        report->btnContinue->click();
        QVERIFY(WaitFor([&] { return QApplication::focusWidget() != nullptr; }, 5000));
        QWidget* focused = QApplication::focusWidget();
        QVERIFY2(qobject_cast<QAbstractItemView*>(focused), qPrintable(focused->objectName()));
        QVERIFY(w().isAncestorOf(focused) && focused->isVisible());
    }

    // The troubleshooting dialog: the line before the hints, and the link on the name of the
    // software to install, not on the rest of the sentence.
    void troubleshootingLinksTheSoftwareAndListsTheHints() {
        LanguageConfig& texts = LanguageConfig::sharedObject();
        w().showHintPopup();
        auto* hint = static_cast<showHintWindowController*>(w().openDialog("showHintWindowController"));
        QVERIFY(hint);
        QCOMPARE(hint->txt2->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowMainTextTitlePart2()));
        QVERIFY(hint->txt2->isVisible());
        QCOMPARE(hint->btn1->text().trimmed(),
                 Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart2()));
        QCOMPARE(hint->txthint3->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart1()));
        QCOMPARE(hint->txthint4->text(), Text(texts.ConnectingDeviceTroubleshootingDialogWindowInstallLatestITunesPart3()));
        // Read in order: the link stands right after "Install the latest".
        QVERIFY(hint->btn1->x() > hint->txthint3->x());
        QVERIFY(hint->txthint4->y() > hint->btn1->y());
        hint->close();
    }

    // Ending through the platform (a window manager's close, the session's end) runs the
    // destructors: the working folder with the photo copies goes with the window.
    void endingNormallyRemovesThePhotoCopies() {
        startApplication();
        scan();
        const fs::path folder = f.application->core().workingFolder().path();
        QVERIFY(FilesBelow(folder) > 0);
        f.application.reset();
        QVERIFY(!fs::exists(folder));
    }

    // The close button ends the process at once, even while a scan copies photos, once the
    // user agrees to stop the scan; the copies go first. (Last: nothing temporary can be made
    // in this process afterwards.)
    void closeButtonDuringAScanRemovesThePhotoCopies() {
        f.application.reset();
        TorvaneApplication::Options options;
        options.record = &f.record;
        options.analytics = &f.analytics;
        options.updateCheck = false;
        options.listenForDevices = false;
        options.banner = false;
        options.endProcess = [this](int status) { ended.push_back(status); };
        f.application = std::make_unique<TorvaneApplication>(options);
        f.application->start();
        const fs::path folder = f.application->core().workingFolder().path();
        QVERIFY(fs::is_directory(folder));
        startScan();
        QVERIFY(WaitFor([&] { return FilesBelow(folder) > 0; }));
        QString question;
        AnswerNextMessageBox(Text(LanguageConfig::sharedObject().CommonYes()), &question);
        w().btnClose->click();
        QCOMPARE(question, Text(LanguageConfig::sharedObject().StopScanningDialogWindowMainText()));
        QCOMPARE(ended, std::vector<int>{0});
        QVERIFY(!fs::exists(folder));
        QVERIFY(WaitFor([&] { return !f.application->core().scanWorker().isRunning(); }));
        f.application.reset();
        QCOMPARE(FilesBelow(folder.parent_path()), 0);
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(DesktopWindowTest)
#include "DesktopWindowTest.moc"
