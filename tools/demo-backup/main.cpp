// torvane-demo-backup: writes the demo backup, a realistic iOS 9 backup of an imaginary
// iPhone with existing and deleted records of every data type, for torvane-scan to read.

#include "demo-backup/DemoBackup.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#ifndef TORVANE_DEMO_BACKUP_DIR
#define TORVANE_DEMO_BACKUP_DIR "demo-backup"
#endif

namespace {

void Usage() {
    std::cout << "Usage: torvane-demo-backup [FOLDER] [--extra-photos N] [--scale N]\n"
                 "\n"
                 "Writes the demo backup into FOLDER (default: " TORVANE_DEMO_BACKUP_DIR
                 ").\n"
                 "A demo backup already there is replaced; any other non-empty folder is left\n"
                 "alone. --extra-photos adds N further camera pictures, for a larger backup.\n"
                 "--scale N writes N times as many records of every kind (1 to 1000).\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = TORVANE_DEMO_BACKUP_DIR;
    demo::DemoBackupOptions options;
    bool folderGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            Usage();
            return 0;
        }
        if (argument == "--extra-photos" && i + 1 < argc) {
            char* end = nullptr;
            const long count = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || count < 0 || count > 100000) {
                std::cerr
                    << "torvane-demo-backup: --extra-photos needs a number from 0 to 100000\n";
                return 2;
            }
            options.extraPhotos = static_cast<int>(count);
        } else if (argument == "--scale" && i + 1 < argc) {
            char* end = nullptr;
            const long scale = std::strtol(argv[++i], &end, 10);
            if (!end || *end != '\0' || scale < 1 || scale > 1000) {
                std::cerr << "torvane-demo-backup: --scale needs a number from 1 to 1000\n";
                return 2;
            }
            options.scale(static_cast<int>(scale));
        } else if (!argument.empty() && argument[0] != '-' && !folderGiven) {
            folder = argument;
            folderGiven = true;
        } else {
            std::cerr << "torvane-demo-backup: unexpected argument " << argument << "\n\n";
            Usage();
            return 2;
        }
    }
    try {
        const demo::DemoBackupContents contents = demo::WriteDemoBackup(folder, options);
        std::size_t deleted = 0, total = 0;
        for (const auto* rows :
             {&contents.messages, &contents.contacts, &contents.calls, &contents.notes,
              &contents.events, &contents.whatsAppMessages, &contents.visits})
            for (const auto& row : *rows) {
                ++total;
                deleted += row.deleted ? 1 : 0;
            }
        std::cout << "Demo backup of \"" << contents.deviceName << "\" written to " << folder
                  << ": " << total << " records, " << deleted << " of them deleted, "
                  << contents.photos << " photos and " << contents.videos << " video.\n";
    } catch (const std::exception& e) {
        std::cerr << "torvane-demo-backup: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
