// The file list of older backups: a Manifest.mbdb written here with a handful of files, and
// damaged copies of it.

#include "legacy/ParseMbdb.h"
#include "support/FixtureDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Entry {
    std::optional<std::string> domain, path, link, dataHash, key;
    std::uint16_t mode = 0x81A4;
    std::uint64_t inode = 0;
    std::uint32_t user = 501, group = 501, mtime = 0, atime = 0, ctime = 0;
    std::uint64_t size = 0;
    std::uint8_t flag = 4;
    std::vector<std::pair<std::string, std::string>> properties;
};

using Text = std::optional<std::string>;

Entry Make(Text domain, Text path, Text link, Text dataHash, Text key) {
    Entry entry;
    entry.domain = std::move(domain), entry.path = std::move(path), entry.link = std::move(link);
    entry.dataHash = std::move(dataHash), entry.key = std::move(key);
    return entry;
}

// Writes Manifest.mbdb bytes; an absent string is written as FF FF.
class MbdbWriter {
public:
    MbdbWriter() { bytes_ = std::string("mbdb\x05\x00", 6); }
    MbdbWriter& add(const Entry& e) {
        text(e.domain), text(e.path), text(e.link), text(e.dataHash), text(e.key);
        number(e.mode, 2), number(e.inode, 8), number(e.user, 4), number(e.group, 4);
        number(e.mtime, 4), number(e.atime, 4), number(e.ctime, 4), number(e.size, 8);
        number(e.flag, 1), number(e.properties.size(), 1);
        for (const auto& [name, value] : e.properties) text(name), text(value);
        boundaries_.push_back(bytes_.size());
        return *this;
    }
    const std::string& bytes() const { return bytes_; }
    // Where each record ends.
    const std::vector<std::size_t>& boundaries() const { return boundaries_; }

private:
    void number(std::uint64_t value, int width) {
        for (int i = width - 1; i >= 0; --i) bytes_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    void text(const std::optional<std::string>& value) {
        if (!value) return bytes_.append("\xff\xff", 2), void();
        number(value->size(), 2);
        bytes_ += *value;
    }
    std::string bytes_;
    std::vector<std::size_t> boundaries_;
};

std::optional<ParseMbdb::Records> Parse(const std::string& bytes, std::string* error = nullptr) {
    return ParseMbdb::ProcessMbdbData(FileBytes(std::string_view(bytes)), error);
}

// A handful of files as a phone of iOS 5 to 9 lists them.
MbdbWriter Manifest() {
    MbdbWriter writer;
    Entry sms = Make("HomeDomain", "Library/SMS/sms.db", std::nullopt, std::string("\x12\xff\x00\x9a", 4), std::nullopt);
    sms.inode = 0x0000000100000002ULL, sms.mtime = 1400000000, sms.atime = 1400000001;
    sms.ctime = 1400000002, sms.size = 0x100002000ULL;
    writer.add(sms);
    Entry folder = Make("HomeDomain", "Library/SMS", "", "", "");
    folder.mode = 0x41ED;
    writer.add(folder);
    Entry photo = Make("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", "", "", "");
    photo.properties = {{"com.apple.assetsd.UUID", "A1"}, {"", "dropped"}, {"com.apple.assetsd.UUID", "A2"},
                        {"com.apple.assetsd.dbRebuildUuid", std::string("\xc3\x28", 2)}};
    writer.add(photo);
    Entry recording = Make("MediaDomain", "Media/Recordings/Stra\xc3\x9f" "e.m4a", "", std::nullopt, "key");
    writer.add(recording);
    Entry link = Make("HomeDomain", "Library/Link", "/var/mobile/Target", std::nullopt, std::nullopt);
    link.mode = 0xA1ED;
    writer.add(link);
    return writer;
}

}  // namespace

