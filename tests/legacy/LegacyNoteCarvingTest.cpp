// Deleted notes carved straight from the notes database's bytes.

#include "common/Clock.h"
#include "legacy/LegacyNoteCarving.h"
#include "legacy/LegacyRecovery.h"
#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/Note.h"
#include "support/FixtureDatabase.h"
#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::literals;
using testsupport::FixtureDatabase;
using testsupport::TempDir;

constexpr const char* kNotesName = "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c";

using Bytes = std::vector<std::uint8_t>;
using Routine = bool (LegacyNoteCarving::*)();

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A scan of a backup folder holding the notes database (or nothing), one routine at a time.
struct NoteRun {
    TempDir dir;
    BrimleyAppDelegate record;
    DeviceInfo device;
    std::stop_source stop;
    std::unique_ptr<LegacyRecovery> run;
    Bytes given;

    NoteRun() {
        device.setIOSMajorVersion(7);
        record.BACKUP_DIRECTORY.set(dir.path().string());
        record.databaseName(DatabaseRole::Notes).set(kNotesName);
        run = std::make_unique<LegacyRecovery>(testsupport::ContextFor(record, device, stop.get_token()));
    }
    std::filesystem::path databasePath() const { return dir / kNotesName; }
    void useBytes(Bytes bytes) {
        given = std::move(bytes);
        run->setDatabaseBytes(DatabaseRole::Notes, {given.data(), given.size()});
    }
    bool runs(Routine routine) {
        LegacyNoteCarving carving(*run);
        return (carving.*routine)();
    }
    std::vector<std::shared_ptr<Note>> notes() const { return record.DeletedNotes.snapshot(); }
};

struct NoteRow {
    std::int64_t id;
    int deletedFlag;
    const char* title;
    const char* summary;
};

// A notes database of one schema with the rows inserted, then those of toDelete deleted.
void BuildNotes(const std::filesystem::path& path, const char* schema, const std::vector<NoteRow>& rows,
                const std::vector<std::int64_t>& toDelete) {
    auto db = FixtureDatabase::FromSchema(path, schema);
    db.exec("PRAGMA secure_delete=OFF");
    for (const NoteRow& row : rows) {
        db.insert("ZNOTE", {{"Z_PK", row.id},
                            {"Z_ENT", 3},
                            {"Z_OPT", 5},
                            {"ZCONTAINSCJK", 0},
                            {"ZCONTENTTYPE", 0},
                            {"ZDELETEDFLAG", row.deletedFlag},
                            {"ZEXTERNALFLAGS", 0},
                            {"ZINTEGERID", 7},
                            {"ZBODY", row.id},
                            {"ZSTORE", 1},
                            {"ZCREATIONDATE", 400000000.5},
                            {"ZMODIFICATIONDATE", 400000100.5},
                            {"ZGUID", "GUID-" + std::to_string(row.id)},
                            {"ZSUMMARY", row.summary},
                            {"ZTITLE", row.title}});
    }
    for (std::int64_t id : toDelete) db.deleteRow("ZNOTE", id);
    db.close();
}

// The bytes of a real notes database (the nearest layout at hand for the pattern routines) with
// one zero page appended and a pattern planted at offset 100 of it.
Bytes PlantedInNotes(const std::filesystem::path& path, const Bytes& pattern) {
    BuildNotes(path, "notes-ios4.sql", {}, {});
    Bytes bytes = ReadFile(path);
    const std::size_t start = bytes.size();
    bytes.resize(bytes.size() + 4096, 0);
    std::copy(pattern.begin(), pattern.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start + 100));
    return bytes;
}

