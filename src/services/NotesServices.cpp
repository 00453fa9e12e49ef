#include "services/NotesServices.h"

#include "records/BrimleyAppDelegate.h"
#include "records/DeviceInfo.h"
#include "records/Note.h"

NotesServices::NotesServices(BrimleyAppDelegate& record)
    : abstractServices(record), recoveryNotes_(std::make_unique<NotesSQLiteRecovery>(record)) {
    _SqliteDbName = NotesIOS641SqliteDbName;
}

NotesServices::NotesServices() : NotesServices(BrimleyAppDelegate::appDelegate()) {}

NotesServices::~NotesServices() = default;

void NotesServices::RecoverFromDevice(const DeviceInfo& device, std::stop_token stop) {
    RecoverFromIOSBackup(device, std::move(stop));
}

void NotesServices::RecoverFromIOSBackup(const DeviceInfo& device, std::stop_token stop) {
    // The service serves one backup after another, of any iOS version.
    const bool noteStore = device.iOSMajorVersion() >= 9;
    _SqliteDbName = noteStore ? NotesIOS9SqliteDbName : NotesIOS641SqliteDbName;
    if (noteStore)
        recoveryNoteBodies_ = std::make_unique<NoteBodiesIOS9SQLiteRecovery>(appDel());
    else
        recoveryNoteBodies_ = std::make_unique<NoteBodiesSQLiteRecovery>(appDel());
    const std::string path = ConnectionFileFullPath(device);

    recoveryNoteBodies_->setStopToken(stop);
    recoveryNoteBodies_->DoRecoveryPath(path);
    bodies_ = recoveryNoteBodies_->bodies();
    if (stop.stop_requested()) return;

    const auto listed = appDel().DeletedNotes.snapshot();
    recoveryNotes_->setRecoveredData({listed.begin(), listed.end()});
    recoveryNotes_->setBeforeListing([this](Note& note) { matchNotebodiesToNotes(note); });
    recoveryNotes_->setStopToken(stop);
    recoveryNotes_->DoRecoveryPath(path);
}

void NotesServices::matchNotebodiesToNotes(Note& note) const {
    if (note.noteBody()) return;
    if (auto body = FindNoteBodyFromOwner(note.noteBodyId())) note.setNoteBody(std::move(body));
}

std::shared_ptr<NoteBody> NotesServices::FindNoteBodyFromOwner(std::int64_t owner) const {
    for (const auto& body : bodies_)
        if (body->Owner() == owner) return body;
    return nullptr;
}