TEST(ParseMbdb, ReadsEveryRecordWithItsBackupName) {
    const MbdbWriter writer = Manifest();
    std::string error;
    const auto records = Parse(writer.bytes(), &error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 5u);

    const MDFileInfo& sms = *(*records)[0];
    EXPECT_EQ(sms.intStartOffset, 6);
    EXPECT_EQ(sms.Domain, "HomeDomain");
    EXPECT_EQ(sms.FileName, "Library/SMS/sms.db");
    EXPECT_EQ(sms.strlinkTarget, "");
    EXPECT_EQ(sms.strDataHash, "<null>");
    EXPECT_EQ(sms.strUnknown1, "");
    EXPECT_EQ(sms.strHash, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(sms.intMode, 0x81A4);
    EXPECT_EQ(sms.intUnknown2, 1);
    EXPECT_EQ(sms.intUnknown3, 2);
    EXPECT_EQ(sms.intUserID, 501);
    EXPECT_EQ(sms.intGroupID, 501);
    EXPECT_EQ(sms.intmTime, 1400000000);
    EXPECT_EQ(sms.intaTime, 1400000001);
    EXPECT_EQ(sms.intcTime, 1400000002);
    EXPECT_EQ(sms.intfileLen, 0x2000);
    EXPECT_EQ(sms.intflag, 4);
    EXPECT_EQ(sms.intNumberofProps, 0);
    EXPECT_FALSE(sms.dicProperties);
    EXPECT_EQ(sms.RecordType, 5);

    EXPECT_EQ((*records)[1]->RecordType, 1);
    EXPECT_EQ((*records)[1]->intStartOffset, static_cast<std::int32_t>(writer.boundaries()[0]));

    const MDFileInfo& photo = *(*records)[2];
    EXPECT_EQ(photo.strHash, "343e26971dfe9c395c425c0ccf799df63ae6261e");
    EXPECT_EQ(photo.RecordType, 3);
    EXPECT_EQ(photo.intNumberofProps, 4);
    ASSERT_TRUE(photo.dicProperties);
    EXPECT_EQ(*photo.dicProperties, (std::map<std::string, std::string>{
                                        {"com.apple.assetsd.UUID", "A2"},
                                        {"com.apple.assetsd.dbRebuildUuid", "<null>"}}));

    // The name of a file with a non-ASCII path is hashed over its UTF-8 bytes.
    EXPECT_EQ((*records)[3]->strHash, "42dd0c38db811f7ebb40c5f3583e752a3fd0aae1");
    EXPECT_EQ((*records)[3]->RecordType, 4);
    EXPECT_EQ((*records)[3]->strUnknown1, "key");

    EXPECT_EQ((*records)[4]->strlinkTarget, "/var/mobile/Target");
    EXPECT_EQ((*records)[4]->RecordType, 1);
}

TEST(ParseMbdb, RecordTypeByModeAndExtension) {
    const struct {
        const char* path;
        std::uint16_t mode;
        std::int32_t type;
    } cases[] = {
        {"Library/AddressBook/AddressBook.sqlitedb", 0x81A4, 5},
        {"Library/Notes/notes.DB", 0x81A4, 5},
        {"Library/Calendar/Extras.cd", 0x81A4, 5},
        {"Media/DCIM/IMG_1.jpeg", 0x81A4, 3},
        {"Media/DCIM/IMG_2.JPG", 0x81A4, 3},
        {"Media/DCIM/IMG_3.jpg.db", 0x81A4, 5},
        {"Media/Recordings/a.MOV", 0x81A4, 4},
        {"Library/Preferences/com.apple.x.plist", 0x81A4, 2},
        {"Library/Preferences/odd. plist", 0x81A4, 2},
        {"Library/Cookies/Cookies", 0x81A4, 6},
        {"Library/.profile", 0x81A4, 6},
        {"Library/Cookies/a.txt", 0x81A4, 6},
        {"Library/SMS/sms.db", 0x41ED, 1},
        {"Library/SMS/sms.db", 0xA1ED, 1},
    };
    MbdbWriter writer;
    for (const auto& c : cases) {
        Entry entry = Make("HomeDomain", c.path, "", "", "");
        entry.mode = c.mode;
        writer.add(entry);
    }
    const auto records = Parse(writer.bytes());
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), std::size(cases));
    for (std::size_t i = 0; i < records->size(); ++i)
        EXPECT_EQ((*records)[i]->RecordType, cases[i].type) << cases[i].path << " " << cases[i].mode;
}

