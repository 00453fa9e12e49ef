#include "CarvingTestSupport.h"

#include "records/BrimleyAppDelegate.h"

#include <cstdio>
#include <mutex>
#include <stdexcept>

namespace carvingtest {

std::vector<std::shared_ptr<CarvedRow>> TestRecoverer::rows() const {
    std::vector<std::shared_ptr<CarvedRow>> out;
    for (const auto& r : RecoveredFiltered()) out.push_back(std::static_pointer_cast<CarvedRow>(r));
    return out;
}

std::map<std::string, std::shared_ptr<CarvedRow>> TestRecoverer::rowsBy(
    const std::string& name) const {
    std::map<std::string, std::shared_ptr<CarvedRow>> out;
    for (const auto& row : rows()) {
        const auto it = row->values.find(name);
        if (it != row->values.end() && it->second.isText()) out.emplace(*it->second.text(), row);
    }
    return out;
}

std::shared_ptr<baseRecoveryObject> TestRecoverer::GetNewRecoveryObject() {
    lastColumns.clear();
    return std::make_shared<CarvedRow>();
}

void TestRecoverer::FillModel(std::int64_t column, const ColumnValue& object,
                              const TablePattern& tablePattern) {
    lastColumns.push_back(column);
    auto* row = static_cast<CarvedRow*>(currentRecord().get());
    row->pattern = &tablePattern;
    row->columns[column] = object;
    const AttributesMapping* mapping = tablePattern.mappingForColumn(column);
    if (!mapping || !mapping->Name()) return;
    markCurrentMapped();
    row->values[*mapping->Name()] = object;
}

std::int32_t TestRecoverer::verifyDataPosition(ByteView text) {
    return verify ? verify(text) : kKeepPosition;
}

void TestRecoverer::addRecoveredObject() {
    ++offered;
    if (currentWasMapped() && currentRecord()) {
        static_cast<CarvedRow*>(currentRecord().get())->complete = currentRecordIsComplete();
        static_cast<CarvedRow*>(currentRecord().get())->inLiveCell = currentRecordLiesInLiveCell();
        RecoveredFiltered().push_back(currentRecord());
        if (notifyWindow) BrimleyAppDelegate::appDelegate().updateUIfoundRecoveredData();
    }
}

TablePattern MakePattern(const std::string& header,
                         const std::vector<std::pair<std::string, std::int64_t>>& mappings) {
    TablePattern pattern;
    pattern.setHeaderPattern(header);
    for (const auto& [name, column] : mappings)
        pattern.addAttributesMapping(AttributesMapping(name, column));
    return pattern;
}

std::shared_ptr<const SqLiteTableSignatures> RealSignatures() {
    static std::once_flag once;
    static std::shared_ptr<const SqLiteTableSignatures> catalogue;
    std::call_once(once, [] {
        auto loaded = std::make_shared<SqLiteTableSignatures>();
        if (!loaded->LoadSignaturesFile(SqLiteTableSignatures::ResourcePath()))
            throw std::runtime_error("cannot load " + SqLiteTableSignatures::ResourcePath());
        catalogue = loaded;
    });
    return catalogue;
}

std::vector<TablePattern> MessagePatterns() {
    const SQLiteSignature* signature = RealSignatures()->Find("HomeDomain", "sms.db", "MESSAGE");
    if (!signature) throw std::runtime_error("no message signature");
    return signature->TablePatterns();
}

namespace {

std::string Uuid(std::mt19937& random) {
    static const char* hex = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 36; ++i)
        s += (i == 8 || i == 13 || i == 18 || i == 23) ? '-' : hex[random() % 16];
    return s;
}

const char* const kTexts[] = {
    "OK",
    "",
    "Bin gleich da",
    "Can you pick up milk on the way home? We are out and the shop closes at eight.",
    "Grüße aus Köln! Das Wetter ist herrlich, wir sitzen am Rhein und essen Eis. 🎉🍦",
    "Привет! Как дела? Позвони мне, когда будешь свободен.",
    "日本語のテキストも大丈夫ですか？明日の会議は十時からです。",
    "See you at 7 😀",
    "Your verification code is 482913. Do not share it with anyone.",
};

}  // namespace

