#pragma once

#include "records/BrimleyAppDelegate.h"
#include "services/ScanRecoverer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class Note;
class NoteBody;

// Deleted notes of the notes database of iOS 4 to 8 (notes.sqlite): carves rows of its note
// table ZNOTE and lists each as a deleted note of the shared state record.
//
// A carved row that is still a live note of the file (same creation time and body reference:
// a stale copy that SQLite left when it moved the row) or that is already listed is not listed.
class NotesSQLiteRecovery : public ScanRecoverer<> {
public:
    explicit NotesSQLiteRecovery(ScanContext context);

    // Takes the patterns, reads which notes of the file are live, carves the file, then
    // compares the notes of RecoveredData with the live ones (filterMessages).
    void DoRecoveryPath(const std::string& path) override;
    // Keeps in RecoveredFiltered the notes of RecoveredData whose summary (absent or empty
    // alike) and title no live note of the database at path has.
    void filterMessages(const std::string& path);
    // The note table's patterns when the file has that table; none otherwise, so that a file of
    // another kind is not carved for notes.
    void setSignature(const std::string& path);

    // Runs on each carved note just before it is listed; the notes service gives it its body
    // there, while no other thread can see the note yet.
    void setBeforeListing(std::function<void(Note&)> hook) { beforeListing_ = std::move(hook); }

    // The deleted-note count of the shared state record, set or raised; the new value.
    std::int32_t setRecoveryCount(std::int32_t count);
    std::int32_t incrementRecoveryCount();

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    // The note table's texts are never realigned.
    std::int32_t verifyDataPosition(ByteView text) override;
    void addRecoveredObject() override;

private:
    bool isLiveNote(const Note& note) const;

    std::function<void(Note&)> beforeListing_;
    // (creation time, body reference) of every live note of the file being carved.
    std::set<std::pair<double, std::int64_t>> liveNotes_;
    bool currentHasCreationDate_ = false;
    // The current record holds a text that is no valid UTF-8: its bytes were overwritten.
    bool currentDamaged_ = false;
};

// Deleted note bodies of notes.sqlite: carves rows of ZNOTEBODY (owner and HTML content) and
// keeps them in RecoveredFiltered, where the notes service finds the body of a carved note.
class NoteBodiesSQLiteRecovery : public ScanRecoverer<> {
public:
    explicit NoteBodiesSQLiteRecovery(ScanContext context);

    // Takes the patterns, carves the file, then compares (filterMessages).
    void DoRecoveryPath(const std::string& path) override;
    // The body table's patterns when the file has that table; none otherwise.
    virtual void setSignature(const std::string& path);
    // Keeps in RecoveredFiltered the bodies of RecoveredData whose content no live body of the
    // database at path has. (The bodies carved reach RecoveredFiltered as they are found.)
    void filterMessages(const std::string& path);

    // The carved bodies, in carving order.
    std::vector<std::shared_ptr<NoteBody>> bodies() const;

protected:
    std::shared_ptr<baseRecoveryObject> GetNewRecoveryObject() override;
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
    std::int32_t verifyDataPosition(ByteView text) override;
    // Keeps the body when one of its columns was mapped.
    void addRecoveredObject() override;

    // Takes the patterns of the signature of that table when the file has the table.
    bool takePatternsOf(const std::string& path, const char* table);

    // The current record holds a text that is no valid UTF-8: its bytes were overwritten.
    bool currentDamaged_ = false;
};

// Deleted note bodies of iOS 9 and later. Its files keep bodies in ZICNOTEDATA (the note store,
// where ZNOTE is the owning note and ZDATA the gzip-compressed body), older ones in ZNOTEBODY;
// the recoverer carves whichever table the file has. A ZDATA body is not decoded: the carved
// body has an owner and no content.
class NoteBodiesIOS9SQLiteRecovery : public NoteBodiesSQLiteRecovery {
public:
    using NoteBodiesSQLiteRecovery::NoteBodiesSQLiteRecovery;

    // ZNOTEBODY's patterns when the file has that table, else ZICNOTEDATA's when it has that.
    void setSignature(const std::string& path) override;
    // Carves the file with the patterns of the note store's ZICNOTEDATA when the file holds
    // live rows of that table, else with the patterns it has (none for a fresh recoverer).
    void DoRecovery(const std::string& path);

    // Whether the bytes begin with the gzip member header of a deflate stream without flags,
    // time or extra flags (1F 8B 08 00 00 00 00 00 00).
    static bool IsGzipHeaderValue(ByteView bytes);

protected:
    void FillModel(std::int64_t column, const ColumnValue& object,
                   const TablePattern& tablePattern) override;
};
