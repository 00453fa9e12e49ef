#include "database/DAOs.h"

#include "common/HtmlText.h"
#include "database/QueryDates.h"
#include "database/SqlText.h"
#include "records/Note.h"

#include <unicode/unistr.h>

#include <cstdio>

#include <string_view>

namespace {

const char* const kNotesStatement =
    "SELECT ZNOTE.ZGUID as guid, ZNOTE.Z_PK AS Z_PK, ZNOTE.ZCREATIONDATE as creation_date, ZNOTE.ZTITLE as title, "
    "ZNOTE.ZSUMMARY as summary, ZNOTEBODY.ZCONTENT as content FROM ZNOTE INNER JOIN ZNOTEBODY ON "
    "ZNOTEBODY.ZOWNER = ZNOTE.Z_PK WHERE ZNOTE.ZDELETEDFLAG = 0";

// The modification date is read as a number and formatted like the creation date, so both
// dates of a note follow the same rule.
const char* const kNoteStoreStatement =
    "SELECT ZICCLOUDSYNCINGOBJECT.ZCREATIONDATE AS DATETIME_ZCREATIONDATE, "
    "ZICCLOUDSYNCINGOBJECT.ZMODIFICATIONDATE AS ZMODIFICATIONDATE,"
    "ZICCLOUDSYNCINGOBJECT.ZFOLDERSMODIFICATIONDATE AS ZFOLDERSMODIFICATIONDATE, ZICCLOUDSYNCINGOBJECT.ZTITLE1 "
    "AS ZTITLE1, ZICCLOUDSYNCINGOBJECT.ZSNIPPET AS ZSNIPPET, ZICNOTEDATA.ZDATA AS ZDATA, Z_12NOTES.Z_12FOLDERS AS "
    "Z_12FOLDERS, (SELECT "
    "ZICCLOUDSYNCINGOBJECT.ZIDENTIFIER FROM ZICCLOUDSYNCINGOBJECT WHERE "
    "ZICCLOUDSYNCINGOBJECT.Z_PK = Z_12NOTES.Z_12FOLDERS) AS Z_FOLDER_IDENTIFIER, (SELECT "
    "ZICCLOUDSYNCINGOBJECT.ZTITLE2 FROM ZICCLOUDSYNCINGOBJECT WHERE ZICCLOUDSYNCINGOBJECT.Z_PK = "
    "Z_12NOTES.Z_12FOLDERS) AS Z_FOLDER_TITLE2 FROM ZICCLOUDSYNCINGOBJECT INNER JOIN ZICNOTEDATA "
    "ON ZICCLOUDSYNCINGOBJECT.ZNOTEDATA = ZICNOTEDATA.Z_PK INNER JOIN Z_12NOTES ON "
    "ZICNOTEDATA.ZNOTE= Z_12NOTES.Z_9NOTES";

// The same without the folders, for a note store that lacks the notes-to-folders table.
const char* const kNoteStoreWithoutFoldersStatement =
    "SELECT ZICCLOUDSYNCINGOBJECT.ZCREATIONDATE AS DATETIME_ZCREATIONDATE, "
    "ZICCLOUDSYNCINGOBJECT.ZMODIFICATIONDATE AS ZMODIFICATIONDATE,"
    "ZICCLOUDSYNCINGOBJECT.ZFOLDERSMODIFICATIONDATE AS ZFOLDERSMODIFICATIONDATE, ZICCLOUDSYNCINGOBJECT.ZTITLE1 "
    "AS ZTITLE1, ZICCLOUDSYNCINGOBJECT.ZSNIPPET AS ZSNIPPET, ZICNOTEDATA.ZDATA AS ZDATA, NULL AS Z_12FOLDERS, NULL AS "
    "Z_FOLDER_IDENTIFIER, NULL AS Z_FOLDER_TITLE2 FROM ZICCLOUDSYNCINGOBJECT INNER JOIN "
    "ZICNOTEDATA ON ZICCLOUDSYNCINGOBJECT.ZNOTEDATA = ZICNOTEDATA.Z_PK";

// A body belongs to the note that owns it (ZOWNER), as in the live list.
const char* const kDeletedNotesStatement =
    "SELECT ZNOTE.Z_PK AS Z_PK, ZNOTE.ZCREATIONDATE as creation_date, ZNOTE.ZTITLE as title, ZNOTE.ZSUMMARY as "
    "summary, ZNOTEBODY.ZCONTENT AS ZCONTENT FROM ZNOTE INNER JOIN ZNOTEBODY ON ZNOTEBODY.ZOWNER = ZNOTE.Z_PK WHERE "
    "ZNOTE.ZDELETEDFLAG = 1";

// The one device version whose notes database keeps deleted notes as flagged rows.
constexpr std::string_view kFlaggedDeletionVersion = "7.0.2";

// A note store row whose folder-modification time is set (beyond this) counts as deleted.
constexpr float kFolderModifiedThreshold = 0.01f;

// "…" (U+2026), which ends a title the note store cut short.
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// Removes every closing tag ("</" and a letter, up to the next ">").
void RemoveClosingTags(std::string& text) {
    std::size_t at = 0;
    while ((at = text.find("</", at)) != std::string::npos) {
        const bool letter = at + 2 < text.size() && ((text[at + 2] >= 'a' && text[at + 2] <= 'z') ||
                                                     (text[at + 2] >= 'A' && text[at + 2] <= 'Z'));
        const std::size_t close = letter ? text.find('>', at + 3) : std::string::npos;
        if (close == std::string::npos) {
            at += 2;
            continue;
        }
        text.erase(at, close + 1 - at);
    }
}

// The note body as plain text: tags out, block ends as blanks, non-breaking spaces as blanks.
OptString CleanSummary(const OptString& summary) {
    OptString text = stringByStrippingHTML(summary);
    if (!text || text->empty()) return text;
    ReplaceAll(*text, "</title>", "");
    ReplaceAll(*text, "</head>", "");
    ReplaceAll(*text, "</body>", "");
    ReplaceAll(*text, "</html>", "");
    ReplaceAll(*text, "</div>", " ");
    ReplaceAll(*text, "</object>", " ");
    ReplaceAll(*text, "&nbsp;", " ");
    // Other closing tags (of bold text, list items ...) are markup, not note text.
    RemoveClosingTags(*text);
    return text;
}

// The body without the summary that the notes database keeps as a copy of its beginning. Only a
// leading copy goes: the same words further inside the note are note text.
OptString BodyWithoutLeadingSummary(OptString body, const OptString& summary) {
    if (body && summary && !summary->empty() && body->starts_with(*summary))
        body->erase(0, summary->size());
    return body;
}

// The note store's summary: the title and the snippet; a title cut short with "…" loses the
// ellipsis and gets a blank instead. An empty title gives an empty summary.
OptString NoteStoreSummary(const OptString& title, const OptString& snippet) {
    if (title && title->empty()) return title;
    std::string prefix = title.value_or(std::string());
    if (prefix.ends_with(kEllipsis)) {
        prefix.erase(prefix.size() - kEllipsis.size());
        prefix += ' ';
    }
    return prefix + snippet.value_or(std::string());
}

}  // namespace

