#include "services/NotesServices.h"

#include "CalendarCallsNotesWhatsAppSupport.h"
#include "common/Gzip.h"
#include "records/Note.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using testsupport::ContextFor;

using othertest::RecoveryTest;
using testsupport::AutoVacuum;
using testsupport::BackupBuilder;
using testsupport::BackupLayout;
using testsupport::FixtureDatabase;
using testsupport::Row;

constexpr const char* kNotesDomain = "HomeDomain";
constexpr const char* kNotesPath = "Library/Notes/notes.sqlite";
constexpr const char* kNoteStoreDomain = "AppDomainGroup-group.com.apple.notes";
constexpr const char* kNoteStorePath = "NoteStore.sqlite";

// 2016-01-15 08:30:00.25 UTC in seconds since 2001; note i was written i hours later.
constexpr double kFirstNoteTime = 474539400.25;

std::string TitleOf(int i) {
    return "Einkaufsliste " + std::to_string(i);
}

// A note and its body as the notes app stores them: note i and its body both have Z_PK i, the
// note refers to the body (ZBODY) and the body to the note (ZOWNER). Some notes are short
// (no GUID, no summary) and some long.
void AddNote(FixtureDatabase& db, int i, bool iOS7Layout) {
    const double created = kFirstNoteTime + 3600.0 * i;
    Row note = {{"Z_PK", i},
                {"Z_ENT", 2},
                {"Z_OPT", 1 + i % 3},
                {"ZCONTAINSCJK", 0},
                {"ZCONTENTTYPE", 0},
                {"ZDELETEDFLAG", 0},
                {"ZEXTERNALFLAGS", 0},
                {"ZEXTERNALSERVERINTID", -1},
                {"ZINTEGERID", 1000 + i},
                {"ZISBOOKKEEPINGENTRY", 0},
                {"ZBODY", i},
                {"ZSTORE", 1},
                {"ZCREATIONDATE", created},
                {"ZMODIFICATIONDATE", created + 60.5},
                {"ZTITLE", TitleOf(i)}};
    if (iOS7Layout) note.emplace_back("ZEXTERNALSEQUENCENUMBER", 0);
    if (i % 4 != 0) {
        note.emplace_back("ZGUID", "6B1D3F5E-2C4A-4E8B-9D7F-" + std::to_string(100000000000 + i));
        note.emplace_back("ZSUMMARY", "Milch, Brot, Käse und " + std::to_string(i) + " Äpfel");
    }
    db.insert("ZNOTE", note);
    db.insert("ZNOTEBODY", {{"Z_PK", i},
                            {"Z_ENT", 3},
                            {"Z_OPT", 1},
                            {"ZOWNER", i},
                            {"ZCONTENT", "<div>" + TitleOf(i) + "</div><div>Milch<br>Brot</div>"}});
}

// Deletes a note and its body, as the notes app does, remembering both rows.
void DeleteNote(FixtureDatabase& db, int i, othertest::DeletedRows* notes = nullptr,
                othertest::DeletedRows* bodies = nullptr) {
    if (notes) notes->remember(db.handle(), "ZNOTE", i);
    if (bodies) bodies->remember(db.handle(), "ZNOTEBODY", i);
    db.deleteRow("ZNOTE", i);
    db.deleteRow("ZNOTEBODY", i);
}

class NotesServiceTest : public RecoveryTest {
protected:
    std::multiset<std::string> deletedTitles() const {
        std::multiset<std::string> titles;
        for (const auto& note : record.DeletedNotes.snapshot())
            titles.insert(note->Title().value_or("<absent>"));
        return titles;
    }
};

}  // namespace

TEST(NotesSignature, PatternsFollowTheNoteTables) {
    const auto& signatures = *othertest::AppSignatures();
    const SQLiteSignature* notes = signatures.Find("HomeDomain", "notes.sqlite", "ZNOTE");
    ASSERT_NE(notes, nullptr);
    othertest::ExpectPatternsFollowTables(
        *notes, {{"notes-ios7.sql", "ZNOTE"}, {"notes-ios4.sql", "ZNOTE"}},
        {{"ZBODY", "ZBODY"},
         {"ZCREATIONDATE", "ZCREATIONDATE"},
         {"ZMODIFICATIONDATE", "ZMODIFICATIONDATE"},
         {"ZSUMMARY", "ZSUMMARY"},
         {"ZTITLE", "ZTITLE"}});
    const SQLiteSignature* bodies = signatures.Find("HomeDomain", "notes.sqlite", "ZNOTEBODY");
    ASSERT_NE(bodies, nullptr);
    othertest::ExpectPatternsFollowTables(*bodies, {{"notes-ios4.sql", "ZNOTEBODY"}},
                                          {{"ZOWNER", "ZOWNER"}, {"ZCONTENT", "ZCONTENT"}});
    const SQLiteSignature* noteData = signatures.Find("HomeDomain", "notes.sqlite", "ZICNOTEDATA");
    ASSERT_NE(noteData, nullptr);
    othertest::ExpectPatternsFollowTables(*noteData, {{"notestore-ios9.sql", "ZICNOTEDATA"}},
                                          {{"ZNOTE", "ZNOTE"}, {"ZDATA", "ZDATA"}});
}

