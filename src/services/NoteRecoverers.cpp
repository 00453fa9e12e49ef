#include "services/NoteRecoverers.h"

#include "carving/SqLiteTableSignatures.h"
#include "common/DateUtils.h"
#include "records/Note.h"
#include "records/RecordKey.h"
#include "services/LiveTableReader.h"

#include <array>
#include <optional>

namespace {

constexpr const char* kDomain = "HomeDomain";
constexpr const char* kDatabase = "notes.sqlite";

std::optional<double> NumberOf(const ColumnValue& value) {
    if (!value.isNumber()) return std::nullopt;
    return value.asDouble();
}

// An integer column stored as a 32-bit value.
std::int64_t Int32Of(const ColumnValue& value) {
    return static_cast<std::int32_t>(value.asInteger());
}

// Two notes are one find when everything carved of them agrees.
OptString CarvedNoteKey(const Note& note) {
    return RecordKey()
        .add(note.noteBodyId())
        .add(note.OriginalCreationDate())
        .add(note.OriginalModificationDate())
        .add(note.Title())
        .add(note.Summary())
        .take();
}

}  // namespace

// ---- Notes ----

NotesSQLiteRecovery::NotesSQLiteRecovery(ScanContext context) : ScanRecoverer(std::move(context)) {}

void NotesSQLiteRecovery::setSignature(const std::string& path) {
    const LiveTableReader file(path);
    const auto catalogue = context().signatures;
    // A file whose schema cannot be read at all is carved: carving needs no schema.
    if (file.mayHoldTable("ZNOTE") && catalogue)
        setPatternsFromSignature(kDomain, kDatabase, "ZNOTE", catalogue.get());
    else
        setTablePatterns(std::vector<TablePattern>{});
}

void NotesSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path);
    liveNotes_.clear();
    const LiveTableReader file(path);
    for (const auto& row : file.rows("ZNOTE", {"ZCREATIONDATE", "ZBODY"}).rows)
        liveNotes_.emplace(row[0].asDouble(), row[1].asInteger());
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    filterMessages(path);
}

void NotesSQLiteRecovery::filterMessages(const std::string& path) {
    // A note store of iOS 9 and later has no note table of this kind to compare with.
    if (!LiveTableReader(path).mayHoldTable("ZNOTE")) return;
    KeepRecordsNotLive(*this, path, [](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* note = RecordOf<Note>(record);
        if (!note) return std::nullopt;
        LiveStatement statement{"SELECT ZTITLE FROM ZNOTE WHERE ", {}};
        if (note->Summary()) {
            statement.sql += "ZSUMMARY = ?";
            statement.args.emplace_back(*note->Summary());
        } else {
            statement.sql += "(ZSUMMARY IS NULL OR ZSUMMARY = '')";
        }
        if (note->Title()) {
            statement.sql += " AND ZTITLE = ?";
            statement.args.emplace_back(*note->Title());
        } else {
            statement.sql += " AND ZTITLE IS NULL";
        }
        return statement;
    });
}

std::shared_ptr<baseRecoveryObject> NotesSQLiteRecovery::GetNewRecoveryObject() {
    currentHasCreationDate_ = false;
    currentDamaged_ = false;
    return std::make_shared<Note>();
}

void NotesSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                    const TablePattern& tablePattern) {
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* note = dynamic_cast<Note*>(currentRecord().get());
    if (!mapped || !note) return;
    const std::string& name = *mapped;
    markCurrentMapped();
    if (name == "ZBODY") {
        note->setNoteBodyId(Int32Of(object));
    } else if (name == "ZCREATIONDATE") {
        note->setCreatedDate(DateUtils::doubleIOSDateTimeToString(NumberOf(object)));
        note->setOriginalCreationDate(object.asDouble());
        currentHasCreationDate_ = object.isNumber();
    } else if (name == "ZMODIFICATIONDATE") {
        note->setModificationDate(DateUtils::doubleIOSDateTimeToString(NumberOf(object)));
        note->setOriginalModificationDate(object.asDouble());
    } else if (name == "ZSUMMARY") {
        note->setSummary(getStringFromValue(object));
    } else if (name == "ZTITLE") {
        // A note without a summary is shown by its title.
        OptString title = getStringFromValue(object);
        if (!note->Summary()) note->setSummary(title);
        note->setTitle(std::move(title));
    }
}

std::int32_t NotesSQLiteRecovery::verifyDataPosition(ByteView) {
    return kKeepPosition;
}

bool NotesSQLiteRecovery::isLiveNote(const Note& note) const {
    return currentHasCreationDate_ &&
           liveNotes_.count({note.OriginalCreationDate(), note.noteBodyId()}) != 0;
}

void NotesSQLiteRecovery::addRecoveredObject() {
    auto note = std::dynamic_pointer_cast<Note>(currentRecord());
    // A record cut short by the end of its area (its tail overwritten by a later cell), or with a
    // text that is no valid UTF-8 (overwritten in part), holds wrong values: no row that was
    // stored.
    if (!note || !currentWasMapped() || !currentRecordIsComplete() || currentDamaged_ ||
        isLiveNote(*note))
        return;
    if (beforeListing_) beforeListing_(*note);
    const bool isNew = results().AllDeletedNotes.appendUnlessKey(note, &CarvedNoteKey);
    if (!isNew) return;
    ++results().DeletedNoteCount;
    results().DeletedNotes.append(note);
}

