#pragma once

#include "common/CsvWriter.h"
#include "common/Types.h"

#include <cstdint>
#include <string>
#include <string_view>

// The device whose data is being recovered: a connected iPhone or a chosen backup folder.
// The application core fills it before a scan or an export starts; the recovery threads and
// the export only read it afterwards.
class DeviceInfo {
public:
#define TORVANE_TEXT_FIELD(Name)                                \
    const OptString& Name() const { return Name##_; }            \
    void set##Name(OptString v) { Name##_ = std::move(v); }
    TORVANE_TEXT_FIELD(DeviceName)
    TORVANE_TEXT_FIELD(DisplayName)
    TORVANE_TEXT_FIELD(SerialNumber)
    TORVANE_TEXT_FIELD(ProductType)
    TORVANE_TEXT_FIELD(UniqueDeviceID)
    TORVANE_TEXT_FIELD(ProductVersion)
    TORVANE_TEXT_FIELD(FirmwareVersion)
    TORVANE_TEXT_FIELD(IMSI)
    TORVANE_TEXT_FIELD(IMEI)
    TORVANE_TEXT_FIELD(ICICD)
    TORVANE_TEXT_FIELD(PhoneNumber)
    TORVANE_TEXT_FIELD(BackupDate)
    TORVANE_TEXT_FIELD(imgLock)
    TORVANE_TEXT_FIELD(BackupLocation)
    TORVANE_TEXT_FIELD(fullPath)
#undef TORVANE_TEXT_FIELD

    std::int32_t iOSMajorVersion() const { return iOSMajorVersion_; }
    void setIOSMajorVersion(std::int32_t v) { iOSMajorVersion_ = v; }
    std::int32_t iOSMinorVersion() const { return iOSMinorVersion_; }
    void setIOSMinorVersion(std::int32_t v) { iOSMinorVersion_ = v; }
    bool Connected() const { return Connected_; }
    void setConnected(bool v) { Connected_ = v; }
    bool knownIfEncrypted() const { return knownIfEncrypted_; }
    void setKnownIfEncrypted(bool v) { knownIfEncrypted_ = v; }
    bool isEncrypted() const { return isEncrypted_; }
    void setIsEncrypted(bool v) { isEncrypted_ = v; }
    std::int64_t backupSize() const { return backupSize_; }
    void setBackupSize(std::int64_t v) { backupSize_ = v; }

    // Takes the major and minor numbers from a version text such as "9.3.5": the major number
    // only when it is not 0, the minor number only when the text has one; the rest is ignored.
    void applyVersionNumbers(const OptString& productVersion);

    // Writes the device information file: nine "label,value" lines, no header. False when the
    // file could not be written (the target is then left as it was). NewFileOnly: the file is
    // written only where nothing of its name is.
    bool exportDeviceInfo(const std::string& path,
                          CsvWriter::Placement placement = CsvWriter::Placement::Replace) const;

    // The device information file's name, "<device name>_info.csv", with the device name made
    // safe to stand inside the export folder and cut to fit a file name.
    std::string InfoFileName() const;

private:
    OptString DeviceName_, DisplayName_, SerialNumber_, ProductType_, UniqueDeviceID_,
        ProductVersion_, FirmwareVersion_, IMSI_, IMEI_, ICICD_, PhoneNumber_, BackupDate_,
        imgLock_, BackupLocation_, fullPath_;
    std::int32_t iOSMinorVersion_ = 0;
    std::int32_t iOSMajorVersion_ = 0;
    bool Connected_ = false;
    bool knownIfEncrypted_ = false;
    bool isEncrypted_ = false;
    std::int64_t backupSize_ = 0;
};
