// The chat pages of the messages and WhatsApp screens: every page runs in time order, deleted
// messages among the others and marked as deleted; the WhatsApp count line counts messages.
#include "UiTestSupport.h"
#include "config/LanguageConfig.h"
#include "records/BrimleyAppDelegate.h"
#include "records/SMS.h"
#include "records/WhatsApp.h"
#include "ui/ChatPages.h"
#include "ui/ChatScreens.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <functional>

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

// The messages the page draws, by the texts "m<number>" they hold, in page order.
std::vector<int> Drawn(const std::string& page, int count) {
    std::vector<std::pair<std::size_t, int>> at;
    for (int i = 0; i < count; ++i)
        if (const std::size_t found = page.find(">m" + std::to_string(i) + "<"); found != std::string::npos)
            at.emplace_back(found, i);
    std::sort(at.begin(), at.end());
    std::vector<int> drawn;
    for (const auto& [position, i] : at) drawn.push_back(i);
    return drawn;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> range;
    for (int i = from; i <= to; ++i) range.push_back(i);
    return range;
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

    // A chat longer than a block opens on its newest block; the control above the page loads
    // the next older block and names how many older messages there are, the other one the
    // newer block back: every message of the chat is reached, the deleted ones marked.
    void everyMessageOfALongChatIsReached() {
        LanguageConfig::sharedObject().setText(LanguageKey::ChatPageOlderMessages, std::string("{0} older"));
        LanguageConfig::sharedObject().setText(LanguageKey::ChatPageNewerMessages, std::string("{0} newer"));
        constexpr int kCount = 11;
        std::vector<std::shared_ptr<SMS>> sms[2];
        std::vector<std::shared_ptr<WhatsApp>> whatsApp[2];
        for (int i = 0; i < kCount; ++i) {
            const std::string text = "m" + std::to_string(i);
            const std::string time = "2016-05-01 10:" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ":00";
            // Every third message was deleted.
            sms[i % 3 == 0].push_back(Sms(text.c_str(), time.c_str()));
            whatsApp[i % 3 == 0].push_back(Wa("anna@s", text.c_str(), time.c_str()));
        }
        record.SMSContent.replace(sms[0]);
        record.DeletedSMS.replace(sms[1]);
        record.WhatsAppContent.replace(whatsApp[0]);
        record.DeletedWhatsApp.replace(whatsApp[1]);
        SMSViewController messages(host());
        WhatsAppViewController chats(host());
        const struct {
            ChatView* view;
            std::function<void()> open;
        } screens[] = {
            {messages.chatView, [&] { messages.toggleChanged(); messages.selectRow(0); }},
            {chats.chatView, [&] { chats.toggleChanged(); chats.selectRow(0); }},
        };
        const struct {
            void (ChatView::*step)();
            std::vector<int> drawn;
            int older;
            int newer;
        } walk[] = {
            {nullptr, Range(7, 10), 7, 0},       {&ChatView::older, Range(3, 6), 3, 4},
            {&ChatView::older, Range(0, 2), 0, 8}, {&ChatView::older, Range(0, 2), 0, 8},
            {&ChatView::newer, Range(3, 6), 3, 4}, {&ChatView::newer, Range(7, 10), 7, 0},
        };
        for (const auto& screen : screens) {
            screen.view->blockSize = 4;
            screen.open();
            for (const auto& at : walk) {
                if (at.step == &ChatView::older) screen.view->olderButton->click();
                if (at.step == &ChatView::newer) screen.view->newerButton->click();
                const std::string page = screen.view->page->page();
                QCOMPARE(Drawn(page, kCount), at.drawn);
                std::vector<std::string> deleted;
                for (int i : at.drawn)
                    if (i % 3 == 0) deleted.push_back("m" + std::to_string(i));
                QCOMPARE(MarkedDeleted(page), deleted);
                QCOMPARE(screen.view->olderButton->isVisibleTo(screen.view), at.older > 0);
                QCOMPARE(screen.view->newerButton->isVisibleTo(screen.view), at.newer > 0);
                if (at.older) QCOMPARE(screen.view->olderButton->text(), QStringLiteral("%1 older").arg(at.older));
                if (at.newer) QCOMPARE(screen.view->newerButton->text(), QStringLiteral("%1 newer").arg(at.newer));
            }
        }
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