TEST(ParseMbdb, ACutInAnyFieldKeepsTheWholeRecordsBeforeIt) {
    const MbdbWriter writer = Manifest();
    const std::string& whole = writer.bytes();
    const auto all = Parse(whole);
    ASSERT_TRUE(all);
    std::set<std::string> fields;
    for (std::size_t cut = 7; cut < whole.size(); ++cut) {
        std::string error;
        const auto records = Parse(whole.substr(0, cut), &error);
        ASSERT_TRUE(records) << "cut at " << cut;
        // The records that end at or before the cut, each read as from the whole file.
        const auto before = static_cast<std::size_t>(
            std::upper_bound(writer.boundaries().begin(), writer.boundaries().end(), cut) -
            writer.boundaries().begin());
        ASSERT_EQ(records->size(), before) << "cut at " << cut;
        for (std::size_t i = 0; i < before; ++i) {
            EXPECT_EQ((*records)[i]->strHash, (*all)[i]->strHash);
            EXPECT_EQ((*records)[i]->dicProperties, (*all)[i]->dicProperties);
        }
        if (std::binary_search(writer.boundaries().begin(), writer.boundaries().end(), cut)) {
            EXPECT_TRUE(error.empty()) << cut << ": " << error;
            continue;
        }
        // The cut is reported, with where the cut record begins.
        const std::size_t start = before == 0 ? 6 : writer.boundaries()[before - 1];
        EXPECT_NE(error.find("the record at offset " + std::to_string(start) + " "), std::string::npos) << error;
        EXPECT_NE(error.find("the " + std::to_string(before) + " records before it are listed"), std::string::npos)
            << error;
        // Too few bytes left for the properties a record declares is found before they are read.
        if (error.find("declares ") != std::string::npos) {
            fields.insert("declared count");
            continue;
        }
        ASSERT_NE(error.find("ends inside its "), std::string::npos) << error;
        const auto from = error.find("its ") + 4;
        fields.insert(error.substr(from, error.find(" (", from) - from));
    }
    for (const char* field : {"domain", "path", "link target", "data hash", "encryption key", "mode",
                              "inode number", "user id", "group id", "modification time", "access time",
                              "change time", "file length", "flag", "property count", "property name 1",
                              "property value 1", "property name 4", "property value 4", "declared count"})
        EXPECT_TRUE(fields.count(field)) << field;
}