// Both layouts of the iOS 4-8 notes database, flat and in sub-folders: every deleted note that
// the file still holds comes back once, with its body when the file still holds that; no live
// note is listed.
TEST_F(NotesServiceTest, ListsEveryDeletedNoteWithItsBody) {
    struct Case {
        const char* schema;
        BackupLayout layout;
        int pageSize;
        AutoVacuum vacuum;
    };
    const Case cases[] = {{"notes-ios4.sql", BackupLayout::Flat, 4096, AutoVacuum::None},
                          {"notes-ios7.sql", BackupLayout::Sharded, 4096, AutoVacuum::None},
                          {"notes-ios7.sql", BackupLayout::Flat, 1024, AutoVacuum::None},
                          {"notes-ios4.sql", BackupLayout::Flat, 1024, AutoVacuum::Incremental}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.schema) + " page " + std::to_string(c.pageSize) + " vacuum " +
                     std::to_string(static_cast<int>(c.vacuum)));
        testsupport::TempDir backupDir;
        BackupBuilder backup(backupDir.path(), c.layout);
        auto db = backup.addDatabase(kNotesDomain, kNotesPath, c.schema, {c.pageSize, c.vacuum});
        const bool iOS7 = std::string(c.schema) == "notes-ios7.sql";
        std::set<int> deleted;
        for (int i = 1; i <= 90; ++i) AddNote(db, i, iOS7);
        for (int i = 2; i <= 90; i += 3) deleted.insert(i);
        deleted.insert(90);
        othertest::DeletedRows deletedNotes, deletedBodies;
        for (int i : deleted) DeleteNote(db, i, &deletedNotes, &deletedBodies);
        db.close();
        const auto recoverable = deletedNotes.recoverable(db.path());
        const auto bodiesLeft = deletedBodies.recoverable(db.path());
        // SQLite overwrote some rows when it merged pages; most are still there.
        EXPECT_GE(recoverable.size() * 2, deleted.size());
        useBackup(backup, 8);
        record.DeletedNotes.clear();
        record.AllDeletedNotes.clear();
        record.DeletedNoteCount = 0;

        NotesServices service;
        service.RecoverFromIOSBackup(ContextFor(record, device));

        std::multiset<std::string> expected;
        for (auto i : recoverable) expected.insert(TitleOf(static_cast<int>(i)));
        EXPECT_EQ(deletedTitles(), expected);
        EXPECT_EQ(record.DeletedNoteCount.load(), static_cast<int>(expected.size()));
        EXPECT_EQ(record.AllDeletedNotes.snapshot(), record.DeletedNotes.snapshot());
        for (const auto& note : record.DeletedNotes.snapshot()) {
            SCOPED_TRACE(note->Title().value_or("<absent>"));
            const int i = static_cast<int>(note->noteBodyId());
            EXPECT_EQ(note->Title(), TitleOf(i));
            if (i % 4 == 0)  // no summary: the title stands in for it
                EXPECT_EQ(note->Summary(), TitleOf(i));
            else
                EXPECT_EQ(note->Summary(), "Milch, Brot, Käse und " + std::to_string(i) + " Äpfel");
            EXPECT_EQ(note->OriginalCreationDate(), kFirstNoteTime + 3600.0 * i);
            if (!bodiesLeft.count(i)) continue;
            ASSERT_NE(note->noteBody(), nullptr);
            EXPECT_EQ(note->noteBody()->Content(),
                      "<div>" + TitleOf(i) + "</div><div>Milch<br>Brot</div>");
        }
        // Notes do not refresh the window.
        EXPECT_EQ(window->foundRecoveredData.load(), 0);
    }
}

TEST_F(NotesServiceTest, CarvedDatesShowInLocalTime) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kNotesDomain, kNotesPath, "notes-ios4.sql");
    for (int i = 1; i <= 3; ++i) AddNote(db, i, false);
    DeleteNote(db, 2);
    db.close();
    useBackup(backup, 6);

    NotesServices().RecoverFromIOSBackup(ContextFor(record, device));

    const auto notes = record.DeletedNotes.snapshot();
    ASSERT_EQ(notes.size(), 1u);
    // 2016-01-15 10:30:00.25 UTC, 60.5 seconds later modified.
    EXPECT_EQ(notes[0]->CreatedDate(), "2016-01-15 11:30:00");
    EXPECT_EQ(notes[0]->ModificationDate(), "2016-01-15 11:31:00");
}

