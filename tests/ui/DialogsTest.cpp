#include "UiFixture.h"
#include "UiTestSupport.h"
#include "app/TimeOfUse.h"
#include "config/ApplicationConfig.h"
#include "ui/BannerView.h"
#include "ui/Dialogs.h"
#include "ui/HomeScreen.h"
#include "ui/MainMenu.h"
#include "ui/QtDispatcher.h"
#include "ui/TransferWindows.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

class DialogsTest : public QObject {
    Q_OBJECT
    UiFixture f;
    QList<QUrl> opened;

private slots:
    void initTestCase() {
        Desktop::setOpener([this](const QUrl& url) {
            opened << url;
            return true;
        });
        f.start();
    }

    void openingAboutTwiceLeavesOneWindow() {
        MainMenu& w = f.application->window();
        w.AboutWindow();
        w.AboutWindow();
        QTest::qWait(20);
        int visible = 0;
        for (QDialog* d : w.findChildren<QDialog*>("AboutWindow")) visible += d->isVisible();
        QCOMPARE(visible, 1);
        w.openDialog("AboutWindow")->close();
    }

    // The licence file is wrapped at a fixed width; the window shows each paragraph as one
    // line that the view wraps to its own width, and keeps the blank lines between them.
    void aboutShowsTheLicenceByParagraphs() {
        MainMenu& w = f.application->window();
        w.AboutWindow();
        auto* about = static_cast<AboutWindow*>(w.openDialog("AboutWindow"));
        QVERIFY(about);
        const QString text = about->txtEULA->toPlainText();
        QVERIFY2(text.contains(QStringLiteral("shows you their data on this computer. It never changes")), qPrintable(text));
        QVERIFY2(text.startsWith(QStringLiteral("Torvane licence agreement\n\nTorvane reads")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("allowed to read.\n\nThe software")), qPrintable(text));
        about->close();
    }

    // About names one version: the product line's, which the version line repeats with the
    // build number. About and the troubleshooting dialog close from a button of their own.
    void aboutNamesOneVersionAndDialogsCloseFromTheirOwnButton() {
        MainMenu& w = f.application->window();
        w.AboutWindow();
        auto* about = static_cast<AboutWindow*>(w.openDialog("AboutWindow"));
        QVERIFY(about);
        const QString version = QString::fromStdString(ApplicationConfig::sharedObject().applicationVersion.value_or(""));
        QVERIFY(!version.isEmpty());
        QVERIFY2(about->lblProductName->text().endsWith(QStringLiteral(" v") + version), qPrintable(about->lblProductName->text()));
        QVERIFY2(about->buildVersion->text().startsWith(version), qPrintable(about->buildVersion->text()));
        // The version line reads "Version 0.1.0 (1)", one blank between; each sentence of the
        // description stands in one label.
        QCOMPARE(about->lblAboutVersion->text(), QStringLiteral("Version ") + about->buildVersion->text());
        QVERIFY(!about->buildVersion->isVisible());
        QCOMPARE(about->lblAboutDescriptionLine1->text(),
                 QStringLiteral("Torvane recovers your messages, contacts, call history, notes, calendar events, "
                                "WhatsApp chats, internet history, photos and videos from your iPhone or its backups."));
        QCOMPARE(about->lblAboutDescriptionLine3->text(),
                 QStringLiteral("Deleted records are recovered from the free space of the databases in your backup."));
        QVERIFY(!about->lblAboutDescriptionLine2->isVisible() && !about->lblAboutDescriptionLine4->isVisible());
        w.showHintPopup();
        auto* hint = static_cast<showHintWindowController*>(w.openDialog("showHintWindowController"));
        QVERIFY(hint);
        for (QDialog* dialog : std::initializer_list<QDialog*>{about, hint}) {
            auto* close = dialog->findChild<QPushButton*>(QStringLiteral("btnClose"));
            QVERIFY(close && close->isVisible());
            QCOMPARE(close->text(), QStringLiteral("Close"));
            close->click();
            QVERIFY(!dialog->isVisible());
        }
    }