RecordList<Note> DAOs::GetNotes() {
    RecordList<Note> result;
    std::int32_t n = 1;
    if (auto connection = boundConnection()) {
        auto row = connection->executeQuery(kNotesStatement);
        while (row.next()) {
            auto note = std::make_shared<Note>();
            note->setGUID(row.stringForColumn("guid"));
            note->setCreatedDate(DisplayTextOfDate(AppleDateOfColumn(row, "creation_date")));
            note->setTitle(row.stringForColumn("title"));
            note->setSummary(CleanSummary(BodyWithoutLeadingSummary(
                row.stringForColumn("content"), row.stringForColumn("summary"))));
            note->setSlNo(n);
            note->setIsChecked(0);
            state().AllNotesContent.append(note);
            result.push_back(std::move(note));
            ++n;
        }
    }
    state().NoteCount += n - 1;
    return result;
}

RecordList<Note> DAOs::GetNotes91() {
    RecordList<Note> result;
    std::int32_t n = 1;
    std::int32_t existing = 0;
    if (auto connection = boundConnection()) {
        // The folders are a side table that later note stores no longer keep: the notes are
        // listed without their folders then.
        const char* statement = kNoteStoreStatement;
        if (connection->isOpen() && !connection->hasTable("Z_12NOTES")) {
            std::fprintf(stderr,
                         "torvane: the note store has no Z_12NOTES table; the notes' folders are "
                         "left empty\n");
            statement = kNoteStoreWithoutFoldersStatement;
        }
        auto row = connection->executeQuery(statement);
        while (row.next()) {
            auto note = std::make_shared<Note>();
            note->setGUID(row.stringForColumn("guid"));
            note->setCreatedDate(
                DisplayTextOfDate(AppleDateOfColumn(row, "DATETIME_ZCREATIONDATE")));
            note->setTitle(row.stringForColumn("ZTITLE1"));
            note->setModificationDate(
                DisplayTextOfDate(AppleDateOfColumn(row, "ZMODIFICATIONDATE")));
            note->setSummary(
                CleanSummary(NoteStoreSummary(note->Title(), row.stringForColumn("ZSNIPPET"))));
            note->setSlNo(n);
            note->setIsChecked(0);

            const bool folderModified =
                row.stringForColumn("ZFOLDERSMODIFICATIONDATE").has_value() ||
                row.doubleForColumn("ZFOLDERSMODIFICATIONDATE") >
                    static_cast<double>(kFolderModifiedThreshold);
            if (folderModified) {
                ++state().DeletedNoteCount;
                state().AllDeletedNotes.append(note);
                state().DeletedNotes.append(note);
            } else {
                state().AllNotesContent.append(note);
                result.push_back(note);
                ++existing;
            }
            ++n;
        }
    }
    state().NoteCount = existing;
    return result;
}