Bytes Pattern(std::initializer_list<std::pair<std::size_t, Bytes>> pieces, std::size_t size = 400) {
    Bytes bytes(size, 0);
    for (const auto& [at, piece] : pieces) std::copy(piece.begin(), piece.end(), bytes.begin() + at);
    return bytes;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace

TEST(LegacyNotes, DecodedHeadersListTheNotesFlaggedDeleted) {
    NoteRun ios6;
    BuildNotes(ios6.databasePath(), "notes-ios4.sql",
               {{1, 0, "Shopping", "Milk and eggs"}, {2, 1, "Trash note", "Thrown away"}, {3, 0, "Gone", "Removed"}},
               {2, 3});
    EXPECT_TRUE(ios6.runs(&LegacyNoteCarving::RecoverDeletedNotes_iOS6));
    auto notes = ios6.notes();
    // Only the record flagged deleted; the iOS 6 record's last column (its title) is the 17th.
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]->Summary(), "Trash note");
    EXPECT_FALSE(notes[0]->CreatedDate());
    EXPECT_EQ(notes[0]->SlNo(), 0);
    EXPECT_EQ(ios6.record.DeletedNoteCount.load(), 1);

    NoteRun ios7;
    ios7.record.NotesContent.append(std::make_shared<Note>());
    ios7.record.NotesContent.snapshot()[0]->setCreatedDate("2013-09-18 10:00:00");
    BuildNotes(ios7.databasePath(), "notes-ios7.sql",
               {{1, 0, "Shopping", "Milk and eggs"}, {2, 1, "Trash note", "Thrown away"}, {3, 0, "Gone", "Removed"}},
               {2, 3});
    EXPECT_TRUE(ios7.runs(&LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2));
    std::vector<std::string> listed;
    for (const auto& note : ios7.notes()) {
        listed.push_back(note->Title().value_or("-") + "/" + note->Summary().value_or("-"));
        // No date of another note is given to a carved one.
        EXPECT_FALSE(note->CreatedDate());
    }
    std::sort(listed.begin(), listed.end());
    // The live note (its row id is live, its flag clear) is not listed; the deleted rows are.
    EXPECT_EQ(listed, (std::vector<std::string>{"Gone/Removed", "Trash note/Thrown away"}));

    // Cut inside the data of the last record: no read past the end, no note from it.
    const Bytes bytes = ReadFile(ios7.databasePath());
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin("Thrown"), std::end("Thrown") - 1);
    ASSERT_NE(at, bytes.end());
    for (Routine routine : {&LegacyNoteCarving::RecoverDeletedNotes_iOS6, &LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2}) {
        NoteRun damaged;
        damaged.useBytes(Bytes(bytes.begin(), at + 3));
        damaged.runs(routine);
        for (const auto& note : damaged.notes()) EXPECT_NE(note->Title(), "Trash note");
    }
}

// The note table of iOS 7 has a column more in the middle of its record than the one the text
// patterns were drawn from: its deleted notes are read by their own record headers, each with
// its title, summary and dates; the live notes, and the old copy of one saved anew, are not.
TEST(LegacyNotes, TheIOS7NoteTableGivesItsDeletedNotesWhole) {
    Clock::ScopedTimeZone zone("UTC");
    NoteRun scan;
    {
        auto db = FixtureDatabase::FromSchema(scan.databasePath(), "notes-ios7.sql");
        db.exec("PRAGMA secure_delete=OFF");
        const char* titles[] = {"Groceries", "Packing list for Lisbon", "Gift ideas", "Book club questions",
                                "Wifi password at the cabin"};
        for (std::int64_t id = 1; id <= 5; ++id) {
            const std::string title = titles[id - 1];
            db.insert("ZNOTE", {{"Z_PK", id}, {"Z_ENT", 3}, {"Z_OPT", 4}, {"ZCONTAINSCJK", 0}, {"ZCONTENTTYPE", 0},
                                {"ZDELETEDFLAG", 0}, {"ZEXTERNALFLAGS", 0}, {"ZEXTERNALSEQUENCENUMBER", 0},
                                {"ZINTEGERID", 1000 + id}, {"ZISBOOKKEEPINGENTRY", 0}, {"ZBODY", id}, {"ZSTORE", 1},
                                {"ZCREATIONDATE", 400000000.25 + 86400.0 * static_cast<double>(id)},
                                {"ZMODIFICATIONDATE", 400000500.75 + 86400.0 * static_cast<double>(id)},
                                {"ZGUID", "7F3A1C2E-5B4D-4E6F-8A9B-00000000000" + std::to_string(id)},
                                {"ZSUMMARY", "Notes on " + title}, {"ZTITLE", title}});
            db.insert("ZNOTEBODY", {{"Z_PK", id}, {"Z_ENT", 2}, {"Z_OPT", 1}, {"ZOWNER", id},
                                    {"ZCONTENT", "<div>" + title + "</div><div>Notes on " + title + "</div>"}});
        }
        // Saved anew with a longer text: its old cell stays in the page's free space.
        db.exec("UPDATE ZNOTE SET Z_OPT = 5, ZSUMMARY = ZSUMMARY || ', and more of them' WHERE Z_PK = 1");
        db.exec("DELETE FROM ZNOTE WHERE Z_PK IN (2, 4); DELETE FROM ZNOTEBODY WHERE ZOWNER IN (2, 4)");
        db.close();
    }
    EXPECT_TRUE(scan.runs(&LegacyNoteCarving::RecoverDeletedNewIOS6Notes));
    std::vector<std::string> listed;
    for (const auto& note : scan.notes())
        listed.push_back(note->Title().value_or("-") + " / " + note->Summary().value_or("-") + " / " +
                         note->CreatedDate().value_or("-"));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "Book club questions / Notes on Book club questions / 2013-09-08 15:06:40",
                          "Packing list for Lisbon / Notes on Packing list for Lisbon / 2013-09-06 15:06:40"}));
    EXPECT_EQ(scan.record.DeletedNoteCount.load(), 2);
}