testsupport::Row MessageRowMaker::next(bool iOS9Columns) {
    ++counter;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    testsupport::Row row;
    row.emplace_back("guid", Uuid(random));

    ColumnValue text;
    const int kind = pick(10);
    if (kind == 0) {
        text = ColumnValue::Null();
    } else if (kind == 1) {
        // A long text: several hundred bytes, so its serial type takes two varint bytes.
        std::string s;
        while (static_cast<int>(s.size()) < 120 + pick(std::max(1, maxBytes / 2 - 120)))
            s += kTexts[3 + pick(6)], s += ' ';
        text = s;
    } else {
        text = std::string(kTexts[pick(9)]);
    }
    row.emplace_back("text", text);
    row.emplace_back("replace", std::int64_t{0});
    row.emplace_back("handle_id", std::int64_t{pick(40)});
    row.emplace_back("subject", pick(8) == 0 ? ColumnValue("Re: Urlaub") : ColumnValue::Null());
    row.emplace_back("country", pick(3) == 0 ? ColumnValue("de") : ColumnValue::Null());
    if (pick(4) != 0) {
        Bytes body(static_cast<std::size_t>(40 + pick(120)));
        for (auto& b : body) b = static_cast<std::uint8_t>(random());
        row.emplace_back("attributedBody", body);
    }
    const bool iMessage = pick(2) == 0;
    row.emplace_back("service", iMessage ? "iMessage" : "SMS");
    row.emplace_back("account", iMessage ? ColumnValue("e:anna.schmidt@example.com")
                                         : ColumnValue("p:+4915112345678"));
    row.emplace_back("account_guid",
                     pick(5) == 0 ? ColumnValue::Null() : ColumnValue(Uuid(random)));
    const std::int64_t date = 400000000 + counter * 97 + pick(50);
    row.emplace_back("date", date);
    row.emplace_back("date_read", pick(3) == 0 ? std::int64_t{0} : date + pick(5000));
    row.emplace_back("date_delivered", pick(2) == 0 ? std::int64_t{0} : date + 2);
    row.emplace_back("is_delivered", std::int64_t{1});
    row.emplace_back("is_finished", std::int64_t{1});
    row.emplace_back("is_from_me", std::int64_t{pick(2)});
    row.emplace_back("is_read", std::int64_t{pick(2)});
    row.emplace_back("is_sent", std::int64_t{pick(2)});
    row.emplace_back("error", pick(20) == 0 ? std::int64_t{-1} : std::int64_t{0});
    if (iOS9Columns) {
        row.emplace_back("date_played",
                         pick(6) == 0 ? ColumnValue(date + 30) : ColumnValue::Null());
        row.emplace_back("group_title",
                         pick(10) == 0 ? ColumnValue("Familie 👪") : ColumnValue::Null());
        row.emplace_back("other_handle", std::int64_t{pick(3)});
    }
    return row;
}

std::map<std::string, ColumnValue> ExpectedMessageValues(const testsupport::Row& row) {
    static const char* const kMapped[] = {
        "guid",         "text", "handle_id", "service",        "account",
        "account_guid", "date", "date_read", "date_delivered", "is_from_me"};
    std::map<std::string, ColumnValue> expected;
    for (const char* name : kMapped)
        for (const auto& [column, value] : row)
            if (column == name && !value.isNull()) expected[name] = value;
    return expected;
}

std::string TextOf(const testsupport::Row& row, const std::string& column) {
    for (const auto& [name, value] : row)
        if (name == column && value.isText()) return *value.text();
    return {};
}

}  // namespace carvingtest
