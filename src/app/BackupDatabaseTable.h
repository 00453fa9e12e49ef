#pragma once

class BrimleyAppDelegate;

// The backup file names of the device's databases. Most are fixed; the call history and the
// keyboard dictionary moved with iOS versions, and WhatsApp and the browser history are looked
// for under more than one name.
namespace BackupDatabaseNames {
inline constexpr const char* kSms = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
inline constexpr const char* kAddressBook = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
inline constexpr const char* kCalendar = "2041457d5fe04d39d0ab481178355df6781e6858";
inline constexpr const char* kNotes = "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c";
inline constexpr const char* kCallHistoryBeforeIOS8 = "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca";
inline constexpr const char* kCallHistory = "5a4935c78a5255723f707230a451d79c540d2741";
inline constexpr const char* kUserDictionaryBeforeIOS5 = "0df474a536db7908bb69cc9b430b94a871ae7752";
inline constexpr const char* kUserDictionary = "0b68edc697a550c9b977b77cd012fa9a0557dfcb";
inline constexpr const char* kMapHistory = "b60c382887dfa562166f099f24797e55c12a94e4";
inline constexpr const char* kKeychain = "51a4616e576dd33cd2abadfea874eb8ff246bf0e";
inline constexpr const char* kAccounts = "5fd03a33c2a31106503589573045150c740721dd";
inline constexpr const char* kApplications = "2436e9cd7b9697b418523c55ac469fea02116cc5";
inline constexpr const char* kWhatsApp = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";
inline constexpr const char* kWhatsAppFallback = "7c7fba66680ef796b916b067077cc246adacf01d";
inline constexpr const char* kInternetHistoryBeforeIOS7 =
    "1d6740792a2b845f4c1e6220c43906d7f0afe8ab";
inline constexpr const char* kInternetHistory = "ed50eadf14505ef0b433e0c4a380526ad6656d3a";
inline constexpr const char* kInternetHistoryFallback = "daa5ae5308250ad766b12e280198bc3a432b671e";
}  // namespace BackupDatabaseNames

// Fills the record's database-name fields for the backup it describes: the iOS major version
// of its deviceInfo (0 while none is known) and the files in its BACKUP_DIRECTORY (flat or
// sharded). Everything is chosen afresh from those inputs on every call.
void setupDataBase(BrimleyAppDelegate& record);
