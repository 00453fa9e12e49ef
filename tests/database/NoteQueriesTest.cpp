#include "LiveRowsBackup.h"

#include "records/Note.h"

#include "support/ScanContexts.h"

#include <gtest/gtest.h>

namespace {

using testsupport::FixtureDatabase;

// ---- The iOS 4-8 notes database (two layouts) ----

struct OldNote {
    int pk;
    int bodyPk;
    int deleted;
    ColumnValue created;
    const char* title;
    OptString summary;
    OptString content;
};

const OldNote kOldNotes[] = {
    // The body begins with the summary: that copy goes, the markup is stripped.
    {1, 11, 0, ColumnValue(400000000.0), "Shopping", "Shopping",
     "Shopping<div>milk&nbsp;eggs</div><div><b>bread</b></div>"},
    // The summary's words inside the body are note text and stay.
    {2, 12, 0, ColumnValue::Null(), "Cat", "cat", "a cat in concatenate"},
    {3, 13, 1, ColumnValue(480000000.0), "Gone", "Gone", "Gone<div>was deleted</div>"},
    {4, 14, 0, ColumnValue(0.0), "No summary", std::nullopt,
     "<html><head><title>T</title></head><body>Body</body></html>"},
};

class OldNotesTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        FixtureDatabase db = backup.create(LiveRowsBackup::kNotes, GetParam());
        for (const OldNote& n : kOldNotes) {
            db.insert("ZNOTE", {{"Z_PK", ColumnValue(n.pk)},
                                {"ZDELETEDFLAG", ColumnValue(n.deleted)},
                                {"ZBODY", ColumnValue(n.bodyPk)},
                                {"ZCREATIONDATE", n.created},
                                {"ZGUID", ColumnValue("guid-" + std::to_string(n.pk))},
                                {"ZSUMMARY", n.summary ? ColumnValue(*n.summary) : ColumnValue()},
                                {"ZTITLE", ColumnValue(n.title)}});
            // Body keys differ from note keys: a body belongs to its owner.
            db.insert("ZNOTEBODY", {{"Z_PK", ColumnValue(n.bodyPk)},
                                    {"ZOWNER", ColumnValue(n.pk)},
                                    {"ZCONTENT", ColumnValue(*n.content)}});
        }
        // A note without a body row is not listed.
        db.insert("ZNOTE", {{"Z_PK", ColumnValue(5)},
                            {"ZDELETEDFLAG", ColumnValue(0)},
                            {"ZTITLE", ColumnValue("Holiday packing list")}});
        db.insert("ZNOTE", {{"Z_PK", ColumnValue(6)},
                            {"ZDELETEDFLAG", ColumnValue(0)},
                            {"ZTITLE", ColumnValue("50% off coupons")}});
        db.close();
    }

    LiveRowsBackup backup{7, "7.0.2"};
};

TEST_P(OldNotesTest, LiveNotesShowTheirBodyAsPlainText) {
    backup.state.NoteCount = 3;  // what the note store gave before
    auto notes = backup.boundTo(LiveRowsBackup::kNotes)->GetNotes();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(backup.state.NoteCount.load(), 6);
    EXPECT_EQ(backup.state.AllNotesContent.size(), 3u);

    EXPECT_EQ(notes[0]->GUID(), "guid-1");
    EXPECT_EQ(notes[0]->Title(), "Shopping");
    EXPECT_EQ(notes[0]->CreatedDate(), "2013-09-04 17:06:40");
    EXPECT_EQ(notes[0]->Summary(), " milk eggs   bread ");
    EXPECT_EQ(notes[0]->SlNo(), 1);

    EXPECT_EQ(notes[1]->Summary(), "a cat in concatenate");
    EXPECT_EQ(notes[1]->CreatedDate(), "");
    EXPECT_EQ(notes[1]->SlNo(), 2);

    EXPECT_EQ(notes[2]->Summary(), "   T Body");
    EXPECT_EQ(notes[2]->CreatedDate(), "2001-01-01 01:00:00");
}

TEST_P(OldNotesTest, FlaggedNotesAreListedOnlyForTheOneVersionThatKeepsThem) {
    auto daos = backup.boundTo(LiveRowsBackup::kNotes);
    auto deleted = daos->GetDeletedNotes();
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0]->Title(), "Gone");
    EXPECT_EQ(deleted[0]->Summary(), "<div>was deleted</div>");
    EXPECT_EQ(deleted[0]->CreatedDate(), "2016-03-18 14:20:00");
    EXPECT_EQ(backup.state.DeletedNoteCount.load(), 1);

    auto device = std::make_shared<DeviceInfo>(*backup.state.deviceInfo.get());
    device->setProductVersion("7.0.3");
    backup.state.deviceInfo.set(device);
    daos = backup.boundTo(LiveRowsBackup::kNotes);
    EXPECT_TRUE(daos->GetDeletedNotes().empty());
    EXPECT_EQ(backup.state.DeletedNoteCount.load(), 0);
}