    // The share buttons are the size of their icons; their captions take the spare width.
    void shareButtonsKeepTheSizeOfTheirIcons() {
        MainMenu& w = f.application->window();
        w.ShareBtnInMenu();
        auto* share = static_cast<ShareWindowController*>(w.openDialog("ShareWindowController"));
        QVERIFY(share);
        QApplication::processEvents();
        for (QPushButton* button : {share->btnFacebook, share->btnGooglePlus, share->btnTwitter, share->btnEmail})
            QVERIFY2(button->width() <= button->sizeHint().width(),
                     qPrintable(QStringLiteral("%1 %2 > %3").arg(button->objectName()).arg(button->width()).arg(button->sizeHint().width())));
        share->close();
    }

    void ratingOfTwoThenFiveOffersSharingAndSendsFive() {
        MainMenu& w = f.application->window();
        w.starFeedback(QStringLiteral("Rating - Export to Computer"));
        auto* rating = static_cast<StarFeedbackWindow*>(w.openDialog("StarFeedbackWindow"));
        QVERIFY(rating);
        QCOMPARE(rating->completeLabel->text(), QStringLiteral("Export Complete"));
        rating->starClicked(2);
        QVERIFY(rating->supportBtn->isVisible() && !rating->facebook->isVisible());
        rating->starClicked(5);
        QVERIFY(!rating->supportBtn->isVisible() && rating->facebook->isVisible());
        for (QPushButton* star : rating->stars) QVERIFY(star->property("gold").toBool());
        rating->CloseSelected();
        QVERIFY(f.saw("rating Rating - Export to Computer 5"));
    }

    // Enter on a rating just opened rates nothing; on a star the user moved to, it gives that
    // star's rating. Going on to the home screen closes the rating, sending nothing.
    void ratingTakesEnterOnlyOnAStarMovedTo() {
        MainMenu& w = f.application->window();
        w.starFeedback(QStringLiteral("Rating - Export to Computer"));
        auto* rating = static_cast<StarFeedbackWindow*>(w.openDialog("StarFeedbackWindow"));
        QVERIFY(rating);
        QApplication::processEvents();
        const std::size_t events = f.analytics.events().size();
        QWidget* focused = rating->focusWidget() ? rating->focusWidget() : rating;
        QVERIFY(!rating->stars.front()->isDefault());
        QTest::keyClick(focused, Qt::Key_Return);
        QTest::keyClick(focused, Qt::Key_Enter);
        QCOMPARE(rating->starsSelected, 5);
        QVERIFY(rating->isVisible());
        QCOMPARE(f.analytics.events().size(), events);
        rating->stars[2]->setFocus();
        QTest::keyClick(rating->stars[2], Qt::Key_Return);
        QCOMPARE(rating->starsSelected, 3);
        w.showScreen(ScreenState::ScreenHome);
        QVERIFY(!rating->isVisible());
        QCOMPARE(f.analytics.events().size(), events);
    }

    // In German, Qt's own panels and the rating window speak German too; back in English,
    // English again.
    void germanReachesQtsOwnPanelsAndTheRating() {
        MainMenu& w = f.application->window();
        const auto choose = [&](const char* language) {
            w.showLanWindow();
            auto* picker = static_cast<LangaugeWindowController*>(w.openDialog("LangaugeWindowController"));
            picker->selectLang->setCurrentIndex(picker->selectLang->findText(QString::fromLatin1(language)));
            picker->btnSelectClicked();
        };
        const struct {
            const char* language;
            const char* saveAs;
            const char* lookIn;
            const char* cancel;
            const char* rating;
        } cases[] = {{"Deutsch", "Speichern unter", "Suchen in:", "Abbrechen", "Torvane bewerten"},
                     {"English", "Save As", "Look in:", "Cancel", "Rate Torvane"}};
        for (const auto& c : cases) {
            choose(c.language);
            QFileDialog panel(&w);
            panel.setOption(QFileDialog::DontUseNativeDialog);
            panel.setAcceptMode(QFileDialog::AcceptSave);
            QCOMPARE(panel.windowTitle(), QString::fromUtf8(c.saveAs));
            auto* lookIn = panel.findChild<QLabel*>(QStringLiteral("lookInLabel"));
            QVERIFY(lookIn);
            QCOMPARE(lookIn->text(), QString::fromUtf8(c.lookIn));
            QStringList buttons;
            for (QPushButton* button : panel.findChildren<QPushButton*>()) buttons << button->text();
            QVERIFY2(buttons.contains(QString::fromUtf8(c.cancel)), qPrintable(buttons.join(QLatin1Char(','))));
            w.starFeedback(QStringLiteral("Rating - Export to Computer"));
            QDialog* rating = w.openDialog("StarFeedbackWindow");
            QCOMPARE(rating->windowTitle(), QString::fromUtf8(c.rating));
            rating->close();
        }
    }

