-- sms.db, iOS 5, as iOS 5 itself creates it (`.schema` of a real iOS 5 sms.db, reformatted).
-- Backup: HomeDomain / Library/SMS/sms.db -> 3d0d7e5fb2ce288813306e4d4636395e047a3d28
-- SMS rows: message.date in Unix seconds; iMessage rows (is_madrid = 1): date and
-- madrid_date_read / madrid_date_delivered in seconds since 2001-01-01.
--
-- Source: the sms.db of a public iOS 5 device dump (2012). It confirms the order that
-- sms-ios5.sql notes as unconfirmed: madrid_account_guid follows madrid_account (column 26
-- of 33), where a table migrated from iOS 4 has it at the end (sms-ios5.sql). The real file
-- has no smsc_ref / dr_date columns.
-- The triggers that call MobileSMS's own read() function are kept commented out (with them, an
-- INSERT or DELETE fails in stock sqlite3); the rest is as dumped.
-- Column order is the on-disk record order; do not reorder.

CREATE TABLE _SqliteDatabaseProperties (
    key TEXT,
    value TEXT,
    UNIQUE(key)
);
CREATE TABLE message (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    address TEXT,
    date INTEGER,
    text TEXT,
    flags INTEGER,
    replace INTEGER,
    svc_center TEXT,
    group_id INTEGER,
    association_id INTEGER,
    height INTEGER,
    UIFlags INTEGER,
    version INTEGER,
    subject TEXT,
    country TEXT,
    headers BLOB,
    recipients BLOB,
    read INTEGER,
    madrid_attributedBody BLOB,
    madrid_handle TEXT,
    madrid_version INTEGER,
    madrid_guid TEXT,
    madrid_type INTEGER,
    madrid_roomname TEXT,
    madrid_service TEXT,
    madrid_account TEXT,
    madrid_account_guid TEXT,
    madrid_flags INTEGER,
    madrid_attachmentInfo BLOB,
    madrid_url TEXT,
    madrid_error INTEGER,
    is_madrid INTEGER,
    madrid_date_read INTEGER,
    madrid_date_delivered INTEGER
);
CREATE TABLE msg_group (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    type INTEGER,
    newest_message INTEGER,
    unread_count INTEGER,
    hash INTEGER
);
CREATE TABLE group_member (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    group_id INTEGER,
    address TEXT,
    country TEXT
);
CREATE TABLE msg_pieces (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    message_id INTEGER,
    data BLOB,
    part_id INTEGER,
    preview_part INTEGER,
    content_type TEXT,
    height INTEGER,
    version INTEGER,
    flags INTEGER,
    content_id TEXT,
    content_loc TEXT,
    headers BLOB
);
CREATE TABLE madrid_attachment (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    attachment_guid TEXT,
    created_date INTEGER,
    start_date INTEGER,
    filename TEXT,
    uti_type TEXT,
    mime_type TEXT,
    transfer_state INTEGER,
    is_incoming INTEGER,
    message_id INTEGER
);
CREATE INDEX madrid_attachment_message_index ON madrid_attachment(message_id);
CREATE INDEX madrid_attachment_guid_index ON madrid_attachment(attachment_guid);
CREATE INDEX madrid_attachment_filename_index ON madrid_attachment(filename);
CREATE TABLE madrid_chat (
    ROWID INTEGER PRIMARY KEY AUTOINCREMENT,
    style INTEGER,
    state INTEGER,
    account_id TEXT,
    properties BLOB,
    chat_identifier TEXT,
    service_name TEXT,
    guid TEXT,
    room_name TEXT,
    account_login TEXT,
    participants BLOB
);
CREATE INDEX madrid_chat_style_index ON madrid_chat(style);
CREATE INDEX madrid_chat_state_index ON madrid_chat(state);
CREATE INDEX madrid_chat_account_id_index ON madrid_chat(account_id);
CREATE INDEX madrid_chat_chat_identifier_index ON madrid_chat(chat_identifier);
CREATE INDEX madrid_chat_service_name_index ON madrid_chat(service_name);
CREATE INDEX madrid_chat_guid_index ON madrid_chat(guid);
CREATE INDEX madrid_chat_room_name_index ON madrid_chat(room_name);
CREATE INDEX madrid_chat_account_login_index ON madrid_chat(account_login);
CREATE INDEX message_group_index ON message(group_id, ROWID);
CREATE INDEX message_flags_index ON message(flags);
-- CREATE TRIGGER insert_unread_message AFTER INSERT ON message WHEN NOT read(new.flags) BEGIN UPDATE msg_group SET unread_count = (SELECT unread_count FROM msg_group WHERE ROWID = new.group_id) + 1 WHERE ROWID = new.group_id; END;
-- CREATE TRIGGER mark_message_unread AFTER UPDATE ON message WHEN read(old.flags) AND NOT read(new.flags) BEGIN UPDATE msg_group SET unread_count = (SELECT unread_count FROM msg_group WHERE ROWID = new.group_id) + 1 WHERE ROWID = new.group_id; END;
-- CREATE TRIGGER mark_message_read AFTER UPDATE ON message WHEN NOT read(old.flags) AND read(new.flags) BEGIN UPDATE msg_group SET unread_count = (SELECT unread_count FROM msg_group WHERE ROWID = new.group_id) - 1 WHERE ROWID = new.group_id; END;
-- CREATE TRIGGER delete_message AFTER DELETE ON message WHEN NOT read(old.flags) BEGIN UPDATE msg_group SET unread_count = (SELECT unread_count FROM msg_group WHERE ROWID = old.group_id) - 1 WHERE ROWID = old.group_id; END;
CREATE TRIGGER insert_newest_message AFTER INSERT ON message WHEN new.ROWID >= IFNULL((SELECT MAX(ROWID) FROM message WHERE message.group_id = new.group_id), 0) BEGIN UPDATE msg_group SET newest_message = new.ROWID WHERE ROWID = new.group_id; END;
CREATE TRIGGER delete_newest_message AFTER DELETE ON message WHEN old.ROWID = (SELECT newest_message FROM msg_group WHERE ROWID = old.group_id) BEGIN UPDATE msg_group SET newest_message = (SELECT ROWID FROM message WHERE group_id = old.group_id AND ROWID = (SELECT max(ROWID) FROM message WHERE group_id = old.group_id)) WHERE ROWID = old.group_id; END;
CREATE INDEX pieces_message_index ON msg_pieces(message_id);
CREATE TRIGGER delete_pieces AFTER DELETE ON message BEGIN DELETE from msg_pieces where old.ROWID == msg_pieces.message_id; END;
CREATE INDEX madrid_guid_index ON message(madrid_guid);
CREATE INDEX madrid_roomname_service_index ON message(madrid_roomname, madrid_service);
CREATE INDEX madrid_handle_service_index ON message(madrid_handle, madrid_service);
