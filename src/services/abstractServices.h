#pragma once

#include "common/Types.h"
#include "records/ScanContext.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class BrimleyAppDelegate;
class DeviceInfo;
class FMDBUtils;
class baseRecoveryObject;

// What every recovery service does: recover one data type of a device's backup into the scan's
// results record. The run ends when the service's whole work is done or the context's stop
// token asks it to stop; the results are left in the results record, nothing is returned.
class recoveryProtocol {
public:
    virtual ~recoveryProtocol() = default;
    // Recover from a connected device: every service reads the device's backup instead.
    virtual void RecoverFromDevice(const ScanContext& context) = 0;
    // Recover from the backup folder of the context, synchronously on the caller's thread.
    virtual void RecoverFromIOSBackup(const ScanContext& context) = 0;
};

// The base of every recovery service: where its database lies in the backup, and the state
// that the services share.
//
// A service is made once and reused for every run. Each run happens on a thread of its own,
// concurrently with the other services, and is given the scan's context: the backup folder,
// the device, the database names, the signatures, the stop token and the results record. A
// service opens its own read-only connections (never the results record's handle) and touches
// the results record only through its synchronised lists, counters and flags. One service
// object runs on one thread at a time.
//
// A subclass sets _SqliteDbName in its constructor (or reads files by names of its own),
// overrides RecoverFromIOSBackup and tests the stop token between units of work.
class abstractServices : public recoveryProtocol {
public:
    abstractServices();
    ~abstractServices() override;
    abstractServices(const abstractServices&) = delete;
    abstractServices& operator=(const abstractServices&) = delete;

    // The full path of the service's database: the device's fullPath when set; otherwise the
    // backup file _SqliteDbName of the context's backup folder, found directly in the folder
    // or in its two-digit sub-folder, and where the file would lie directly in the folder when
    // neither holds it. "" without a name. Existence is not required.
    std::string ConnectionFileFullPath(const ScanContext& context) const;
    // The same path.
    std::string ConnectionStringfromDevice(const ScanContext& context) const;
    // The same path when a regular file lies there; none otherwise. The device is the context's
    // unless another is given (another backup of the same phone).
    OptString ConnectionString(const ScanContext& context) const;
    OptString ConnectionString(const ScanContext& context, const DeviceInfo& device) const;

    // Nothing to do in the base: the base knows no data type.
    void RecoverFromDevice(const ScanContext& context) override;
    void RecoverFromIOSBackup(const ScanContext& context) override;

    const OptString& SqliteDbName() const { return _SqliteDbName; }
    void setSqliteDbName(OptString name) { _SqliteDbName = std::move(name); }

    // The records the service keeps for itself (see model); read them on the service's thread
    // or after its run.
    const std::vector<std::shared_ptr<baseRecoveryObject>>& Model() const { return model; }

    // Lets go of what the last run kept for itself (its records, its database handle), so that
    // a new scan does not hold the previous one's records beside its own. Never while the
    // service runs.
    virtual void releaseResults();

    // Existing records read and deleted records attributed in the current run.
    std::atomic<std::int32_t> retrieved{0};
    std::atomic<std::int32_t> recovered{0};

protected:
    // A folder path without trailing slashes, so that one "/" joins it to a name ("/" stays).
    static std::string WithoutTrailingSlashes(std::string folder);

    // Replaces dbUtils by a new handle on the path and opens it read-only; whether it opened.
    bool openOwnDatabase(const std::string& path);

    // The backup file name of the service's main database.
    OptString _SqliteDbName;
    // The service's own handle; unset until the service opens one.
    std::shared_ptr<FMDBUtils> dbUtils;
    // Records a service keeps for itself during a run.
    std::vector<std::shared_ptr<baseRecoveryObject>> model;
};
