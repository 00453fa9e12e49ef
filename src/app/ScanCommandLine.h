#pragma once

#include "common/Types.h"
#include "records/DataType.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the headless scanner is asked to do:
//   torvane-scan [BACKUP_FOLDER | --device UDID] [--type all|messages|photos|contacts|calls|
//                 whatsapp|notes|internet|calendar|sms|callhistory|addressbook] [--fast]
//                 [--export DIR] [--legacy]
//   torvane-scan --list-devices
struct ScanOptions {
    // None: the demo backup.
    OptString backupFolder;
    DataType dataType = DataType::DataTypeAll;
    // A fast recovery reads the databases only; a full one copies photos and videos too.
    bool fast = false;
    // Where the export of every record goes; none: no export.
    OptString exportDirectory;
    // Back this connected device up first and scan the fresh backup.
    OptString deviceUdid;
    // Deleted records from the older carving path (byte patterns per iOS version) in place of
    // the signature engine; existing records as usual.
    bool legacy = false;
    // Only list the connected devices.
    bool listDevices = false;
    bool help = false;
};

struct ParsedScanCommandLine {
    std::optional<ScanOptions> options;
    // Why the arguments were refused, when they were.
    std::string error;
};

// The arguments after the program's name. "--type X" and "--type=X", "--export DIR" and
// "--export=DIR" are both accepted; "--" ends the options.
ParsedScanCommandLine ParseScanCommandLine(const std::vector<std::string>& arguments);

// The data type of a --type word, in any letter case (also the names of the export files:
// "sms", "callhistory", "addressbook"); none for an unknown word.
std::optional<DataType> DataTypeFromScanTypeName(std::string_view name);

// The usage text.
std::string ScanUsage(const std::string& program);