TEST(LegacyNotes, OlderPatternsGiveTheTextThatFollows) {
    const Bytes p1 = {0x05, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x04};  // the length byte first
    const struct {
        Routine routine;
        Bytes pattern;
        std::optional<std::string_view> expected;  // none: no note
    } cases[] = {
        // Five bytes from p + 10: after the pattern the next header test fails and p moves on.
        {&LegacyNoteCarving::RecoverDeletedNewNotes, Pattern({{99, p1}, {109, Text("xHello world")}}), "Hello"},
        // From p + 9 up to and including the first pair of zero bytes.
        {&LegacyNoteCarving::RecoverDeletedNotes, Pattern({{99, p1}, {109, Text("Hi there")}}),
         "Hi there\0\0"sv},
        // P2 needs 0xFF at p + 17 in the iOS 5 routine, not in the older one.
        {&LegacyNoteCarving::RecoverDeletedNewNotes,
         Pattern({{100, {1, 1, 1, 7, 7, 0, 0, 0, 0x0D, 0x17}}, {144, Text("Dentist at ten")}}), std::nullopt},
        {&LegacyNoteCarving::RecoverDeletedNotes,
         Pattern({{100, {1, 1, 1, 7, 7, 0, 0, 0, 0x0D, 0x17}}, {144, Text("Dentist")}}), "Dentist\0\0"sv},
        {&LegacyNoteCarving::RecoverDeletedNewNotes,
         Pattern({{100, {1, 1, 1, 7, 7, 0, 0, 0, 0x0D, 0x17}}, {117, {0xFF}}, {145, Text("Dentist at ten")}}),
         "Denti"},
        // P3 (iOS 5 only): a two-byte length 0x81 0x01 = 129: (129 - 13) / 2 = 58 bytes.
        {&LegacyNoteCarving::RecoverDeletedNewNotes,
         Pattern({{100, {8, 1, 9, 7, 7, 0, 0, 0, 0x0D, 0x81, 0x01}}, {136, Text(std::string(58, 'n'))}}),
         "nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"},
        // Bytes that are not ISO-2022-JP give no note.
        {&LegacyNoteCarving::RecoverDeletedNewNotes, Pattern({{99, p1}, {109, {'x', 0x90, 0x91, 0x92, 0x93, 0x94}}}),
         std::nullopt},
    };
    TempDir dir;
    for (const auto& c : cases) {
        NoteRun scan;
        scan.useBytes(PlantedInNotes(dir / "n.db", c.pattern));
        const bool found = scan.runs(c.routine);
        const auto notes = scan.notes();
        if (!c.expected) {
            EXPECT_TRUE(notes.empty());
            continue;
        }
        EXPECT_TRUE(found);
        ASSERT_EQ(notes.size(), 1u) << *c.expected;
        EXPECT_EQ(notes[0]->Summary(), std::string(*c.expected));
        EXPECT_EQ(notes[0]->SlNo(), 1);
        EXPECT_EQ(scan.record.DeletedNoteCount.load(), 1);
    }
}

