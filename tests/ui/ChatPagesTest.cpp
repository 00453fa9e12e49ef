// The chat pages of the messages and WhatsApp screens: every page runs in time order, deleted
// messages among the others and marked as deleted; the WhatsApp count line counts messages.
#include "UiTestSupport.h"
#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "ui/ChatPages.h"
#include "ui/ChatScreens.h"

#include <QTest>

namespace {

std::shared_ptr<SMS> Sms(const char* text, const char* time) {
    auto m = std::make_shared<SMS>();
    m->setAddress(std::string("+49 170 111"));
    m->setMessage(std::string(text));
    m->setLocalTime(std::string(time));
    m->setType(std::string("Received from"));
    return m;
}

std::shared_ptr<WhatsApp> Wa(const char* from, const char* text, const char* date) {
    auto m = std::make_shared<WhatsApp>();
    m->setFromMsgID(std::string(from));
    m->setZText(std::string(text));
    m->setMessageDate(std::string(date));
    return m;
}

template <class T, class Text>
std::vector<std::string> Texts(const std::vector<std::shared_ptr<T>>& messages, Text text) {
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.push_back(text(*m).value_or(""));
    return texts;
}

// The message texts the page draws as deleted, in page order: a bubble whose text begins in
// the deleted rows' colour.
std::vector<std::string> MarkedDeleted(const std::string& page) {
    std::vector<std::string> marked;
    const std::string open = "<span class='deleted' style='color:#b92020'>";
    for (std::size_t at = page.find("<div class='chat"); at != std::string::npos;
         at = page.find("<div class='chat", at + 1)) {
        const std::size_t start = page.find('>', at) + 1;
        if (page.compare(start, open.size(), open) != 0) continue;
        const std::size_t text = start + open.size();
        marked.push_back(page.substr(text, page.find("</span>", text) - text));
    }
    return marked;
}

}  // namespace

class ChatPagesTest : public QObject {
    Q_OBJECT
    BrimleyAppDelegate record;

    ScreenHost host() {
        ScreenHost h;
        h.record = &record;
        h.clearSearchField = [] {};
        h.addressBook = [] { return AddressBookNames::FromRows({}); };
        h.whatsAppNames = [] { return WhatsAppPartnerNames::FromRows({{std::string("anna@s"), std::string("Anna")}}); };
        return h;
    }

private slots:
    void initTestCase() {
        LanguageConfig::sharedObject().setText(LanguageKey::PhotosListViewShowingXYDeletedItemsAndXYExistingItemsWhatsapp,
                                               std::string("{0} of {1} deleted, {2} of {3} existing messages"));
    }

    void messagesRunInTimeOrderWithTheDeletedMarked() {
        // The carver lists deleted messages after the existing ones, newest first.
        record.SMSContent.replace({Sms("ten", "2016-05-01 10:00:00"), Sms("twelve", "2016-05-01 12:00:00")});
        record.DeletedSMS.replace({Sms("eleven", "2016-05-01 11:00:00"), Sms("nine", "2016-05-01 09:00:00"),
                                   Sms("undated", " ")});
        SMSViewController screen(host());
        screen.toggleChanged();
        QCOMPARE(screen.shown().rows.size(), std::size_t{1});
        screen.selectRow(0);
        const auto text = [](const SMS& m) { return m.Message(); };
        QCOMPARE(Texts(screen.conversationShown(), text),
                 (std::vector<std::string>{"nine", "ten", "eleven", "twelve", "undated"}));
        QCOMPARE(MarkedDeleted(screen.webView->page()), (std::vector<std::string>{"nine", "eleven", "undated"}));
        // Deleted records only: still in time order, all marked.
        screen.toggleBack();
        screen.selectRow(0);
        QCOMPARE(Texts(screen.conversationShown(), text), (std::vector<std::string>{"nine", "eleven", "undated"}));
        QCOMPARE(MarkedDeleted(screen.webView->page()), (std::vector<std::string>{"nine", "eleven", "undated"}));
    }

    void aDeletedWhatsAppChatRunsInTimeOrder() {
        record.WhatsAppContent.replace({Wa("anna@s", "hello", "2016-05-01 09:00:00"),
                                        Wa("anna@s", "later", "2016-05-01 11:00:00")});
        record.DeletedWhatsApp.replace({Wa("anna@s", "third", "2016-05-01 10:02:00"),
                                        Wa("anna@s", "first", "2016-05-01 10:00:00"),
                                        Wa("anna@s", "second", "2016-05-01 10:01:00")});
        WhatsAppViewController screen(host());
        const auto text = [](const WhatsApp& m) { return m.zText(); };
        screen.toggleBack();
        QCOMPARE(screen.shown().rows.size(), std::size_t{1});
        screen.selectRow(0);
        QCOMPARE(Texts(screen.conversationShown(), text), (std::vector<std::string>{"first", "second", "third"}));
        QCOMPARE(MarkedDeleted(screen.webView->page()), (std::vector<std::string>{"first", "second", "third"}));
        // With the existing messages: one chat, in time order, the deleted ones marked.
        screen.toggleChanged();
        screen.selectRow(0);
        QCOMPARE(Texts(screen.conversationShown(), text),
                 (std::vector<std::string>{"hello", "first", "second", "third", "later"}));
        QCOMPARE(MarkedDeleted(screen.webView->page()), (std::vector<std::string>{"first", "second", "third"}));
        // The count line counts messages: 3 of 3 deleted and 2 of 2 existing, in one chat.
        QCOMPARE(screen.caption->text(), QStringLiteral("3 of 3 deleted, 2 of 2 existing messages"));
    }
};

TORVANE_UI_TEST(ChatPagesTest)
#include "ChatPagesTest.moc"
