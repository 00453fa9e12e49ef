#pragma once

#include "services/NoteRecoverers.h"
#include "services/abstractServices.h"

#include <cstdint>
#include <memory>
#include <stop_token>

class Note;
class NoteBody;

// Deleted notes: carves the note bodies and then the notes of the backup's notes database, and
// gives each carved note the carved body that belongs to it (the body whose owner is the
// note's body reference). The notes reach the shared state record's deleted-note lists through
// the notes recoverer.
class NotesServices : public abstractServices {
public:
    // Notes of iOS 4 to 8 (HomeDomain-Library/Notes/notes.sqlite).
    static constexpr const char* NotesIOS641SqliteDbName =
        "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c";
    // The note store of iOS 9 and later (AppDomainGroup-group.com.apple.notes-NoteStore.sqlite).
    static constexpr const char* NotesIOS9SqliteDbName = "4f98687d8ab0d6d1a371110e6b7300f6e465bef2";

    NotesServices();
    ~NotesServices() override;

    void RecoverFromDevice(const ScanContext& context) override;
    // Picks the database and the body recoverer by the device's iOS version (every run anew),
    // carves the bodies, then the notes, each note receiving its body before it is listed; then
    // matches bodies to every deleted note of the scan (matchNotebodiesToNotes).
    void RecoverFromIOSBackup(const ScanContext& context) override;
    void releaseResults() override;

    // Gives each note of the scan's DeletedNotes that has no body, in list order, the carved body
    // that belongs to it, when there is one: the notes that this run listed and those listed
    // before it (the note store's, an earlier run's) alike. A body may go to several notes. Only
    // this service's thread reads or writes a note's body.
    void matchNotebodiesToNotes(const ScanContext& context) const;
    // The same for one note.
    void matchNotebodyToNote(Note& note) const;
    // The first carved body of the current run whose owner is the id; nullptr when none.
    std::shared_ptr<NoteBody> FindNoteBodyFromOwner(std::int64_t owner) const;
    // After a run: gives each note the notes recoverer kept (its RecoveredFiltered) that has no
    // body the first carved body of its owner, which is then given to no other note; then
    // counts in recovered each kept note that no record of the service's model shows (same
    // title, summary and creation text). Only this service reads a note's body.
    void AdditionalFiltering();

    const NotesSQLiteRecovery& recoveryNotes() const { return *recoveryNotes_; }
    // The body recoverer of the last run; nullptr before the first.
    const NoteBodiesSQLiteRecovery* recoveryNoteBodies() const { return recoveryNoteBodies_.get(); }

private:
    std::unique_ptr<NotesSQLiteRecovery> recoveryNotes_;
    std::unique_ptr<NoteBodiesSQLiteRecovery> recoveryNoteBodies_;
    // The bodies of the current run, in carving order.
    std::vector<std::shared_ptr<NoteBody>> bodies_;
};
