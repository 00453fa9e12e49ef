#include "services/WhatsAppService.h"

#include "common/SHA1Util.h"
#include "database/FMDBUtils.h"
#include "records/BrimleyAppDelegate.h"
#include "records/WhatsApp.h"
#include "records/WhatsAppMessage.h"

#include <string>

namespace {

// A partner known only by its user address.
std::shared_ptr<WhatsAppContact> ContactOfAddress(const OptString& address) {
    auto contact = std::make_shared<WhatsAppContact>();
    contact->setZContactJID(address);
    if (address && !address->empty()) {
        const std::size_t at = address->rfind(WhatsAppUserSuffix);
        if (at != std::string::npos && at > 0) contact->setPhone("+" + address->substr(0, at));
    }
    contact->setZContactProfileBitmapImage(std::string());
    return contact;
}

ColumnValue Bind(const OptString& text) {
    return text ? ColumnValue(*text) : ColumnValue();
}

bool IsNullOrEmpty(const OptString& text) {
    return !text || text->empty();
}

// The app's files in the backup: "AppDomain-net.whatsapp.WhatsApp" and the path below its
// container, whose Library folder holds the media.
constexpr const char* kLibraryPrefix = "AppDomain-net.whatsapp.WhatsApp-Library";

// A path below the Library folder as the database records it, with one leading "/".
std::string UnderLibrary(const std::string& path) {
    return !path.empty() && path.front() == '/' ? path : "/" + path;
}

// The backup file of a file below the app's Library folder (where it would lie when missing).
std::string BackupFileOf(const ScanContext& context, const std::string& underLibrary) {
    return context.backupFilePath(SHA1Util::SHA1HashStringForUTF8String(kLibraryPrefix + underLibrary));
}

}  // namespace

WhatsAppService::WhatsAppService()
    : whatsAppRecovery_(std::make_unique<WhatsAppMessagesSQLiteRecovery>(ScanContext{})) {
    _SqliteDbName = WhatsAppSqliteDbName;
}

WhatsAppService::~WhatsAppService() = default;

void WhatsAppService::RecoverFromDevice(const ScanContext& context) {
    RecoverFromIOSBackup(context);
}

void WhatsAppService::RecoverFromIOSBackup(const ScanContext& context) {
    doRecovery(context);
    AdditionalFiltering();
}

void WhatsAppService::doRecovery(const ScanContext& context) {
    // The recoverer serves every run; each gives it the scan it serves.
    whatsAppRecovery_->setContext(context);
    for (const char* name : {WhatsAppSqliteDbName, WhatsAppSqliteDbName2}) {
        if (context.cancelled()) return;
        _SqliteDbName = name;
        whatsAppRecovery_->DoRecoveryPath(ConnectionFileFullPath(context));
    }
}

void WhatsAppService::AdditionalFiltering() {
    for (const auto& record : whatsAppRecovery_->RecoveredFiltered()) {
        auto* message = dynamic_cast<WhatsAppMessage*>(record.get());
        if (!message) continue;
        if (IsNullOrEmpty(message->ZFromJid()))
            message->setWhatsAppContact(ContactOfAddress(message->ZToJid()));
        else if (IsNullOrEmpty(message->ZToJid()))
            message->setWhatsAppContact(ContactOfAddress(message->ZFromJid()));
    }
}

void WhatsAppService::getWhatisExisting(const ScanContext& context) {
    getWhatisExistingWallPaperPath(context);
}

