#include "support/BackupBuilder.h"

#include <plist/plist.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

using namespace testsupport;

namespace {

std::string FileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

Plist ParsePlist(const std::string& bytes) {
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    return Plist(root);
}

std::string StringAt(plist_t dict, const char* key) {
    plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_STRING) return "<absent>";
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string text = value ? value : "";
    free(value);
    return text;
}

}  // namespace

TEST(BackupBuilder, StoresFilesUnderTheirHashedNameInEitherLayout) {
    const std::string smsName = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
    EXPECT_EQ(BackupBuilder::BackupName("HomeDomain", "Library/SMS/sms.db"), smsName);

    struct Case {
        BackupLayout layout;
        std::filesystem::path where;
    };
    const Case cases[] = {{BackupLayout::Flat, smsName},
                          {BackupLayout::Sharded, std::filesystem::path("3d") / smsName}};
    for (const auto& c : cases) {
        TempDir dir;
        BackupBuilder backup(dir / "backup", c.layout);
        auto db = backup.addDatabase("HomeDomain", "Library/SMS/sms.db", "sms-ios6.sql");
        EXPECT_EQ(db.path(), backup.folder() / c.where);
        db.close();
        EXPECT_TRUE(std::filesystem::is_regular_file(backup.folder() / c.where)) << c.where;

        const auto file = backup.addFile("HomeDomain", "Library/Notes/x", Bytes{'a', 0, 'b'});
        EXPECT_EQ(FileBytes(file), std::string("a\0b", 3));
    }
}

TEST(BackupBuilder, WritesThePropertyListsOfARealBackup) {
    TempDir dir;
    BackupBuilder backup(dir.path());
    DeviceDetails details;
    details.isEncrypted = true;
    details.phoneNumber.reset();
    backup.writePlists(details);

    const std::string manifestBytes = FileBytes(dir / "Manifest.plist");
    EXPECT_EQ(manifestBytes.substr(0, 8), "bplist00");
    const Plist manifest = ParsePlist(manifestBytes);
    ASSERT_TRUE(manifest);
    plist_t encrypted = plist_dict_get_item(manifest.get(), "IsEncrypted");
    ASSERT_TRUE(encrypted);
    std::uint8_t flag = 0;
    plist_get_bool_val(encrypted, &flag);
    EXPECT_TRUE(flag);
    EXPECT_EQ(StringAt(plist_dict_get_item(manifest.get(), "Lockdown"), "DeviceName"), "Test iPhone");
    EXPECT_EQ(StringAt(manifest.get(), "ProductVersion"), "<absent>");

    const std::string info = FileBytes(dir / "Info.plist");
    EXPECT_NE(info.find("<?xml"), std::string::npos);
    EXPECT_NE(info.find("<key>Device Name</key>"), std::string::npos);
    EXPECT_NE(info.find("<date>2016-09-01T10:00:00Z</date>"), std::string::npos);
    EXPECT_EQ(info.find("Phone Number"), std::string::npos);

    // Absent details leave their keys out.
    details.isEncrypted.reset();
    details.withLockdown = false;
    backup.writeManifestPlist(details);
    const Plist bare = ParsePlist(FileBytes(dir / "Manifest.plist"));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(plist_dict_get_item(bare.get(), "IsEncrypted"));
    EXPECT_FALSE(plist_dict_get_item(bare.get(), "Lockdown"));
}