TEST(LegacyNotes, LaterPatternsListTheNoteTableTextsThatNoLiveNoteHas) {
    NoteRun scan;
    {
        auto db = FixtureDatabase::FromSchema(scan.databasePath(), "notes-ios4.sql");
        db.exec("PRAGMA secure_delete=OFF");
        const struct {
            int id;
            const char* title;
            const char* summary;
        } rows[] = {{1, "Shopping list", "Milk and eggs and bread"}, {2, "Plumber visit", "Call the plumber about the leak"}};
        for (const auto& row : rows) {
            // The flags and ids that make the header pattern: four zero flags, a 6-byte server id.
            db.insert("ZNOTE", {{"Z_PK", row.id}, {"Z_ENT", 3}, {"Z_OPT", 5}, {"ZCONTAINSCJK", 0},
                                {"ZCONTENTTYPE", 0}, {"ZDELETEDFLAG", 0}, {"ZEXTERNALFLAGS", 0},
                                {"ZEXTERNALSERVERINTID", std::int64_t{1} << 40}, {"ZINTEGERID", 7}, {"ZBODY", row.id},
                                {"ZSTORE", 1}, {"ZCREATIONDATE", 400000000.5}, {"ZMODIFICATIONDATE", 400000100.5},
                                {"ZAUTHOR", "me"}, {"ZGUID", "5A6B-GUID-" + std::to_string(row.id)},
                                {"ZSUMMARY", row.summary}, {"ZTITLE", row.title}});
        }
        db.deleteRow("ZNOTE", 2);
        db.close();
    }
    const auto texts = [&] {
        std::vector<std::string> listed;
        for (const auto& note : scan.notes()) listed.push_back(note->Title().value_or(""));
        return listed;
    };
    const auto anyHas = [](const std::vector<std::string>& listed, std::string_view part) {
        return std::any_of(listed.begin(), listed.end(), [&](const std::string& t) { return t.find(part) != t.npos; });
    };
    scan.record.NotesContent.append(std::make_shared<Note>());
    scan.record.NotesContent.snapshot()[0]->setCreatedDate("2013-09-18 10:00:00");
    EXPECT_TRUE(scan.runs(&LegacyNoteCarving::RecoverDeletedNewIOS6Notes));
    auto listed = texts();
    // The live note's text is its title: not listed. The deleted one's tail is.
    EXPECT_TRUE(anyHas(listed, "Plumber visit"));
    EXPECT_FALSE(anyHas(listed, "Shopping list"));
    for (const auto& note : scan.notes()) {
        EXPECT_EQ(note->Summary(), note->Title());
        EXPECT_FALSE(note->CreatedDate());  // no live note's date is lent to a carved one
    }
    EXPECT_TRUE(scan.runs(&LegacyNoteCarving::RecoverDeletedNewIOS7Notes));
    EXPECT_TRUE(anyHas(texts(), "Call the plumber about the leakPlumber visit"));
}

