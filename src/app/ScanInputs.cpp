#include "app/ScanInputs.h"

#include "records/BrimleyAppDelegate.h"

#include <utility>

ScanContext ScanContextOf(BrimleyAppDelegate& record, std::stop_token stop) {
    ScanContext context;
    context.backupFolder = record.BACKUP_DIRECTORY.get();
    context.device = record.deviceInfo.get();
    for (std::size_t role = 0; role < kDatabaseRoleCount; ++role)
        context.databaseNames[role] = record.databaseName(static_cast<DatabaseRole>(role)).get();
    context.signatures = record.recoverySignatures.get();
    context.stop = std::move(stop);
    context.recoverType = record.RecoverType.load();
    context.results = &record;
    context.files = record.backupFiles.get();
    return context;
}