// A table whose every row was deleted still has its notes carved; a file without the note
// table (another database under the name) carves nothing.
TEST_F(NotesServiceTest, EmptiedTableIsCarvedAndForeignFileIsNot) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kNotesDomain, kNotesPath, "notes-ios4.sql");
    for (int i = 1; i <= 6; ++i) AddNote(db, i, false);
    for (int i = 1; i <= 6; ++i) DeleteNote(db, i);
    db.close();
    useBackup(backup, 8);
    NotesServices service;
    service.RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(record.DeletedNotes.size(), 6u);

    testsupport::TempDir otherDir;
    BackupBuilder other(otherDir.path());
    auto foreign = other.addDatabase(kNotesDomain, kNotesPath, "calendar.sql");
    foreign.close();
    useBackup(other, 8);
    record.DeletedNotes.clear();
    service.RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_TRUE(record.DeletedNotes.empty());
}

// iOS 9 keeps bodies in the note store's ZICNOTEDATA; they are carved with their owning note.
// A later run for an older device reads the older database again.
TEST_F(NotesServiceTest, NoteStoreBodiesThenOlderBackupWithTheSameService) {
    testsupport::TempDir storeDir;
    BackupBuilder store(storeDir.path(), BackupLayout::Sharded);
    auto db = store.addDatabase(kNoteStoreDomain, kNoteStorePath, "notestore-ios9.sql");
    std::set<std::int64_t> deletedOwners;
    for (int i = 1; i <= 30; ++i) {
        const std::string text = "Notiz " + std::to_string(i) + ": Termine für die Woche";
        const auto data = GZIP::gzippedData(Bytes(text.begin(), text.end()));
        ASSERT_TRUE(data);
        db.insert("ZICNOTEDATA",
                  {{"Z_PK", i}, {"Z_ENT", 7}, {"Z_OPT", 2}, {"ZNOTE", 100 + i}, {"ZDATA", *data}});
    }
    for (int i = 3; i <= 30; i += 4) {
        db.deleteRow("ZICNOTEDATA", i);
        deletedOwners.insert(100 + i);
    }
    db.close();
    useBackup(store, 9);

    NotesServices service;
    service.RecoverFromIOSBackup(ContextFor(record, device));
    ASSERT_NE(service.recoveryNoteBodies(), nullptr);
    std::set<std::int64_t> owners;
    for (const auto& body : service.recoveryNoteBodies()->bodies()) {
        owners.insert(body->Owner());
        EXPECT_FALSE(body->Content().has_value());
    }
    EXPECT_EQ(owners, deletedOwners);
    // The note store has no note table of the older kind: no carved note.
    EXPECT_TRUE(record.DeletedNotes.empty());

    BackupBuilder older(dir.path());
    auto notes = older.addDatabase(kNotesDomain, kNotesPath, "notes-ios4.sql");
    for (int i = 1; i <= 4; ++i) AddNote(notes, i, false);
    DeleteNote(notes, 3);
    notes.close();
    useBackup(older, 8);
    service.RecoverFromIOSBackup(ContextFor(record, device));
    EXPECT_EQ(deletedTitles(), std::multiset<std::string>{TitleOf(3)});
}

// Notes listed before the run (the note store's deleted notes) stay, and a second run over the
// same file lists nothing twice.
TEST_F(NotesServiceTest, ListedNotesStayAndRepeatedRunsAddNothing) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kNotesDomain, kNotesPath, "notes-ios4.sql");
    for (int i = 1; i <= 10; ++i) AddNote(db, i, false);
    DeleteNote(db, 5);
    DeleteNote(db, 7);
    db.close();
    useBackup(backup, 8);
    auto earlier = std::make_shared<Note>();
    earlier->setTitle("Aus dem Notizspeicher");
    record.AllDeletedNotes.append(earlier);
    record.DeletedNotes.append(earlier);

    NotesServices service;
    service.RecoverFromIOSBackup(ContextFor(record, device));
    service.RecoverFromIOSBackup(ContextFor(record, device));

    EXPECT_EQ(deletedTitles(),
              (std::multiset<std::string>{"Aus dem Notizspeicher", TitleOf(5), TitleOf(7)}));
    EXPECT_EQ(earlier->noteBody(), nullptr);
}

TEST(NoteBodiesIOS9, GzipHeaderTest) {
    const Bytes header = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};
    EXPECT_TRUE(NoteBodiesIOS9SQLiteRecovery::IsGzipHeaderValue(header));
    EXPECT_FALSE(NoteBodiesIOS9SQLiteRecovery::IsGzipHeaderValue(ByteView(header).first(8)));
    for (std::size_t i = 0; i < 9; ++i) {
        Bytes changed = header;
        changed[i] ^= 0x01;
        EXPECT_FALSE(NoteBodiesIOS9SQLiteRecovery::IsGzipHeaderValue(changed)) << i;
    }
}

