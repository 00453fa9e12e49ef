#pragma once

#include "records/ScanContext.h"

#include <stop_token>

class BrimleyAppDelegate;

// The inputs of a scan of the backup the record describes now: its BACKUP_DIRECTORY, device,
// database names, signatures, recovery mode and the way the scan reads the backup's files
// (backupFiles), with the record itself as the results record.
// The front end's record is where the window and the export look; a scan reads it once, here,
// and hands the values down.
ScanContext ScanContextOf(BrimleyAppDelegate& record, std::stop_token stop = {});
