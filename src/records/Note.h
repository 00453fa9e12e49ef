#pragma once

#include "records/BaseRecoveryObject.h"
#include "records/RecordFields.h"

#include <cstdint>
#include <memory>

class NoteBody;

// One note: a live row of the notes databases, or a carved one.
class Note : public baseRecoveryObject {
public:
    // The most characters (UTF-16 code units) of a note's trimmed text its short title keeps.
    static constexpr int kShortTitleLength = 20;
    // The one-line short form of a note's text: the text trimmed of white space at both ends,
    // cut to kShortTitleLength characters and followed by "..." when longer, else the text
    // unchanged (untrimmed); every line break then a blank. Absent text gives "".
    static std::string ShortTitle(const OptString& summary);
    // Gives the note its short title as SortTitle when it has none (absent or empty); one it
    // has stays. One locked step: other threads may read the note meanwhile.
    void setShortTitle();

    // Row number in the notes list, from 1.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, SlNo, setSlNo, 0)
    // Creation time as display text (" " for a carved time that is not plausible).
    TORVANE_TEXT_FIELD_OF_RECORD(CreatedDate, setCreatedDate)
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Title, setTitle)
    // The title the notes screen sorts by.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(SortTitle, setSortTitle)
    // The note's summary, or for live rows of the older database the note text.
    TORVANE_SHARED_TEXT_FIELD_OF_RECORD(Summary, setSummary)
    // 1 when ticked for export, 0 otherwise.
    TORVANE_SHARED_VALUE_FIELD_OF_RECORD(std::int32_t, isChecked, setIsChecked, 0)
    TORVANE_TEXT_FIELD_OF_RECORD(GUID, setGUID)
    TORVANE_TEXT_FIELD_OF_RECORD(ModificationDate, setModificationDate)
    // The note's body once one has been matched or read.
    TORVANE_VALUE_FIELD_OF_RECORD(std::shared_ptr<NoteBody>, noteBody, setNoteBody, nullptr)
    // The carved note row's body reference (ZBODY), matched against a carved body's Owner.
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, noteBodyId, setNoteBodyId, 0)
    // The carved creation and modification values: seconds since 2001-01-01.
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalCreationDate, setOriginalCreationDate, 0.0)
    TORVANE_VALUE_FIELD_OF_RECORD(double, OriginalModificationDate, setOriginalModificationDate,
                                  0.0)
};

// The body of a note, kept in a table of its own by the notes databases.
class NoteBody : public baseRecoveryObject, public std::enable_shared_from_this<NoteBody> {
public:
    // Content with every "<div>" and "<br>" as a line feed and every "&nbsp" as a blank; the
    // other markup stays. Absent for an absent Content.
    OptString plainContent() const;

    // A new note that holds this body, titled after the start of the content: the whole content
    // up to 8 characters, else its first 7 characters and "...".
    std::shared_ptr<Note> ParseContentToGetNote();

    // Bodies are never taken for one another.
    bool IsEqual(const NoteBody&) const { return false; }

    TORVANE_TEXT_FIELD_OF_RECORD(PlainContent, setPlainContent)
    // The body as the notes database stores it (HTML).
    TORVANE_TEXT_FIELD_OF_RECORD(Content, setContent)
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Id, setId, 0)
    // The note row owning the body (ZOWNER, or ZNOTE in the iOS 9 body table).
    TORVANE_VALUE_FIELD_OF_RECORD(std::int64_t, Owner, setOwner, 0)
};