TEST_P(OldNotesTest, DuplicateTitleSearchesTheMiddleOfTheTitle) {
    auto daos = backup.unbound();
    const std::pair<OptString, bool> cases[] = {
        {"Holiday", true},  // 7 characters: the first two go ("liday")
        {"XXliday", true},
        {"packin", true},  // 6 characters: searched whole
        {"liday!", false},
        {"abcHoliday packing liwxyz", true},  // 25: characters 4 to 21
        {"abcHoliday packing lXwxyz", false},
        {"0% of", true},
        {"_", false},  // wildcards are plain characters
        {std::nullopt, false},
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(daos->isDuplicateNote(title), expected) << title.value_or("(absent)");

    const RowIdMap ids = daos->GetAllNotesRowID();
    EXPECT_EQ(ids.size(), 6u);
    EXPECT_EQ(ids.at("5"), "5");
}

INSTANTIATE_TEST_SUITE_P(Layouts, OldNotesTest,
                         ::testing::Values("notes-ios4.sql", "notes-ios7.sql"));

// ---- The iOS 9 note store ----

struct StoreNote {
    int pk;
    OptString title;
    OptString snippet;
    ColumnValue foldersModified;
    OptString expectedSummary;
    bool deleted;
};

const StoreNote kStoreNotes[] = {
    {1, "Shopping\xE2\x80\xA6", "milk", ColumnValue::Null(), "Shopping milk", false},
    {2, "Plan", "x", ColumnValue::Null(), "Planx", false},
    {3, "", "y", ColumnValue::Null(), "", false},
    {4, "Old", "z", ColumnValue(0.5), "Oldz", true},
    {5, "Moved", "w", ColumnValue(0.0), "Movedw", true},  // any value counts
    {6, "<b>Bold</b>", std::nullopt, ColumnValue::Null(), " Bold", false},
    {7, std::nullopt, "only snippet", ColumnValue::Null(), "only snippet", false},
};

TEST(NoteStoreTest, ExistingAndDeletedNotesOfTheNoteStore) {
    LiveRowsBackup backup(9);
    {
        FixtureDatabase db = backup.create(LiveRowsBackup::kNoteStore, "notestore-ios9.sql");
        db.insert("ZICCLOUDSYNCINGOBJECT", {{"Z_PK", ColumnValue(100)},
                                            {"ZIDENTIFIER", ColumnValue("DefaultFolder")},
                                            {"ZTITLE2", ColumnValue("Notes")}});
        for (const StoreNote& n : kStoreNotes) {
            db.insert("ZICCLOUDSYNCINGOBJECT",
                      {{"Z_PK", ColumnValue(n.pk)},
                       {"ZNOTEDATA", ColumnValue(n.pk + 50)},
                       {"ZCREATIONDATE", ColumnValue(480000000.25)},
                       {"ZMODIFICATIONDATE", ColumnValue(495000000.0)},
                       {"ZFOLDERSMODIFICATIONDATE", n.foldersModified},
                       {"ZTITLE1", n.title ? ColumnValue(*n.title) : ColumnValue()},
                       {"ZSNIPPET", n.snippet ? ColumnValue(*n.snippet) : ColumnValue()}});
            db.insert("ZICNOTEDATA", {{"Z_PK", ColumnValue(n.pk + 50)},
                                      {"ZNOTE", ColumnValue(n.pk)},
                                      {"ZDATA", ColumnValue(Bytes{0x1f, 0x8b})}});
            db.insert("Z_12NOTES",
                      {{"Z_12FOLDERS", ColumnValue(100)}, {"Z_9NOTES", ColumnValue(n.pk)}});
        }
        db.close();
    }
    auto handle = std::make_shared<FMDBUtils>(backup.pathOf(LiveRowsBackup::kNoteStore));
    ASSERT_TRUE(handle->openDatabase());
    DAOs daos(handle, testsupport::ContextFor(backup.state));
    auto notes = daos.GetNotes91();

    std::size_t existing = 0;
    for (const StoreNote& n : kStoreNotes) existing += n.deleted ? 0 : 1;
    ASSERT_EQ(notes.size(), existing);
    EXPECT_EQ(backup.state.NoteCount.load(), static_cast<int>(existing));
    EXPECT_EQ(backup.state.AllNotesContent.size(), existing);
    EXPECT_EQ(backup.state.DeletedNoteCount.load(), 2);
    EXPECT_EQ(backup.state.DeletedNotes.size(), 2u);
    EXPECT_EQ(backup.state.AllDeletedNotes.size(), 2u);

    auto listed = backup.state.AllNotesContent.snapshot();
    auto deleted = backup.state.DeletedNotes.snapshot();
    std::size_t nextListed = 0, nextDeleted = 0;
    for (std::size_t i = 0; i < std::size(kStoreNotes); ++i) {
        const StoreNote& n = kStoreNotes[i];
        const Note& note = n.deleted ? *deleted[nextDeleted++] : *listed[nextListed++];
        SCOPED_TRACE(n.pk);
        EXPECT_EQ(note.Summary(), n.expectedSummary);
        EXPECT_EQ(note.Title(), n.title);
        EXPECT_EQ(note.SlNo(), static_cast<int>(i + 1));  // deleted notes take numbers too
        EXPECT_EQ(note.CreatedDate(), "2016-03-18 14:20:00");
        EXPECT_EQ(note.ModificationDate(), "2016-09-08 06:00:00");
        EXPECT_EQ(note.GUID(), std::nullopt);
    }

    // The older database's notes are added to the count the note store set.
    LiveRowsBackup old(9);
    old.state.NoteCount = backup.state.NoteCount.load();
    {
        FixtureDatabase db = old.create(LiveRowsBackup::kNotes, "notes-ios7.sql");
        for (int pk : {1, 2}) {
            db.insert("ZNOTE", {{"Z_PK", ColumnValue(pk)}, {"ZDELETEDFLAG", ColumnValue(0)}});
            db.insert("ZNOTEBODY", {{"ZOWNER", ColumnValue(pk)}, {"ZCONTENT", ColumnValue("b")}});
        }
        db.close();
    }
    EXPECT_EQ(old.boundTo(LiveRowsBackup::kNotes)->GetNotes().size(), 2u);
    EXPECT_EQ(old.state.NoteCount.load(), static_cast<int>(existing) + 2);
}

}  // namespace