// The note store's own run: the note-data patterns are taken only while the table holds live
// rows, so a store whose note data is all deleted gives a fresh recoverer nothing to carve.
TEST_F(NotesServiceTest, NoteStoreRunTakesNoteDataPatternsFromALiveTable) {
    const auto build = [&](const std::filesystem::path& path, int rows, int keep) {
        auto db = FixtureDatabase::FromSchema(path, "notestore-ios9.sql");
        for (int i = 1; i <= rows; ++i) {
            const std::string text = "Notiz " + std::to_string(i) + " mit einer Einkaufsliste";
            const auto data = GZIP::gzippedData(Bytes(text.begin(), text.end()));
            ASSERT_TRUE(data);
            db.insert("ZICNOTEDATA",
                      {{"Z_PK", i}, {"Z_ENT", 7}, {"Z_OPT", 2}, {"ZNOTE", 200 + i}, {"ZDATA", *data}});
        }
        for (int i = keep + 1; i <= rows; ++i) db.deleteRow("ZICNOTEDATA", i);
        db.close();
    };
    const auto owners = [](const NoteBodiesSQLiteRecovery& recovery) {
        std::set<std::int64_t> found;
        for (const auto& body : recovery.bodies()) found.insert(body->Owner());
        return found;
    };
    const auto live = dir.path() / "live.sqlite";
    build(live, 12, 4);
    NoteBodiesIOS9SQLiteRecovery recovery(ContextFor(record, device));
    recovery.DoRecovery(live.string());
    std::set<std::int64_t> expected;
    for (int i = 5; i <= 12; ++i) expected.insert(200 + i);
    EXPECT_EQ(owners(recovery), expected);

    const auto empty = dir.path() / "empty.sqlite";
    build(empty, 12, 0);
    NoteBodiesIOS9SQLiteRecovery fresh(ContextFor(record, device));
    fresh.DoRecovery(empty.string());
    EXPECT_TRUE(fresh.bodies().empty());
    NoteBodiesIOS9SQLiteRecovery missing(ContextFor(record, device));
    missing.DoRecovery((dir.path() / "none.sqlite").string());
    EXPECT_TRUE(missing.bodies().empty());
}

// A note listed before the run that no live note shows, and that has no body, receives the
// carved body of its owner afterwards, which then serves no further note; it counts as
// recovered.
TEST_F(NotesServiceTest, EarlierNotesGetTheirCarvedBodies) {
    BackupBuilder backup(dir.path());
    auto db = backup.addDatabase(kNotesDomain, kNotesPath, "notes-ios4.sql");
    for (int i = 1; i <= 8; ++i) AddNote(db, i, false);
    db.exec("DELETE FROM ZNOTEBODY WHERE Z_PK = 6");  // a body whose note is still live
    db.close();
    useBackup(backup, 8);
    auto earlier = std::make_shared<Note>();
    earlier->setTitle(std::string("Aus dem Notizspeicher"));
    earlier->setNoteBodyId(6);
    auto second = std::make_shared<Note>();
    second->setTitle(std::string("Noch eine"));
    second->setNoteBodyId(6);
    auto live = std::make_shared<Note>();
    live->setTitle(TitleOf(2));
    live->setSummary(std::string("Milch, Brot, Käse und 2 Äpfel"));
    live->setNoteBodyId(6);
    for (const auto& note : {earlier, second, live}) {
        record.AllDeletedNotes.append(note);
        record.DeletedNotes.append(note);
    }

    NotesServices service;
    service.RecoverFromIOSBackup(ContextFor(record, device));
    const auto body = service.FindNoteBodyFromOwner(6);
    ASSERT_NE(body, nullptr);
    // The run matches bodies to every deleted note of the scan, those listed before it too; a
    // body may go to several notes.
    for (const auto& note : {earlier, second, live}) EXPECT_EQ(note->noteBody(), body);

    // The step after a run, on notes still without a body.
    for (const auto& note : {earlier, second, live}) note->setNoteBody(nullptr);
    // The notes that no live note shows are kept for the step.
    ASSERT_EQ(service.recoveryNotes().RecoveredFiltered().size(), 2u);
    service.AdditionalFiltering();
    ASSERT_NE(earlier->noteBody(), nullptr);
    EXPECT_EQ(earlier->noteBody()->Owner(), 6);
    EXPECT_EQ(second->noteBody(), nullptr);  // the body was given once
    EXPECT_EQ(live->noteBody(), nullptr);
    EXPECT_EQ(service.FindNoteBodyFromOwner(6), nullptr);
    EXPECT_EQ(service.recovered.load(), 2);
}
