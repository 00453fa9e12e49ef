#pragma once

// The live-row queries over a backup's databases, one object per caller and role.
// Implemented by group:
//   DAOs.cpp           construction, the cached per-role connections
//   DAOs_Messages.cpp  messages, chats, message handles
//   DAOs_Contacts.cpp  address book, name lookup
//   DAOs_Notes.cpp     notes (iOS 4-8 notes database and the iOS 9 note store)
//   DAOs_Calls.cpp     call history
//   DAOs_Calendar.cpp  calendar
//   DAOs_WhatsApp.cpp  WhatsApp and Skype
//
// Which database a method reads:
//   bound       the connection of the object's own handle (dbUtils), opened by the caller;
//   shared      the state record's handle at the time of the call (the Skype screen's);
//   private     a connection of the method's own on the scan's backup folder + the role's
//               file name, closed when the method returns;
//   role        a connection on a role's file that the object opens on first use and keeps.
// No method replaces the object's handle or the state record's handle or query object.
// Failures are not reported: a database that cannot be opened or lacks the table gives the
// method's empty result (and a line in the log).

#include "common/Types.h"
#include "database/BaseDAO.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SMS;
class Chat;
class ChatMessageJoin;
class Contact;
class Property;
class Note;
class CallLog;
class Calendar;
class WhatsApp;
class Skype;

template <class T>
using RecordList = std::vector<std::shared_ptr<T>>;

// Row id (decimal text) to a column's text, as the row-id maps give them.
using RowIdMap = std::map<std::string, std::string>;

class DAOs : public BaseDAO {
public:
    // A query object on the results record's handle as it is now (the usual way: the caller
    // sets that handle to the database it wants and opens it first).
    explicit DAOs(ScanContext context);
    // A query object on a handle of the caller's own.
    DAOs(std::shared_ptr<FMDBUtils> dbUtils, ScanContext context);
    ~DAOs() override;

    // ---- Messages (SMS_DATABASE) ----
    // Live messages, appended to AllSMSContent; SMSCount. Absent when the statement fails. Bound.
    // The statement is that of the database's own layout (MessageLayoutOf). In the group layout
    // a message without text (an MMS) shows the text parts of its msg_pieces, and one without
    // an address the members of its group.
    std::optional<RecordList<SMS>> GetSMS();
    // Live iMessages; IMessageCount. Absent when the statement fails. Bound.
    std::optional<RecordList<SMS>> GetiMessage();
    // "Message Send Failure" for error 4, else "Sent to" for a message from the device, else
    // "Received from".
    static std::string GetMessageType(std::int32_t error, std::int32_t isFromMe);
    // The type text of a row of the message table of iOS 5 and earlier, by its flags; none for
    // flags of no known meaning.
    static OptString MessageTypeOfFlags(std::int32_t flags);
    // The handle's address (its id) for a handle row id, or phno when there is no such row. Role.
    OptString GetPhoneNumberForHID(std::int32_t hid, OptString phno);
    // Stores the handle's address in phno and answers true; false (phno untouched) without a row.
    bool GetPhoneNumberForID(std::int32_t hid, OptString& phno);
    // Replace AllChatMessageJoinContent / AllChatsContent with the joins / chats. Private.
    void GetChatMessageJoin();
    void GetAllChats();
    // The lines of one chat. Private.
    RecordList<Chat> GetChatsOf(const OptString& chatIdentifier);
    // ROWID -> text, ROWID and text non-empty. Private.
    RowIdMap GetAllMessageRowID();
    // guid -> guid, ROWID and guid non-empty. Private.
    RowIdMap GetAllMessageGUID();

    // ---- Contacts (ADDRESSBOOK_DATABASE) ----
    // Live contacts with up to six numbers and three e-mail addresses, appended to
    // AllContactsContent; ContactCount. Bound.
    RecordList<Contact> GetContacts();
    // The detail rows of one person, or every phone number (reduced to digits) for 0. Bound.
    RecordList<Property> GetContactProperty(std::int32_t personRowId);
    RecordList<Property> GetContactPhoneNum(std::int32_t personRowId);
    // The first run of decimal digits as a number ("0" when there is none).
    static std::string removeSpecialCharsFromString(const OptString& text);
    // The first name of the person holding a number that ends like the given one; "Unknown" for
    // an absent or empty argument, the empty text when no one matches. Reads the backup's
    // address book (role), whichever database the object's own handle is on.
    std::string GetNameForAddress(const OptString& address);
    // ROWID -> First, First present. Private.
    RowIdMap GetAllContactRowID();
    // Whether the address book holds the person. Private.
    bool isDeletedContacted(std::int32_t personRowId);