std::int32_t NotesSQLiteRecovery::setRecoveryCount(std::int32_t count) {
    results().DeletedNoteCount = count;
    return count;
}

std::int32_t NotesSQLiteRecovery::incrementRecoveryCount() {
    return ++results().DeletedNoteCount;
}

// ---- Bodies ----

NoteBodiesSQLiteRecovery::NoteBodiesSQLiteRecovery(ScanContext context)
    : ScanRecoverer(std::move(context)) {}

bool NoteBodiesSQLiteRecovery::takePatternsOf(const std::string& path, const char* table) {
    const LiveTableReader file(path);
    const auto catalogue = context().signatures;
    if (!catalogue || !file.mayHoldTable(table)) return false;
    return setPatternsFromSignature(kDomain, kDatabase, table, catalogue.get());
}

void NoteBodiesSQLiteRecovery::setSignature(const std::string& path) {
    if (!takePatternsOf(path, "ZNOTEBODY")) setTablePatterns(std::vector<TablePattern>{});
}

void NoteBodiesSQLiteRecovery::DoRecoveryPath(const std::string& path) {
    setSignature(path);
    AbstractSqLiteRecovery::DoRecoveryPath(path);
    filterMessages(path);
}

void NoteBodiesSQLiteRecovery::filterMessages(const std::string& path) {
    KeepRecordsNotLive(*this, path, [](const baseRecoveryObject& record) -> std::optional<LiveStatement> {
        const auto* body = RecordOf<NoteBody>(record);
        if (!body) return std::nullopt;
        return LiveStatement{"SELECT ZCONTENT FROM ZNOTEBODY WHERE ZCONTENT IS ?",
                             {body->Content() ? ColumnValue(*body->Content()) : ColumnValue()}};
    });
}

std::vector<std::shared_ptr<NoteBody>> NoteBodiesSQLiteRecovery::bodies() const {
    std::vector<std::shared_ptr<NoteBody>> result;
    for (const auto& record : RecoveredFiltered())
        if (auto body = std::dynamic_pointer_cast<NoteBody>(record))
            result.push_back(std::move(body));
    return result;
}

std::shared_ptr<baseRecoveryObject> NoteBodiesSQLiteRecovery::GetNewRecoveryObject() {
    currentDamaged_ = false;
    return std::make_shared<NoteBody>();
}

void NoteBodiesSQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                         const TablePattern& tablePattern) {
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* body = dynamic_cast<NoteBody*>(currentRecord().get());
    if (!mapped || !body) return;
    markCurrentMapped();
    const std::string& name = *mapped;
    if (name == "ZOWNER")
        body->setOwner(Int32Of(object));
    else if (name == "ZCONTENT")
        body->setContent(getStringFromValue(object));
}

std::int32_t NoteBodiesSQLiteRecovery::verifyDataPosition(ByteView) {
    return kKeepPosition;
}

void NoteBodiesSQLiteRecovery::addRecoveredObject() {
    // Only a body decoded whole is a body that was stored.
    if (currentWasMapped() && currentRecord() && currentRecordIsComplete() && !currentDamaged_)
        RecoveredFiltered().push_back(currentRecord());
}

void NoteBodiesIOS9SQLiteRecovery::setSignature(const std::string& path) {
    if (!takePatternsOf(path, "ZNOTEBODY") && !takePatternsOf(path, "ZICNOTEDATA"))
        setTablePatterns(std::vector<TablePattern>{});
}

void NoteBodiesIOS9SQLiteRecovery::DoRecovery(const std::string& path) {
    const LiveTableReader file(path);
    if (file.isOpen()) {
        auto rows = file.query("SELECT * FROM ZICNOTEDATA");
        if (rows.next()) {
            const auto catalogue = context().signatures;
            if (catalogue) setPatternsFromSignature(kDomain, kDatabase, "ZICNOTEDATA", catalogue.get());
        }
    }
    AbstractSqLiteRecovery::DoRecoveryPath(path);
}

void NoteBodiesIOS9SQLiteRecovery::FillModel(std::int64_t column, const ColumnValue& object,
                                             const TablePattern& tablePattern) {
    if (object.isNull()) currentDamaged_ = true;
    const std::string* mapped = tablePattern.mappedName(column);
    auto* body = dynamic_cast<NoteBody*>(currentRecord().get());
    if (!mapped || !body) return;
    const std::string& name = *mapped;
    if (name == "ZNOTE") {
        markCurrentMapped();
        body->setOwner(Int32Of(object));
    } else if (name == "ZDATA") {
        markCurrentMapped();
    } else {
        NoteBodiesSQLiteRecovery::FillModel(column, object, tablePattern);
    }
}

bool NoteBodiesIOS9SQLiteRecovery::IsGzipHeaderValue(ByteView bytes) {
    static constexpr std::array<std::uint8_t, 9> kHeader = {0x1F, 0x8B, 0x08, 0x00, 0x00,
                                                            0x00, 0x00, 0x00, 0x00};
    if (bytes.size() < kHeader.size()) return false;
    for (std::size_t i = 0; i < kHeader.size(); ++i)
        if (bytes[i] != kHeader[i]) return false;
    return true;
}
