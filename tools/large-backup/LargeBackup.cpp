#include "large-backup/LargeBackup.h"

#include "support/BackupBuilder.h"

#include <string>

namespace largebackup {

namespace {

// A GUID in the form the phone writes, from a hash of a row number, so that every run makes the
// same file.
std::string GuidSql(const std::string& seed) {
    const std::string h = "printf('%08X%08X%08X%08X', (" + seed + ") % 4294967291, (" + seed +
                          " * 7919) % 4294967291, (" + seed + " * 104729) % 4294967291, (" + seed +
                          " * 15485863) % 4294967291)";
    return "substr(" + h + ",1,8)||'-'||substr(" + h + ",9,4)||'-'||substr(" + h +
           ",13,4)||'-'||substr(" + h + ",17,4)||'-'||substr(" + h + ",21,12)";
}

}  // namespace

LargeBackupContents WriteLargeBackup(const std::filesystem::path& folder,
                                     const LargeBackupOptions& options) {
    std::filesystem::create_directories(folder);
    testsupport::BackupBuilder backup(folder);
    testsupport::DeviceDetails details;
    details.deviceName = "Large iPhone";
    details.displayName = "Large iPhone";
    backup.writePlists(details);

    const std::filesystem::path path = backup.pathFor("HomeDomain", "Library/SMS/sms.db");
    std::filesystem::remove(path);
    auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios9.sql");
    const std::string rows = std::to_string(options.messages);
    const std::string partners = std::to_string(options.partners);
    db.exec("BEGIN");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + partners +
            ") INSERT INTO handle (ROWID, id, country, service, uncanonicalized_id) "
            "SELECT i, CASE WHEN i % 4 = 0 THEN 'friend' || i || '@example.com' "
            "ELSE '+4915' || (10000000 + i * 7919 % 9000000) END, 'de', "
            "CASE WHEN i % 2 = 0 THEN 'iMessage' ELSE 'SMS' END, NULL FROM n");
    db.exec(
        "INSERT INTO chat (ROWID, guid, style, state, account_id, chat_identifier, service_name) "
        "SELECT ROWID, service || ';-;' || id, 45, 3, '5D1E0B2C-0000-4000-8000-00000000A1B2', "
        "id, service FROM handle");
    db.exec("INSERT INTO chat_handle_join (chat_id, handle_id) SELECT ROWID, ROWID FROM handle");
    db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + rows +
            "), r AS (SELECT i, (i * 2654435761) % 4294967291 AS x FROM n), "
            "m AS (SELECT i, x, CASE x % 7 WHEN 0 THEN 'OK' "
            "WHEN 1 THEN 'See you at ' || (x % 12 + 1) || ' then!' "
            "WHEN 2 THEN 'Can you pick up milk on the way home? We are out and the shop closes at "
            "eight.' "
            "WHEN 3 THEN 'Grüße aus Köln! Das Wetter ist herrlich, wir sitzen am Rhein. 🎉' "
            "WHEN 4 THEN 'Your verification code is ' || (x % 1000000) || '. Do not share it.' "
            "ELSE substr('Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
            "tempor "
            "incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud "
            "exercitation "
            "ullamco laboris nisi ut aliquip ex ea commodo consequat.', 1, 40 + x % 200) END AS t "
            "FROM r) "
            "INSERT INTO message (ROWID, guid, text, handle_id, attributedBody, service, account, "
            "account_guid, date, date_read, date_delivered, is_delivered, is_finished, is_from_me, "
            "is_read, is_sent, country) "
            "SELECT i, " +
            GuidSql("x") + ", t, 1 + x % " + partners +
            ", "
            // The archived attributed string the phone keeps beside the text.
            "CASE WHEN x % 3 <> 0 THEN NULL ELSE CAST(char(4, 11) || 'streamtyped' || char(129, "
            "232, 3, 132, 1, 64) || "
            "'NSAttributedString' || char(0, 132, 132) || 'NSObject' || char(0, 133, 146, 132, "
            "132, 132) || "
            "'NSString' || char(1, 149, 132, 1, 43) || t || char(134, 132, 2) || 'iI' || "
            "char(1, 5, 146, 132) AS BLOB) END, "
            "CASE WHEN (1 + x % " +
            partners +
            ") % 2 = 0 THEN 'iMessage' ELSE 'SMS' END, "
            "'e:me@example.com', '5D1E0B2C-0000-4000-8000-00000000A1B2', "
            "400000000 + i * 60, CASE WHEN x % 3 = 0 THEN 0 ELSE 400000000 + i * 60 + 300 END, "
            "400000000 + i * 60 + 2, 1, 1, x % 2, (x / 2) % 2, (x / 4) % 2, "
            "CASE WHEN x % 5 = 0 THEN 'de' END FROM m");
    db.exec(
        "INSERT INTO chat_message_join (chat_id, message_id) SELECT handle_id, ROWID FROM message");
    db.exec("COMMIT");

    // Scattered single messages, then a few long runs (whole conversations cleared at once).
    db.exec("BEGIN");
    const std::string scattered = "(ROWID * 40503) % 65537 % 6 = 0";
    std::string runs = "0";
    const std::int64_t step = options.messages / 8;
    for (std::int64_t start = step / 2; step > 0 && start < options.messages; start += step)
        runs += " OR ROWID BETWEEN " + std::to_string(start) + " AND " +
                std::to_string(start + options.messages / 130);
    const std::string chosen =
        options.deleteEveryOther ? std::string("ROWID % 2 = 0") : "(" + scattered + ") OR " + runs;
    db.exec("DELETE FROM chat_message_join WHERE message_id IN (SELECT ROWID FROM message WHERE " +
            chosen + ")");
    db.exec("DELETE FROM message WHERE " + chosen);
    db.exec("COMMIT");
    const std::int64_t existing = db.queryValue("SELECT count(*) FROM message").asInteger();
    db.close();
    // The file list an iOS 9 backup has.
    backup.writeManifestMbdb();
    return {folder, path, existing, options.messages - existing};
}

}  // namespace largebackup