RecordList<Note> DAOs::GetDeletedNotes() {
    RecordList<Note> result;
    const auto& device = context().device;
    auto connection = boundConnection();
    if (connection && device && device->ProductVersion() == std::string(kFlaggedDeletionVersion)) {
        auto row = connection->executeQuery(kDeletedNotesStatement);
        std::int32_t n = 1;
        while (row.next()) {
            auto note = std::make_shared<Note>();
            note->setCreatedDate(DisplayTextOfDate(AppleDateOfColumn(row, "creation_date")));
            note->setTitle(row.stringForColumn("title"));
            note->setSummary(BodyWithoutLeadingSummary(row.stringForColumn("ZCONTENT"),
                                                       row.stringForColumn("summary")));
            note->setSlNo(n++);
            note->setIsChecked(0);
            result.push_back(std::move(note));
        }
    }
    state().DeletedNoteCount = static_cast<std::int32_t>(result.size());
    return result;
}

bool DAOs::isDuplicateNote(const OptString& title) {
    if (!title) return false;
    // Counted in UTF-16 units, as the notes database counts characters.
    icu::UnicodeString t = icu::UnicodeString::fromUTF8(*title);
    if (t.length() > 6) t.remove(0, 2);
    if (t.length() > 20) t = icu::UnicodeString(t, 1, t.length() - 5);
    std::string middle;
    t.toUTF8String(middle);

    auto connection = openPrivate(DatabaseRole::Notes);
    auto row = connection->executeQuery(
        "SELECT * FROM ZNOTE  where ZNOTE.ZTITLE  Like '%' || ? || '%' ESCAPE '\\'",
        {ColumnValue(EscapeLikePattern(middle))});
    return row.next();
}

RowIdMap DAOs::GetAllNotesRowID() {
    RowIdMap map;
    auto connection = openPrivate(DatabaseRole::Notes);
    auto row = connection->executeQuery("SELECT Z_PK as ROWID FROM ZNOTE");
    while (row.next()) {
        const std::string id = std::to_string(row.intForColumn("ROWID"));
        map[id] = id;
    }
    return map;
}
