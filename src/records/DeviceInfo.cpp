#include "records/DeviceInfo.h"

#include "common/CsvWriter.h"
#include "common/FileName.h"

#include <charconv>

namespace {

// The leading decimal number of a version component ("3" of "3", "10" of "10b"); 0 when none.
std::int32_t LeadingNumber(std::string_view part) {
    std::int32_t value = 0;
    std::from_chars(part.data(), part.data() + part.size(), value);
    return value;
}

}  // namespace

void DeviceInfo::applyVersionNumbers(const OptString& productVersion) {
    if (!productVersion) return;
    const std::string_view text = *productVersion;
    const auto dot = text.find('.');
    const std::int32_t major = LeadingNumber(text.substr(0, dot));
    if (major != 0) iOSMajorVersion_ = major;
    if (dot != std::string_view::npos) {
        const auto rest = text.substr(dot + 1);
        iOSMinorVersion_ = LeadingNumber(rest.substr(0, rest.find('.')));
    }
}

bool DeviceInfo::exportDeviceInfo(const std::string& path, CsvWriter::Placement placement) const {
    CsvWriter writer(path, placement);
    writer.writeLineOfFields({"Device Name", DeviceName_});
    writer.writeLineOfFields({"Serial Number", SerialNumber_});
    writer.writeLineOfFields({"Product Type", ProductType_});
    writer.writeLineOfFields({"Unique DeviceID", UniqueDeviceID_});
    writer.writeLineOfFields({"Product Version", ProductVersion_});
    writer.writeLineOfFields({"Firmware Version", FirmwareVersion_});
    writer.writeLineOfFields({"IMSI", IMSI_});
    writer.writeLineOfFields({"IMEI", IMEI_});
    writer.writeLineOfFields({"ICICD", ICICD_});
    return writer.closeFile();
}

std::string DeviceInfo::InfoFileName() const {
    constexpr std::string_view kEnding = "_info.csv";
    return std::string(Utf8Prefix(MakeSafeFileName(DeviceName_.value_or("")),
                                  kMaxFileNameBytes - kEnding.size())) +
           std::string(kEnding);
}
