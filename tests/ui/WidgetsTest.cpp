#include "UiTestSupport.h"
#include "config/TitleHelpers.h"
#include "ui/OwnWidgets.h"
#include "ui/QtDispatcher.h"
#include "ui/TitleAdapters.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <thread>

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void dispatcherRunsWorkOnTheGuiThreadAndStopReleasesWaiters() {
        QtDispatcher dispatcher;
        QVERIFY(dispatcher.isMainThread());
        std::atomic<bool> onMain{false};
        std::atomic<bool> answered{false};
        std::atomic<bool> ran{false};
        std::jthread worker([&] {
            ran = dispatcher.postAndWait([&] { onMain = dispatcher.isMainThread(); });
            answered = true;
        });
        QVERIFY(WaitFor([&] { return answered.load(); }, 10000));
        QVERIFY(ran && onMain);
        worker.join();
        // A caller waiting when the dispatcher stops is released with false, its work unrun.
        // No events are processed between its post and the stop, so the work cannot run first.
        std::atomic<bool> posting{false};
        std::atomic<bool> lateRan{false};
        std::atomic<bool> result{true};
        std::jthread late([&] {
            posting = true;
            result = dispatcher.postAndWait([&] { lateRan = true; });
        });
        while (!posting) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // most often already waiting
        dispatcher.stop();
        late.join();
        QVERIFY(!result);
        QCoreApplication::processEvents();
        QVERIFY(!lateRan);
        // After the stop, work from another thread is refused at once.
        std::atomic<bool> refusedRan{false};
        bool refused = true;
        std::jthread([&] { refused = dispatcher.postAndWait([&] { refusedRan = true; }); }).join();
        QVERIFY(!refused);
        QVERIFY(!refusedRan);
    }

    void disableSubviewsByTagRangeAtAnyDepth() {
        QWidget root;
        auto* inner = new QWidget(&root);
        QList<QPushButton*> buttons;
        for (int tag = 1; tag <= 7; ++tag) {
            auto* b = new QPushButton(tag % 2 ? &root : inner);
            b->setProperty("tag", tag);
            buttons << b;
        }
        DisableSubviews::disableSubviewsStartTag(&root, true, 3, 5);
        for (QPushButton* b : buttons) {
            const int tag = b->property("tag").toInt();
            QCOMPARE(b->isEnabled(), !(tag >= 3 && tag <= 5));
        }
        QVERIFY(inner->isEnabled());
    }

    void middleAlignedTitleAndLinks() {
        const QRectF rect = MiddleAlignedTextFieldCell::titleRectForBounds(QRectF(0, 10, 100, 40),
                                                                           QRectF(2, 0, 96, 16), 16);
        QCOMPARE(rect.y(), 10 + 11.5);
        QCOMPARE(hyperlinkFromString(QStringLiteral("a<b"), QStringLiteral("https://x.y/?q=1&r=2")),
                 QStringLiteral("<a href=\"https://x.y/?q=1&amp;r=2\" style=\"color: blue; text-decoration: underline;\">a&lt;b</a>"));
    }

    void iconControlHoverLabel() {
        QWidget bar;
        bar.resize(400, 120);
        auto* caption = new QLabel(QStringLiteral("Calls"), &bar);
        auto* control = new SMNSbutton(&bar);
        control->setGeometry(20, 10, 50, 50);
        control->textField = caption;
        control->parentview = &bar;
        control->tooltipString = QStringLiteral("Calls");
        control->addHoverEventForButton();
        control->setEnabled(false);
        control->mouseEntered();
        QVERIFY(!control->tooltipview);
        control->setEnabled(true);
        control->mouseEntered();
        QVERIFY(control->tooltipview);
        QCOMPARE(control->tooltipview->str, QStringLiteral("Calls available"));
        QCOMPARE(control->tooltipview->geometry(), QRect(45, 35, 113, 21));
        control->mouseEntered();
        int labels = 0;
        for (QObject* child : bar.children()) labels += dynamic_cast<TooltipView*>(child) != nullptr;
        QCOMPARE(labels, 1);
        control->mouseExited();
        QVERIFY(!control->tooltipview);
        control->setIsSelected(true);
        control->refreshButtonView();
        QCOMPARE(control->stateName(), QStringLiteral("selected"));
        // The last control of the bar, with a long name: the label shows its whole text inside
        // the bar.
        auto* last = new SMNSbutton(&bar);
        last->setGeometry(340, 10, 50, 50);
        last->parentview = &bar;
        last->tooltipString = last->whatsAppText = QStringLiteral("WhatsApp-Nachrichten");
        last->addHoverEventForButton();
        last->mouseEntered();
        QVERIFY(last->tooltipview);
        const QRect frame = last->tooltipview->geometry();
        QVERIFY2(frame.left() >= 0 && frame.right() < bar.width(), qPrintable(QStringLiteral("%1..%2").arg(frame.left()).arg(frame.right())));
        auto* text = last->tooltipview->findChild<QLabel*>();
        QVERIFY(text);
        QVERIFY(text->fontMetrics().horizontalAdvance(text->text()) < text->width());
        last->mouseExited();
    }

    // A title padded with blanks keeps them in its stored form, but the button shows and centres
    // its words alone, as it does an unpadded title.
    void titleAdapterAppliesTheStyledTitle() {
        namespace TH = TitleHelpers;
        struct Case {
            StyledTitle title;
            QString shown;
        };
        for (const Case& c : {Case{TH::setButtonTitleForWithPadding(std::string("Go"), TitleAdapters::kWhite, 14.0f, 3), "Go"},
                              Case{TH::setButtonTitleForWithPadding(std::string("Feedback senden"), TitleAdapters::kWhite, 14.0f, 8),
                                   "Feedback senden"},
                              Case{TH::setButtonTitleFor(std::string("Go on"), TitleAdapters::kWhite), "Go on"}}) {
            QPushButton button;
            TitleAdapters::ApplyTitle(&button, c.title);
            QCOMPARE(button.text(), c.shown);
            QCOMPARE(button.property("styledTitle").toString(), QString::fromStdString(c.title.text));
            QVERIFY(!button.styleSheet().contains(QStringLiteral("text-align: left")));
            QVERIFY(button.styleSheet().contains(QStringLiteral("rgba(255, 255, 255, 255)")));
        }
    }
};

TORVANE_UI_TEST(WidgetsTest)
#include "WidgetsTest.moc"