TEST(ParseMbdb, ALastRecordCutShortLosesNothingBeforeIt) {
    const MbdbWriter writer = Manifest();
    const std::string& whole = writer.bytes();
    // Four whole records and the first twenty bytes of the fifth.
    const std::size_t fourth = writer.boundaries()[3];
    std::string error;
    const auto records = Parse(whole.substr(0, fourth + 20), &error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 4u);
    EXPECT_EQ((*records)[0]->FileName, "Library/SMS/sms.db");
    EXPECT_EQ((*records)[0]->strHash, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ((*records)[3]->intStartOffset, static_cast<std::int32_t>(writer.boundaries()[2]));
    EXPECT_NE(error.find("the record at offset " + std::to_string(fourth)), std::string::npos) << error;

    // Read to its end, the same file reports nothing, whatever the text held before.
    error = "stale";
    ASSERT_TRUE(Parse(whole, &error));
    EXPECT_TRUE(error.empty()) << error;
}

TEST(ParseMbdb, DamagedFilesGiveAClearError) {
    const std::string good = Manifest().bytes();
    std::string pastTheEnd = good;
    pastTheEnd[6] = '\x7f';  // the first domain's length runs far past the end
    MbdbWriter manyProperties;
    Entry entry = Make("HomeDomain", "Library/a", "", "", "");
    entry.properties.assign(255, {"n", "v"});
    manyProperties.add(entry);
    std::string hugeCount = manyProperties.bytes().substr(0, manyProperties.bytes().size() - 255 * 6 + 12);

    const struct {
        const char* name;
        std::string bytes;
        const char* error;

        bool list;
    } cases[] = {
        {"empty", "", "empty", false},
        {"too short for a magic", "mbd", "no \"mbdb\" header", false},
        {"wrong magic", "mbdx" + good.substr(4), "no \"mbdb\" header", false},
        {"no version", "mbdb\x05", "ends inside its header", false},
        // A first record cut short: a list of no files, and the cut named.
        {"length past the end", pastTheEnd, "ends inside its domain", true},
        {"huge property count", hugeCount, "declares 255 properties, more than the 12 bytes left", true},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto records = Parse(c.bytes, &error);
        EXPECT_EQ(records.has_value(), c.list) << c.name;
        if (records) {
            EXPECT_TRUE(records->empty()) << c.name;
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    }
    // The header alone is a list of no files.
    const auto none = Parse(std::string("mbdb\x05\x00", 6));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST(ParseMbdb, ReadsTheFileAndNamesWhyNot) {
    testsupport::TempDir dir;
    std::ofstream(dir / "Manifest.mbdb", std::ios::binary) << Manifest().bytes();
    const auto records = ParseMbdb::ProcessMbdbFile((dir / "Manifest.mbdb").string());
    ASSERT_TRUE(records);
    EXPECT_EQ(records->size(), 5u);

    std::string error;
    EXPECT_FALSE(ParseMbdb::ProcessMbdbFile((dir / "missing").string(), &error));
    EXPECT_FALSE(error.empty());
    std::ofstream(dir / "empty").close();
    EXPECT_FALSE(ParseMbdb::ProcessMbdbFile((dir / "empty").string(), &error));
}

TEST(ParseMbdb, StringsAndNumbersStopAtTheEnd) {
    const std::string bytes("\x00\x03" "a\x00" "b" "\xff\xff" "\x00\x05" "ab", 11);
    const FileBytes view{std::string_view(bytes)};
    std::int64_t cursor = 0;
    EXPECT_EQ(mbdb::getstring(view, cursor), "a");
    EXPECT_EQ(cursor, 5);
    EXPECT_EQ(mbdb::getstring(view, cursor), "");
    EXPECT_EQ(cursor, 7);
    EXPECT_FALSE(mbdb::getstring(view, cursor));
    EXPECT_EQ(cursor, 7);
    EXPECT_EQ(mbdb::getint(view, cursor, 2), 5u);
    EXPECT_FALSE(mbdb::getint(view, cursor, 4));
    EXPECT_EQ(ParseMbdb::digest("HomeDomain-Library/SMS/sms.db"), "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
}

namespace {

// A list whose records are followed by nothing but zeros (every 50 bytes one empty record), and
// then its records again, read from a file several times the size that the reader keeps mapped:
// every record comes to the visitor in file order, whole, and held by no one else.
TEST(ParseMbdb, RecordsAreHandedOverOneByOneAndKeptByNoOne) {
    const std::string records = Manifest().bytes().substr(6);
    const std::string list = Manifest().bytes() + std::string(50 * 100000, '\0') + records;
    testsupport::TempDir dir;
    std::ofstream(dir / "Manifest.mbdb", std::ios::binary) << list;
    const auto expected = Parse(list);
    ASSERT_TRUE(expected);
    std::size_t visited = 0;
    std::string error;
    ASSERT_TRUE(ParseMbdb::VisitMbdbFile(
        (dir / "Manifest.mbdb").string(),
        [&](std::shared_ptr<MDFileInfo> record) {
            ASSERT_LT(visited, expected->size());
            const MDFileInfo& same = *(*expected)[visited++];
            EXPECT_EQ(record->strHash, same.strHash);
            EXPECT_EQ(record->intStartOffset, same.intStartOffset);
            // The reader holds no record it has handed over: what a reader does not keep is gone.
            EXPECT_EQ(record.use_count(), 1);
        },
        &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(visited, 2 * Manifest().boundaries().size() + 100000);
    EXPECT_EQ(visited, expected->size());
}

}  // namespace
