#include "UiFixture.h"
#include "UiTestSupport.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"

#include <QTest>

class WindowStatesTest : public QObject {
    Q_OBJECT
    UiFixture f;

private slots:
    void initTestCase() { f.start(); }

    // Which region each state shows: the busy panel, the loading view, the status line, the
    // spinner and the photo browser; the home state shows the home screen alone.
    void showScreenShowsTheRegionsOfEveryState_data() {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("panel");
        QTest::addColumn<bool>("recovery");
        QTest::addColumn<bool>("status");
        QTest::addColumn<bool>("spinner");
        QTest::addColumn<bool>("home");
        QTest::newRow("initial") << 0 << true << false << true << true << false;
        QTest::newRow("loading") << 1 << false << true << false << false << false;
        QTest::newRow("initial loading") << 2 << true << false << true << true << false;
        QTest::newRow("results") << 3 << false << false << false << false << false;
        QTest::newRow("home") << 4 << false << false << false << false << true;
    }
    void showScreenShowsTheRegionsOfEveryState() {
        QFETCH(int, state);
        QFETCH(bool, panel);
        QFETCH(bool, recovery);
        QFETCH(bool, status);
        QFETCH(bool, spinner);
        QFETCH(bool, home);
        MainMenu& w = f.application->window();
        w.showScreen(static_cast<ScreenState>(state));
        QCOMPARE(f.record.PresentScreen.load(), state);
        QCOMPARE(w.imgRecoveryPanel->isVisible(), panel);
        QCOMPARE(w.viewRecovery->isVisible(), recovery);
        QCOMPARE(w.lblStatusBar->isVisible(), status);
        QCOMPARE(w.progressIndicator->isVisible(), spinner);
        QCOMPARE(w.homeScreen() && w.homeScreen()->isVisible(), home);
        if (state != 3) QVERIFY(!w.imageView->isVisible());
        if (state == 4) {
            QVERIFY(!w.boxIcons->isVisible() && !w.boxTabItems->isVisible() && !w.boxFooter->isVisible());
            QVERIFY(w.lblDisplayname->text().isEmpty() || w.homeScreen()->deviceInfo());
        }
        QCOMPARE(w.btnStart->isEnabled(), state != 1 && state != 2);
    }

    void resultsStateStartsOneCountdownAndHomeReusesItsScreen() {
        MainMenu& w = f.application->window();
        w.showScreen(ScreenState::ScreenResults);
        QVERIFY(w.countdownRunning());
        w.timerRun();
        w.timerRun();
        w.showScreen(ScreenState::ScreenResults);
        QCOMPARE(w.countdown().ticks(), 2);  // not restarted
        w.stopCountdown();
        QVERIFY(!w.countdownRunning());
        w.showScreen(ScreenState::ScreenHome);
        InfoReaderViewController* home = w.homeScreen();
        w.showScreen(ScreenState::ScreenHome);
        QCOMPARE(w.homeScreen(), home);
        QVERIFY(home->isVisible());
    }

    void anInvalidStateIsStoredAndChangesNothing() {
        MainMenu& w = f.application->window();
        w.showScreen(ScreenState::ScreenHome);
        w.showScreen(static_cast<ScreenState>(5));
        QCOMPARE(f.record.PresentScreen.load(), 5);
        QVERIFY(w.homeScreen()->isVisible());
        w.onAppsSelectionChanged(TabTag::TabTagSMS);
        QVERIFY(!w.viewController());
    }

    void statusLineCodes() {
        MainMenu& w = f.application->window();
        w.updateStatus(0, "SMS");
        QCOMPARE(w.lblStatusBar->text(), QStringLiteral("Retrieving  SMS"));
        w.updateStatus(5, "ignored");
        w.updateStatus(-1, "ignored");
        QCOMPARE(w.lblStatusBar->text(), QStringLiteral("Retrieving  SMS"));
        w.updateStatus(4, "x");
        QCOMPARE(w.lblStatusBar->text(), QStringLiteral("Error: x"));
    }

    void menuButtonOpensAndClosesThePanel() {
        MainMenu& w = f.application->window();
        w.MenuPressed();
        QVERIFY(w.boxMenu->isVisible());
        w.MenuPressed();
        QVERIFY(!w.boxMenu->isVisible());
    }

    void cleanupTestCase() { f.application.reset(); }
};

TORVANE_UI_TEST(WindowStatesTest)
#include "WindowStatesTest.moc"
