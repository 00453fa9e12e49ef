// The messages and call screens on big lists: building the conversation rows of 250,000
// messages, a search keystroke over them (the index and the rows, and the whole screen with its
// table and chat page), and sorting 100,000 calls by their date. The lists are made in memory,
// once per run; TORVANE_BENCH_MESSAGES and TORVANE_BENCH_CALLS change their sizes.

#include "records/BrimleyAppDelegate.h"
#include "records/CallLog.h"
#include "records/Contact.h"
#include "records/SMS.h"
#include "ui/ChatPages.h"
#include "ui/ChatScreens.h"
#include "ui/Conversations.h"
#include "ui/RecordTable.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::size_t Size(const char* variable, std::size_t fallback) {
    const char* text = std::getenv(variable);
    return text ? static_cast<std::size_t>(std::strtoull(text, nullptr, 10)) : fallback;
}

const char* const kWords[] = {"hello", "see", "you", "tomorrow", "at", "the", "station", "dinner", "tonight",
                              "thanks", "call", "me", "later", "running", "late", "meeting", "coffee", "ok",
                              "love", "weekend", "train", "delayed", "keys", "under", "mat", "birthday",
                              "party", "Saturday", "flight", "landed", "Grüße", "bis", "später"};

std::string Number(std::mt19937& random, std::size_t person) {
    // The same person written in the ways phones store numbers.
    const std::string digits = std::to_string(1510000000 + person * 7919 % 90000000);
    switch (random() % 3) {
        case 0: return "+49" + digits;
        case 1: return "+49 " + digits.substr(0, 3) + " " + digits.substr(3);
        default: return "0" + digits;
    }
}

struct Lists {
    std::vector<std::shared_ptr<SMS>> existing, deleted;
    std::vector<std::shared_ptr<Contact>> contacts;
    std::vector<std::shared_ptr<CallLog>> calls;
};

const Lists& Data() {
    static const Lists lists = [] {
        Lists l;
        std::mt19937 random(20161102);
        const std::size_t messages = Size("TORVANE_BENCH_MESSAGES", 250000);
        const std::size_t people = 5000;
        for (std::size_t p = 0; p < 2000; ++p) {
            auto c = std::make_shared<Contact>();
            c->setFirstName("Person " + std::to_string(p));
            c->setContactNo1(Number(random, p * 2));
            c->setContactNo2(Number(random, p * 2 + 1));
            c->setEmailAddress1("person" + std::to_string(p) + "@example.com");
            l.contacts.push_back(std::move(c));
        }
        for (std::size_t i = 0; i < messages; ++i) {
            auto m = std::make_shared<SMS>();
            m->setAddress(Number(random, random() % people));
            std::string text;
            const std::size_t words = 3 + random() % 12;
            for (std::size_t w = 0; w < words; ++w) text += std::string(kWords[random() % std::size(kWords)]) + " ";
            m->setMessage(std::move(text));
            m->setType(std::string(random() % 2 ? "Received from" : "Sent to"));
            m->setLocalTime("2016-" + std::to_string(1 + random() % 9) + "-1" + std::to_string(random() % 9) +
                            " 1" + std::to_string(random() % 9) + ":3" + std::to_string(random() % 9) + ":00");
            (i % 5 == 4 ? l.deleted : l.existing).push_back(std::move(m));
        }
        const std::size_t calls = Size("TORVANE_BENCH_CALLS", 100000);
        for (std::size_t i = 0; i < calls; ++i) {
            auto c = std::make_shared<CallLog>();
            c->setAddress(Number(random, random() % people));
            c->setLocalTime("2016-0" + std::to_string(1 + random() % 9) + "-1" + std::to_string(random() % 9) +
                            " 0" + std::to_string(1 + random() % 9) + ":1" + std::to_string(random() % 9) +
                            (random() % 2 ? " AM" : " PM"));
            c->setCallDuration(static_cast<std::int32_t>(random() % 3600));
            l.calls.push_back(std::move(c));
        }
        return l;
    }();
    return lists;
}

void BM_ConversationIndexBuild(benchmark::State& state) {
    const Lists& l = Data();
    for (auto _ : state) {
        ConversationIndex index(l.existing, l.deleted, l.contacts);
        benchmark::DoNotOptimize(index.size());
    }
    state.counters["messages"] = static_cast<double>(l.existing.size() + l.deleted.size());
}
BENCHMARK(BM_ConversationIndexBuild)->Unit(benchmark::kMillisecond);

void BM_ConversationRows(benchmark::State& state) {
    const Lists& l = Data();
    const ConversationIndex index(l.existing, l.deleted, l.contacts);
    const auto working = index.workingList(true);
    std::size_t rows = 0;
    for (auto _ : state) rows = index.rows(working).size();
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_ConversationRows)->Unit(benchmark::kMillisecond);