    // ---- Notes (NOTES_DATABASE, and the iOS 9 note store) ----
    // Live notes of the iOS 4-8 database, appended to AllNotesContent; adds to NoteCount. Bound.
    RecordList<Note> GetNotes();
    // Live notes of the iOS 9 note store (AllNotesContent, NoteCount); its deleted notes go to
    // AllDeletedNotes and DeletedNotes (DeletedNoteCount). Bound.
    RecordList<Note> GetNotes91();
    // The notes flagged deleted, on iOS 7.0.2 only; DeletedNoteCount. Bound.
    RecordList<Note> GetDeletedNotes();
    // Whether a note's title contains the middle of the given title. Private.
    bool isDuplicateNote(const OptString& title);
    // Z_PK -> Z_PK. Private.
    RowIdMap GetAllNotesRowID();

    // ---- Call history (CALLHISTORY_DATABASE) ----
    // Live calls (the call table before iOS 8, ZCALLRECORD from iOS 8 on, newest first), named
    // from the address book, appended to AllCallLogContent; CallLogCount. Empties
    // CallLogRowIDs. Bound.
    RecordList<CallLog> GetCallLogs();
    // One entry per number of the call table, newest first, the name or else the number. Bound.
    RecordList<CallLog> GetCallLogGroup();
    // The FaceTime calls of the call table; FaceTimeCount. Empties CallLogRowIDs. Bound.
    RecordList<CallLog> GetFaceTimeLogs();
    // The text of a call table's flags value ("Outgoing Cancelled" outside the known values).
    static std::string GetCallType(std::int32_t flags);
    // ROWID -> address, address present. Private.
    RowIdMap GetAllCallHistroyRowID();
    // The call's time as "yyyy-MM-dd hh:mm a"; the empty text without such a call. Private.
    std::string dateForRowID(std::int32_t rowId);
    // Whether the call store holds the record. Private.
    bool isDeletedZCALLRECORD(std::int32_t key);

    // ---- Calendar (CALENDAR_DATABASE) ----
    // Live events (the Event table before iOS 5, CalendarItem with its place from iOS 5 on),
    // appended to AllCalendarContent; CalendarCount. Bound.
    RecordList<Calendar> GetCalendar();
    // The same list without places, not counted or listed in the state record. Bound.
    RecordList<Calendar> GetCalendarForIOSFive();
    // The title of a Location row; the empty text without one. Bound.
    std::string getLocationFromLocationID(std::int64_t locationId);
    // ROWID -> ROWID of CalendarItem. Private.
    RowIdMap GetAllCalenderRowID();

    // ---- WhatsApp (WHATSAPP_DATABASE) and Skype (the shared handle) ----
    // Live messages, oldest first; WhatsAppCount (the caller keeps the list). Bound.
    RecordList<WhatsApp> GetWhatsAppLog();
    // One entry per sender: its push name, or its number. WhatsAppCount. Bound.
    RecordList<WhatsApp> GetWhatsAppContacts();
    // The partner name of a chat with that user address: absent when the chat has none stored,
    // the empty text when there is no such chat. Reads the backup's chat database (role),
    // whichever database the object's own handle is on.
    OptString GetWhatsAppContactName(const OptString& jid);
    // The partner's number of a message as the live list shows it ("+" and the digits of its
    // user address, a group by its first number): of the sender, or of the receiver when the
    // phone sent it (no sender, or an empty one). Absent without a user address.
    static OptString WhatsAppPartnerPhone(const OptString& from, const OptString& to);
    // The messages with text from a sender address or push name, appended to
    // AllWhatsAppContent; WhatsAppCount. Bound.
    RecordList<WhatsApp> GetWhatsApp(const OptString& idOrPushName);
    // Z_PK -> Z_PK of ZWAMESSAGE. Private.
    RowIdMap GetAllWhatsAppRowID();
    // Skype contacts with a full name that are not blocked, by full name. Shared.
    RecordList<Skype> getSkypeContacts();
    // The messages of one Skype dialog in time order. Shared.
    RecordList<Skype> getDialogsPartner(const OptString& dialogPartner);

private:
    static std::shared_ptr<SMS> MessageFromRow(const SqliteResultSet& row, std::int32_t iOSMajor,
                                               std::int32_t slNo);
    // What the group layout keeps beside a message row: the text parts of an MMS, the members
    // of a message's group.
    static void CompleteFromGroupLayout(const SqliteConnection& connection,
                                        const SqliteResultSet& row, SMS& sms);
    std::optional<RecordList<SMS>> ReadMessages(const char* beforeIOS6, std::atomic<std::int32_t>& count,
                                                bool listAsExisting);

    // The messages database for the handle lookups (numberUTILS).
    RoleConnection numberUTILS_;
    // The address book for the name lookups.
    RoleConnection addressBook_;
    // The WhatsApp chat database for the partner-name lookups.
    RoleConnection whatsApp_;
};