    // A link inside a sentence is set as large as the sentence; the send wizard's sentence is
    // one label that begins with its first word and holds the link.
    void linksStandInTheirSentences() {
        MainMenu& w = f.application->window();
        w.showHintPopup();
        auto* hint = static_cast<showHintWindowController*>(w.openDialog("showHintWindowController"));
        w.showScreen(ScreenState::ScreenHome);
        w.homeScreen()->returnMainScreen();
        const std::pair<QAbstractButton*, QLabel*> links[] = {{hint->btn1, hint->txthint3},
                                                              {w.homeScreen()->btnPleaseClickTip, w.homeScreen()->txtTip1}};
        for (const auto& [link, sentence] : links) {
            link->ensurePolished();
            sentence->ensurePolished();
            QCOMPARE(QFontInfo(link->font()).pointSizeF(), QFontInfo(sentence->font()).pointSizeF());
        }
        hint->close();
        w.sendToApp();
        AppWindowController* wizard = w.sendWizard();
        QApplication::processEvents();
        QVERIFY(!wizard->lblThe->isVisible());
        QVERIFY2(wizard->lblBottom->text().startsWith(QStringLiteral("The <a href='store'>companion app</a> receives")),
                 qPrintable(wizard->lblBottom->text()));
        wizard->close();
    }

    // A link whose page cannot be opened says so and names the address.
    void linksThatOpenNoPageSaySo() {
        MainMenu& w = f.application->window();
        const ApplicationConfig config = ApplicationConfig::sharedObject();
        const struct {
            const char* link;
            std::function<void()> click;
            OptString address;
        } cases[] = {
            {"device support software",
             [&] {
                 w.showHintPopup();
                 static_cast<showHintWindowController*>(w.openDialog("showHintWindowController"))->btn1->click();
             },
             config.iTunesDownload},
            {"companion app",
             [&] {
                 w.sendToApp();
                 emit w.sendWizard()->lblBottom->linkActivated(QStringLiteral("store"));
             },
             config.appStoreURL},
        };
        for (const auto& c : cases) {
            QVERIFY2(c.address && !c.address->empty(), c.link);
            QString said;
            AnswerNextMessageBox(QString(), &said);
            c.click();
            QVERIFY2(said.contains(QStringLiteral("could not be opened")) && said.contains(QString::fromStdString(*c.address)),
                     qPrintable(QStringLiteral("%1: %2").arg(QString::fromLatin1(c.link), said)));
        }
        w.sendWizard()->close();
        for (QDialog* hint : w.findChildren<QDialog*>(QStringLiteral("showHintWindowController"))) hint->close();
    }

