#include "services/NotesServices.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/Note.h"

#include <algorithm>

NotesServices::NotesServices()
    : recoveryNotes_(std::make_unique<NotesSQLiteRecovery>(ScanContext{})) {
    _SqliteDbName = NotesIOS641SqliteDbName;
}

NotesServices::~NotesServices() = default;

void NotesServices::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

void NotesServices::RecoverFromIOSBackup(const ScanContext& context) {
    // The service serves one backup after another, of any iOS version.
    const bool noteStore = context.iOSMajorVersion() >= 9;
    _SqliteDbName = noteStore ? NotesIOS9SqliteDbName : NotesIOS641SqliteDbName;
    if (noteStore)
        recoveryNoteBodies_ = std::make_unique<NoteBodiesIOS9SQLiteRecovery>(context);
    else
        recoveryNoteBodies_ = std::make_unique<NoteBodiesSQLiteRecovery>(context);
    const std::string path = ConnectionFileFullPath(context);
    recoveryNoteBodies_->DoRecoveryPath(path);
    bodies_ = recoveryNoteBodies_->bodies();
    if (context.cancelled()) return;
    const auto listed = context.sink().DeletedNotes.snapshot();
    // The note recoverer serves every run; each gives it the scan it serves.
    recoveryNotes_->setContext(context);
    recoveryNotes_->setRecoveredData({listed.begin(), listed.end()});
    // A note of this run is listed with its body; the notes listed before it get theirs after.
    recoveryNotes_->setBeforeListing([this](Note& note) { matchNotebodyToNote(note); });
    recoveryNotes_->DoRecoveryPath(path);
    if (context.cancelled()) return;
    matchNotebodiesToNotes(context);
}

void NotesServices::matchNotebodiesToNotes(const ScanContext& context) const {
    for (const auto& note : context.sink().DeletedNotes.snapshot())
        if (note) matchNotebodyToNote(*note);
}

void NotesServices::matchNotebodyToNote(Note& note) const {
    if (note.noteBody()) return;
    if (auto body = FindNoteBodyFromOwner(note.noteBodyId())) note.setNoteBody(std::move(body));
}

std::shared_ptr<NoteBody> NotesServices::FindNoteBodyFromOwner(std::int64_t owner) const {
    for (const auto& body : bodies_)
        if (body->Owner() == owner) return body;
    return nullptr;
}

void NotesServices::AdditionalFiltering() {
    std::vector<std::shared_ptr<Note>> kept;
    for (const auto& record : recoveryNotes_->RecoveredFiltered())
        if (auto note = std::dynamic_pointer_cast<Note>(record)) kept.push_back(std::move(note));
    for (const auto& note : kept) {
        if (note->noteBody()) continue;
        auto body = FindNoteBodyFromOwner(note->noteBodyId());
        if (!body) continue;
        note->setNoteBody(body);
        bodies_.erase(std::find(bodies_.begin(), bodies_.end(), body));
        if (recoveryNoteBodies_) std::erase(recoveryNoteBodies_->RecoveredFiltered(), body);
    }
    const auto shows = [](const Note& a, const Note& b) {
        return a.Title() == b.Title() && a.Summary() == b.Summary() &&
               a.CreatedDate() == b.CreatedDate();
    };
    for (const auto& note : kept) {
        const bool existing = std::any_of(model.begin(), model.end(), [&](const auto& record) {
            const auto* other = dynamic_cast<const Note*>(record.get());
            return other && shows(*note, *other);
        });
        if (!existing) ++recovered;
    }
}

void NotesServices::releaseResults() {
    abstractServices::releaseResults();
    bodies_.clear();
    bodies_.shrink_to_fit();
}
