// torvane-large-backup: writes a backup with one big messages database, for measuring a scan.

#include "large-backup/LargeBackup.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    largebackup::LargeBackupOptions options;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--messages" && i + 1 < argc) {
            char* end = nullptr;
            const long long count = std::strtoll(argv[++i], &end, 10);
            if (!end || *end != '\0' || count < 1 || count > 20000000) {
                std::cerr << "torvane-large-backup: --messages needs a number from 1 to 20000000\n";
                return 2;
            }
            options.messages = count;
        } else if (argument == "--delete-every-other") {
            options.deleteEveryOther = true;
        } else if (!argument.empty() && argument[0] != '-' && folder.empty()) {
            folder = argument;
        } else {
            std::cerr << "Usage: torvane-large-backup FOLDER [--messages N] [--delete-every-other]\n";
            return 2;
        }
    }
    if (folder.empty()) {
        std::cerr << "Usage: torvane-large-backup FOLDER [--messages N] [--delete-every-other]\n";
        return 2;
    }
    try {
        const auto contents = largebackup::WriteLargeBackup(folder, options);
        std::cout << "Backup written to " << folder << ": " << contents.existing << " existing and "
                  << contents.deleted << " deleted messages in " << contents.messagesDatabase
                  << "\n";
    } catch (const std::exception& e) {
        std::cerr << "torvane-large-backup: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