    // A click on a star shows the rating: that star and those before it are drawn gold, the
    // ones after it clear.
    void ratingStarsShowTheRatingClicked() {
        MainMenu& w = f.application->window();
        w.starFeedback(QStringLiteral("Rating - Export to Computer"));
        auto* rating = static_cast<StarFeedbackWindow*>(w.openDialog("StarFeedbackWindow"));
        QVERIFY(rating);
        // How much of a star's picture is gold.
        const auto gold = [](QPushButton* star) {
            const QImage image = star->grab().toImage();
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    count += c.red() > 200 && c.green() > 140 && c.green() < 200 && c.blue() < 80;
                }
            return count;
        };
        for (int clicked : {2, 4, 1, 5}) {
            QTest::mouseClick(rating->stars[static_cast<std::size_t>(clicked - 1)], Qt::LeftButton);
            QApplication::processEvents();
            for (int k = 1; k <= 5; ++k) {
                const int shown = gold(rating->stars[static_cast<std::size_t>(k - 1)]);
                QVERIFY2(k <= clicked ? shown > 100 : shown == 0, qPrintable(QStringLiteral("clicked %1, star %2: %3").arg(clicked).arg(k).arg(shown)));
            }
        }
        rating->close();
    }

    void newScanConfirmationOkAndCancel() {
        MainMenu& w = f.application->window();
        w.Notification1();
        auto* question = static_cast<Notification1WindowController*>(w.openDialog("Notification1WindowController"));
        question->cancel();
        QVERIFY(!f.saw("button Back to recovery from backups"));
        w.Notification1();
        question = static_cast<Notification1WindowController*>(w.openDialog("Notification1WindowController"));
        question->ok();
        QVERIFY(f.saw("button Back to recovery from backups"));
        QCOMPARE(f.record.PresentScreen.load(), ToCode(ScreenState::ScreenHome));
        QCOMPARE(w.homeScreen()->selectedTab, 1);
        w.Notification2();
        question = static_cast<Notification1WindowController*>(w.openDialog("Notification1WindowController"));
        QVERIFY(question->isDeviceCurrently);
        question->ok();
        QVERIFY(f.saw("button Back to recovery from device"));
        QCOMPARE(w.homeScreen()->selectedTab, 0);
    }

    // The window's alert: Enter answers with the first button, Escape only ever with the one
    // that declines, wherever it stands.
    void alertKeys_data() {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("yes/no, Escape") << QStringList{"Yes", "No"} << int(Qt::Key_Escape) << 1;
        QTest::newRow("yes/no, Enter") << QStringList{"Yes", "No"} << int(Qt::Key_Return) << 0;
        QTest::newRow("cancel first, Escape") << QStringList{"Cancel", "Ok"} << int(Qt::Key_Escape) << 0;
        QTest::newRow("update/cancel, Escape") << QStringList{"Update", "Cancel"} << int(Qt::Key_Escape) << 1;
        QTest::newRow("one button, Escape") << QStringList{"OK"} << int(Qt::Key_Escape) << 0;
    }
    void alertKeys() {
        QFETCH(QStringList, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        AlertRequest request{"A question", "", {}};
        for (const QString& b : buttons) request.buttons.push_back(b.toStdString());
        QString seen;
        KeyOnNextMessageBox(key, &seen);
        QCOMPARE(f.application->window().alert(request), std::size_t(answer));
        QCOMPARE(seen, QStringLiteral("A question"));
    }

    void feedbackMailKeepsTheMessageWhole() {
        const QUrl mail = Desktop::mailAddress(QStringLiteral("a@b.c"), QStringLiteral("My rating:5"),
                                               QStringLiteral("Grüße & thanks? a=b"));
        QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
        const QString encoded = QString::fromLatin1(mail.toEncoded());
        QVERIFY(encoded.contains(QStringLiteral("BODY=Gr%C3%BC%C3%9Fe%20%26%20thanks%3F%20a%3Db")));
        QVERIFY(encoded.contains(QStringLiteral("SUBJECT=My%20rating%3A5")));
    }

    void placeholderAddressesAreNeverOpenedOrFetched() {
        opened.clear();
        QVERIFY(!Desktop::open(QStringLiteral("https://www.example.com/torvane/support")));
        QVERIFY(opened.isEmpty());
        BannerView banner(f.application->dispatcher());
        banner.loadWebView("https://www.example.com/banner?time_using=0.0&code=TM640");
        QVERIFY(!banner.fetchStarted());
        banner.loadWebView("http://plain.http.address/banner");
        QVERIFY(!banner.fetchStarted());
    }

    void bannerShowsTheFetchedPageAndResetsTheTimeOfUse() {
        QCOMPARE(BannerView::bannerAddress("https://banner.torvane.app/b", 150.0),
                 std::string("https://banner.torvane.app/b?time_using=2.5&code=TM640"));
        QCOMPARE(BannerView::bannerAddress("https://banner.torvane.app/b", 0.0),
                 std::string("https://banner.torvane.app/b?time_using=0.0&code=TM640"));
        BannerView banner(f.application->dispatcher());
        std::string asked;
        banner.setFetch([&asked](const std::string& address, std::stop_token) {
            asked = address;
            return std::optional<std::string>("<p>Hello <a href=\"https://torvane.app/x\">there</a><script>bad()</script></p>");
        });
        bool loaded = false;
        banner.loadWebView("https://torvane.app/banner", [&] { loaded = true; });
        QVERIFY(WaitFor([&] { return loaded; }, 10000));
        QCOMPARE(asked, std::string("https://torvane.app/banner"));
        QVERIFY(banner.toPlainText().contains(QStringLiteral("Hello there")));
        QVERIFY(!banner.toPlainText().contains(QStringLiteral("bad()")));
    }

    void cleanupTestCase() {
        f.application.reset();
        Desktop::setOpener({});
    }
};

TORVANE_UI_TEST(DialogsTest)
#include "DialogsTest.moc"