// One keystroke of a search: the messages that hold the text and their conversation rows.
void BM_SearchKeystroke(benchmark::State& state, const char* text) {
    const Lists& l = Data();
    const ConversationIndex index(l.existing, l.deleted, l.contacts);
    const auto working = index.workingList(true);
    std::size_t rows = 0, found = 0;
    for (auto _ : state) {
        const auto matches = index.search(working, text);
        rows = index.rows(matches).size();
        found = static_cast<std::size_t>(std::count(matches.begin(), matches.end(), 1));
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK_CAPTURE(BM_SearchKeystroke, one_letter, "e")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchKeystroke, word, "station")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchKeystroke, digits, "0151")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SearchKeystroke, no_match, "zzzq")->Unit(benchmark::kMillisecond);

// The messages screen itself: its lists in the shared record, a keystroke of the window's
// search as the screen handles it (rows, table, the chat page of the first row).
BrimleyAppDelegate& Record() {
    static BrimleyAppDelegate& record = [] () -> BrimleyAppDelegate& {
        static BrimleyAppDelegate r;
        const Lists& l = Data();
        r.SMSContent.replace(l.existing);
        r.DeletedSMS.replace(l.deleted);
        r.ContactContent.replace(l.contacts);
        return r;
    }();
    return record;
}

ScreenHost Host() {
    ScreenHost host;
    host.record = &Record();
    host.clearSearchField = [] {};
    host.openAddress = [](const QString&) {};
    return host;
}

void BM_MessagesScreenOpen(benchmark::State& state) {
    for (auto _ : state) {
        SMSViewController screen(Host());
        screen.toggleChanged();
        benchmark::DoNotOptimize(screen.shown().rows.size());
    }
}
BENCHMARK(BM_MessagesScreenOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MessagesScreenKeystroke(benchmark::State& state) {
    SMSViewController screen(Host());
    screen.toggleChanged();
    const char* texts[] = {"s", "st", "sta", "stat", "stati", "statio", "station"};
    std::size_t i = 0;
    for (auto _ : state) screen.find(QString::fromUtf8(texts[i++ % std::size(texts)]));
}
BENCHMARK(BM_MessagesScreenKeystroke)->Unit(benchmark::kMillisecond);

// The chat page of a long conversation, as many bubbles as the page draws at most.
void BM_ChatPageOfLongConversation(benchmark::State& state) {
    const Lists& l = Data();
    const std::vector<std::shared_ptr<SMS>> messages(
        l.existing.begin(), l.existing.begin() + std::min(l.existing.size(), SMSViewController::kMostBubbles));
    DetailPage page({}, nullptr);
    page.resize(460, 500);
    for (auto _ : state) page.loadHTMLString(ChatPages::SmsConversation(messages));
    state.counters["bubbles"] = static_cast<double>(messages.size());
}
BENCHMARK(BM_ChatPageOfLongConversation)->Unit(benchmark::kMillisecond);

void BM_SortCallsByDate(benchmark::State& state) {
    const Lists& l = Data();
    RowTable<RecordRow<CallLog>> table;
    TableColumn<RecordRow<CallLog>> date;
    date.identifier = "LocalTime";
    date.kind = ColumnKind::Date;
    date.text = [](const RecordRow<CallLog>& r) { return r.record->LocalTime(); };
    table.columnList = {date};
    bool ascending = true;
    for (auto _ : state) {
        state.PauseTiming();
        table.rows.clear();
        for (const auto& c : l.calls) table.rows.push_back({c, false});
        state.ResumeTiming();
        table.sortBy(0, ascending);
        ascending = !ascending;
    }
    state.counters["calls"] = static_cast<double>(l.calls.size());
}
BENCHMARK(BM_SortCallsByDate)->Unit(benchmark::kMillisecond);

void BM_CallScreenOpen(benchmark::State& state) {
    Record().DeletedCallLog.replace(Data().calls);
    for (auto _ : state) {
        CallLogViewController screen(Host());
        screen.segmentedControl->setSelectedSegment(0);
        screen.toggleChanged();
        benchmark::DoNotOptimize(screen.groupRows().rows.size());
    }
}
BENCHMARK(BM_CallScreenOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CallScreenKeystroke(benchmark::State& state) {
    Record().DeletedCallLog.replace(Data().calls);
    CallLogViewController screen(Host());
    screen.segmentedControl->setSelectedSegment(0);
    screen.toggleChanged();
    const char* texts[] = {"0", "01", "015", "0151", "+49", "pm"};
    std::size_t i = 0;
    for (auto _ : state) screen.find(QString::fromUtf8(texts[i++ % std::size(texts)]));
}
BENCHMARK(BM_CallScreenKeystroke)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Data();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