TEST(LegacyNotes, SecondPatternLengthsAndTextStarts) {
    const Bytes ios6Header = {0x01, 0x01, 0x08, 0x08, 0x09, 0x03};
    const Bytes ios7Header = {0x01, 0x01, 0x08, 0x08, 0x08, 0x03};
    const struct {
        Routine routine;
        Bytes pattern;
        const char* expected;  // nullptr: no note
    } cases[] = {
        // Length 40 ((0x5D - 13) / 2): 4 bytes from 36 past the start, p + 18 + 61.
        {&LegacyNoteCarving::RecoverDeletedNewIOS6Notes, Pattern({{100, ios6Header}, {117, {0x5D}}, {215, Text("Memo")}}),
         "Memo"},
        // Length 36 gives no text.
        {&LegacyNoteCarving::RecoverDeletedNewIOS6Notes, Pattern({{100, ios6Header}, {117, {0x55}}, {215, Text("Memo")}}),
         nullptr},
        // Without a first length: n at p + 18, the text at p + 19 + 61.
        {&LegacyNoteCarving::RecoverDeletedNewIOS7Notes, Pattern({{100, ios7Header}, {118, {0x17}}, {180, Text("Notes")}}),
         "Notes"},
        // A first length of 3: the text at p + 19 + 19 + 3 + 36, one further after 0x17 at e + 16.
        {&LegacyNoteCarving::RecoverDeletedNewIOS7Notes,
         Pattern({{100, ios7Header}, {114, {0x13}}, {118, {0x17}}, {177, Text("Notes")}}), "Notes"},
        {&LegacyNoteCarving::RecoverDeletedNewIOS7Notes,
         Pattern({{100, ios7Header}, {114, {0x13}}, {118, {0x17}}, {135, {0x17}}, {178, Text("Notes")}}), "Notes"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        NoteRun scan;
        scan.useBytes(PlantedInNotes(dir / "n.db", c.pattern));
        EXPECT_TRUE(scan.runs(c.routine));
        const auto notes = scan.notes();
        if (!c.expected) {
            EXPECT_TRUE(notes.empty());
            continue;
        }
        ASSERT_EQ(notes.size(), 1u) << c.expected;
        EXPECT_EQ(notes[0]->Title(), c.expected);
        EXPECT_EQ(notes[0]->SlNo(), 1);
    }
}

TEST(LegacyNotes, HeadersAtTheVeryEndAndLengthsPastItGiveNoNote) {
    const Routine routines[] = {
        &LegacyNoteCarving::RecoverDeletedNotes,         &LegacyNoteCarving::RecoverDeletedNewNotes,
        &LegacyNoteCarving::RecoverDeletedNewIOS6Notes,  &LegacyNoteCarving::RecoverDeletedNewIOS7Notes,
        &LegacyNoteCarving::RecoverDeletedNotes_iOS6,    &LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2,
    };
    const Bytes headers[] = {
        {0x05, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x04},
        {0x00, 0x01, 0x01, 0x01, 0x07, 0x07, 0x00, 0x00, 0x00, 0x0D, 0xFF, 0xFF},
        {0x00, 0x08, 0x08, 0x08, 0x08, 0x05, 0x01, 0, 0, 0, 0, 0, 0xFF},
        {0x00, 0x01, 0x01, 0x08, 0x08, 0x09, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0xFF},
        {0x00, 0x01, 0x09, 0x08, 0x08, 0x09, 0x00, 0, 0, 0, 0, 0, 0x07, 0x07, 0x07, 0xFF, 0xFF, 0xFF},
    };
    TempDir dir;
    for (const Bytes& header : headers) {
        for (std::size_t fromEnd : {header.size(), std::size_t{23}, std::size_t{40}}) {
            Bytes bytes = PlantedInNotes(dir / "n.db", {});
            std::copy(header.begin(), header.end(), bytes.end() - static_cast<std::ptrdiff_t>(fromEnd));
            for (const Routine& routine : routines) {
                NoteRun scan;
                scan.useBytes(bytes);
                scan.runs(routine);
                // The two oldest routines' texts lie inside the data; the others find nothing.
                for (const auto& note : scan.notes()) {
                    EXPECT_LE(&routine - routines, 1);
                    EXPECT_LE(note->Summary().value_or("").size(), fromEnd);
                }
            }
        }
    }
}

TEST(LegacyNotes, AMissingFileAndAStoppedScanListNothing) {
    const struct {
        Routine routine;
        bool clearsRecovering;
    } cases[] = {
        {&LegacyNoteCarving::RecoverDeletedNotes, true},        {&LegacyNoteCarving::RecoverDeletedNewNotes, true},
        {&LegacyNoteCarving::RecoverDeletedNewIOS6Notes, true}, {&LegacyNoteCarving::RecoverDeletedNewIOS7Notes, true},
        {&LegacyNoteCarving::RecoverDeletedNotes_iOS6, false},  {&LegacyNoteCarving::RecoverDeletedNotes_iOS7_0_2, false},
    };
    for (const auto& c : cases) {
        NoteRun scan;
        scan.record.DeletedNotes.append(std::make_shared<Note>());
        EXPECT_FALSE(scan.runs(c.routine));
        EXPECT_TRUE(scan.notes().empty());
        EXPECT_EQ(scan.run->isRecovering.load(), !c.clearsRecovering);
    }
    NoteRun scan;
    BuildNotes(scan.databasePath(), "notes-ios4.sql", {{2, 1, "Trash note", "Thrown away"}}, {2});
    scan.stop.request_stop();
    EXPECT_FALSE(scan.runs(&LegacyNoteCarving::RecoverDeletedNotes_iOS6));
    EXPECT_TRUE(scan.notes().empty());
}