void WhatsAppService::getWhatisExistingWallPaperPath(const ScanContext& context) {
    _SqliteDbName = WhatsAppWallPaperSqliteDbName;
    const OptString path = ConnectionString(context);
    if (!path || !openOwnDatabase(*path)) return;
    const auto db = dbUtils->sharedDB();
    std::vector<std::shared_ptr<WhatsAppContact>> contacts;
    auto sessions = db->executeQuery("SELECT ZCONTACTJID, ZPARTNERNAME FROM ZWACHATSESSION");
    while (sessions.next()) {
        auto contact = std::make_shared<WhatsAppContact>();
        contact->setRecovered(false);
        contact->setZContactJID(sessions.stringForColumn("ZCONTACTJID"));
        contact->setZPartnerName(sessions.stringForColumn("ZPARTNERNAME"));
        contact->setZContactProfileBitmapImage(std::string());
        // The profile picture: Library/Media/Profile/<user id>.thumb, when the backup has it.
        const std::string jid = contact->ZContactJID().value_or("");
        const std::size_t at = jid.rfind('@');
        const std::string user = at == std::string::npos ? jid : jid.substr(0, at);
        if (!user.empty())
            if (const OptString picture = context.locate(SHA1Util::SHA1HashStringForUTF8String(
                    std::string(kLibraryPrefix) + "/Media/Profile/" + user + ".thumb")))
                contact->setZContactProfileBitmapImage(picture);
        contacts.push_back(contact);
        existingContacts_.push_back(std::move(contact));
    }
    for (const auto& contact : contacts) {
        if (context.cancelled()) return;
        auto rows = db->executeQuery(
            "SELECT Z_PK, ztext, DATETIME(zmessagedate + 978307200, 'unixepoch', 'localtime') AS "
            "ZDATETIME, zmessagedate, ZISFROMME, zfromjid, ztojid, zstanzaid FROM ZWAMESSAGE where "
            "ZFROMJID=? OR ZTOJID=? order by Z_PK asc",
            {Bind(contact->ZContactJID()), Bind(contact->ZContactJID())});
        while (rows.next()) {
            auto message = std::make_shared<WhatsAppMessage>();
            message->setRecovered(false);
            message->setZText(rows.stringForColumn("ztext"));
            message->setZToJid(rows.stringForColumn("ztojid"));
            message->setZFromJid(rows.stringForColumn("zfromjid"));
            message->setZStandZAid(rows.stringForColumn("zstanzaid"));
            message->setZPrimaryKey(rows.longLongIntForColumn("Z_PK"));
            const OptString& partner =
                !IsNullOrEmpty(message->ZToJid()) ? message->ZToJid() : message->ZFromJid();
            if (const auto number = ContactOfAddress(partner)->Phone()) contact->setPhone(number);
            message->setIsFromMe(IsNullOrEmpty(message->ZFromJid()));
            // A message without a time reads as the first second of 2001.
            const OptString when = rows.stringForColumn("ZDATETIME");
            message->setDate(rows.doubleForColumn("zmessagedate") == 0.0 || !when
                                 ? std::string("-")
                                 : *when);
            message->setWhatsAppMessageAttachment(
                RetrieveWhatsAppMessageAttachments(context, message->ZPrimaryKey()));
            message->setWhatsAppContact(contact);
            model.push_back(std::move(message));
            ++retrieved;
        }
    }
}

std::shared_ptr<WhatsAppMessageAttachment> WhatsAppService::RetrieveWhatsAppMessageAttachments(
    const ScanContext& context, std::int64_t withKey) {
    if (!dbUtils || !dbUtils->sharedDB()) return nullptr;
    auto rows = dbUtils->sharedDB()->executeQuery(
        "SELECT Z_PK, ZFILESIZE, ZMOVIEDURATION, ZMEDIALOCALPATH, ZTHUMBNAILLOCALPATH, "
        "ZXMPPTHUMBPATH FROM ZWAMEDIAITEM WHERE ZMESSAGE = ?",
        {ColumnValue(withKey)});
    if (!rows.next()) return nullptr;
    auto attachment = std::make_shared<WhatsAppMessageAttachment>();
    attachment->setRecovered(false);
    attachment->setZFileSize(rows.longLongIntForColumn("ZFILESIZE"));
    attachment->setZMovieDuration(rows.longLongIntForColumn("ZMOVIEDURATION"));
    if (const OptString media = rows.stringForColumn("ZMEDIALOCALPATH"); !IsNullOrEmpty(media)) {
        const std::string path = UnderLibrary(*media);
        attachment->setOriginalZMediaLocalPath(path);
        attachment->setZMediaLocalPath(BackupFileOf(context, path));
    }
    if (const OptString thumb = rows.stringForColumn("ZXMPPTHUMBPATH"); !IsNullOrEmpty(thumb)) {
        const std::string path = UnderLibrary(*thumb);
        attachment->setOriginalZThumbnailLocalPath(path);
        attachment->setZThumbnailLocalPath(BackupFileOf(context, path));
    }
    return attachment;
}

void WhatsAppService::releaseResults() {
    abstractServices::releaseResults();
    existingContacts_.clear();
    existingContacts_.shrink_to_fit();
}
