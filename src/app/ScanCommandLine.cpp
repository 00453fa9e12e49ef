#include "app/ScanCommandLine.h"

#include "app/DataTypes.h"

#include <utility>
#include <vector>

namespace {

ParsedScanCommandLine Refused(std::string error) {
    return {std::nullopt, std::move(error)};
}

}  // namespace

std::optional<DataType> DataTypeFromScanTypeName(std::string_view name) {
    // "SMS" as the export file spells it is "sms".
    std::string word(name);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (word == "all") return DataType::DataTypeAll;
    const DataTypeDescriptor* descriptor = DataTypeOfCommandLineName(word);
    if (!descriptor || !descriptor->dataType) return std::nullopt;
    return descriptor->dataType;
}

ParsedScanCommandLine ParseScanCommandLine(const std::vector<std::string>& arguments) {
    ScanOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // The value of an option given as "--name=value" or as "--name value".
        const auto valueOf = [&](const std::string& option) -> OptString {
            if (argument.size() > option.size() &&
                argument.compare(0, option.size(), option) == 0 && argument[option.size()] == '=')
                return argument.substr(option.size() + 1);
            if (argument == option && i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };
        const auto isOption = [&](const std::string& option) {
            return argument == option || argument.rfind(option + "=", 0) == 0;
        };

        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            if (options.backupFolder) return Refused("only one backup folder can be scanned");
            options.backupFolder = argument;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "--fast") {
            options.fast = true;
        } else if (argument == "--legacy") {
            options.legacy = true;
        } else if (isOption("--type")) {
            const OptString value = valueOf("--type");
            if (!value) return Refused("--type needs a data type");
            const auto type = DataTypeFromScanTypeName(*value);
            if (!type) return Refused("unknown data type \"" + *value + "\"");
            options.dataType = *type;
        } else if (isOption("--export")) {
            const OptString value = valueOf("--export");
            if (!value || value->empty()) return Refused("--export needs a folder");
            options.exportDirectory = value;
        } else if (isOption("--device")) {
            const OptString value = valueOf("--device");
            if (!value || value->empty()) return Refused("--device needs a device identifier");
            options.deviceUdid = value;
        } else if (argument == "--list-devices") {
            options.listDevices = true;
        } else {
            return Refused("unknown option " + argument);
        }
    }
    if (options.deviceUdid && options.backupFolder)
        return Refused("scan either a backup folder or a device, not both");
    return {std::move(options), {}};
}

std::string ScanUsage(const std::string& program) {
    // "all (the default), messages, contacts, ... or internet", folded after 78 columns.
    std::vector<std::string> words{"all (the default)"};
    for (const auto& descriptor : DataTypes())
        if (!descriptor.commandLineNames.empty())
            words.emplace_back(descriptor.commandLineNames.front());
    std::string types = "  --type TYPE   ";
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string word =
            (i + 1 == words.size() ? "or " : "") + words[i] + (i + 2 < words.size() ? "," : "");
        if (types.size() - lineStart + word.size() + 1 > 78) {
            types += "\n                ";
            lineStart = types.size() - 16;
        } else if (i > 0) {
            types += ' ';
        }
        types += word;
    }
    types += '\n';
    // The names the export files give some types are taken too.
    std::string exportNames;
    for (const auto& descriptor : DataTypes())
        for (std::size_t i = 1; i < descriptor.commandLineNames.size(); ++i)
            exportNames += (exportNames.empty() ? "" : ", ") +
                           std::string(descriptor.commandLineNames[i]);
    if (!exportNames.empty())
        types += "                (or as the export names them: " + exportNames + ")\n";
    return "Usage: " + program +
           " [BACKUP_FOLDER | --device UDID] [--type TYPE] [--fast] [--export DIR]\n"
           "       " + std::string(program.size(), ' ') + " [--legacy]\n"
           "       " + program + " --list-devices\n"
           "\n"
           "Reads an iOS backup folder and lists every existing record and every deleted record\n"
           "it can recover. Without BACKUP_FOLDER the demo backup is scanned.\n"
           "\n"
           "  --device UDID  back the connected device up first (with idevicebackup2) and scan\n"
           "                 the fresh backup\n"
           "  --list-devices list the connected devices and their identifiers\n" +
           types +
           "  --fast        read the databases only; do not copy photos and videos\n"
           "  --export DIR  export every record found into a dated folder inside DIR\n"
           "                (one CSV file per data type, the device's details, photos, videos)\n"
           "  --legacy      recover the deleted records with the older carving path (byte\n"
           "                patterns per iOS version) instead of the signature engine\n"
           "\n"
           "Ctrl-C stops the scan; what was found until then is still reported and exported.\n";
}
