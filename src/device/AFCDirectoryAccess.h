#pragma once

#include "common/Types.h"
#include "device/AMService.h"
#include "device/DevicePlist.h"
#include "device/MobileDeviceFramework.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class AMDevice;

// The AFC connection a directory-access object and the files it opened share; closing the
// directory access closes it for the files too.
struct AFCConnectionHolder {
    std::mutex mutex;
    AFCConnection* afc = nullptr;
};

// One file opened over AFC. Each failing call sets lasterror to "<function> failed: <status>"
// and gives false or 0; each success clears it. Closed when destroyed.
class AFCFileReference {
public:
    AFCFileReference(const std::string& path, AFCFileRef ref, std::shared_ptr<AFCConnectionHolder> afc);
    ~AFCFileReference();
    AFCFileReference(const AFCFileReference&) = delete;
    AFCFileReference& operator=(const AFCFileReference&) = delete;

    void clearLastError();
    void setLastError(OptString text);
    bool checkStatus(std::int32_t status, const char* from);
    // False with "File is not open" when the file has been closed.
    bool ensureFileIsOpen();

    bool closeFile();
    bool seek(std::int64_t offset, std::int32_t whence);
    bool tell(std::uint64_t* offset);
    // The bytes read; 0 at the end or on a failure.
    std::uint32_t readN(std::uint32_t count, void* bytes);
    bool writeN(std::uint32_t count, const void* bytes);
    bool writeNSData(const std::vector<std::uint8_t>& data);
    bool setFileSize(std::uint64_t size);
    OptString lasterror() const { return lasterror_; }

private:
    AFCFileRef ref_;
    std::shared_ptr<AFCConnectionHolder> afc_;
    OptString lasterror_;
};

// File access on the device over one AFC connection. Failing calls set lasterror to
// "<function> failed: Return code = 0x<status>"; every operation first checks the connection
// ("Connection is not open"); an empty path gives "Input path is nil". Paths are absolute on
// the service's root; a path with a ".." component is refused.
class AFCDirectoryAccess : public AMService {
public:
    ~AFCDirectoryAccess() override;

    bool checkStatus(std::int32_t status, const char* from);
    bool ensureConnectionIsOpen();
    void close();

    // The key/value pairs as a dictionary: values of decimal digits only become numbers,
    // others stay texts.
    PlistValue readAfcDictionary(AFCKeyValuePairs* pairs);
    PlistValue deviceInfo();
    // The file's information, with "path" added and st_birthtime/st_mtime (nanoseconds) as dates.
    PlistValue getFileInfo(const std::string& path);
    bool fileExistsAtPath(const std::string& path);
    // Entry names in the device's order, without "." and "..".
    std::optional<std::vector<std::string>> directoryContents(const std::string& path);
    // Every path under and including `path`, sorted; directories end with "/".
    std::optional<std::vector<std::string>> recursiveDirectoryContents(const std::string& path);
    bool mkdir(const std::string& path);
    bool unlink(const std::string& path);
    bool rename(const std::string& oldPath, const std::string& newPath);
    bool link(const std::string& path, const std::string& target);
    bool symlink(const std::string& path, const std::string& target);
    // Runs the operation (made by an AFCOperationCreate... function) on the connection within
    // its I/O timeout and releases it, whatever happens. True when the device did it; otherwise
    // lasterror is the device's error text, "Error <status> occurred, no message" when the
    // error has no text, or "Error <status> occurred, no error info" when nothing is known of
    // it. `from` is not used.
    bool processOp(AFCOperation* operation, const char* from);
    // Setting a modification time is not offered: always false.
    bool setmodtime(const std::string& path, std::optional<std::int64_t> unixSeconds);
    std::unique_ptr<AFCFileReference> openForRead(const std::string& path);
    std::unique_ptr<AFCFileReference> openForWrite(const std::string& path);
    std::unique_ptr<AFCFileReference> openForReadWrite(const std::string& path);

    // Copies with "AFCFileCopyBegin", "AFCFileCopyProgress" and "AFCFileCopyDone" posted to the
    // device notification centre (Source, Target, Size, Done). An existing target is never
    // overwritten.
    bool copyLocalFile(const std::string& localPath, const std::string& remotePath);
    bool copyLocalFileToRemoteDir(const std::string& localPath, const std::string& remoteDir);
    // A read that fails on the way fails the copy with the read's error text and leaves no
    // local file; so does a local write that fails.
    bool copyRemoteFile(const std::string& remotePath, const std::string& localPath);

protected:
    AFCDirectoryAccess() = default;
    // Starts the service and opens the AFC connection on it.
    bool openService(const std::string& serviceName, AMDevice& device);
    bool openConnection();

private:
    bool requirePath(const std::string& path, const char* message = "Input path is nil");
    std::unique_ptr<AFCFileReference> openFile(const std::string& path, std::int64_t mode);
    bool readDir(AFCConnection* afc, const std::string& path, std::vector<std::string>& into);

    std::shared_ptr<AFCConnectionHolder> afc_ = std::make_shared<AFCConnectionHolder>();
};

// The media folder ("com.apple.afc").
class AFCMediaDirectory : public AFCDirectoryAccess {
public:
    static std::unique_ptr<AFCMediaDirectory> initWithAMDevice(AMDevice& device);
};

// The crash logs ("com.apple.crashreportcopymobile").
class AFCCrashLogDirectory : public AFCDirectoryAccess {
public:
    static std::unique_ptr<AFCCrashLogDirectory> initWithAMDevice(AMDevice& device);
};

// The whole file system of a jailbroken device ("com.apple.afc2").
class AFCRootDirectory : public AFCDirectoryAccess {
public:
    static std::unique_ptr<AFCRootDirectory> initWithAMDevice(AMDevice& device);
};

// An application's container ("com.apple.mobile.house_arrest", VendContainer).
class AFCApplicationDirectory : public AFCDirectoryAccess {
public:
    static std::unique_ptr<AFCApplicationDirectory> initWithAMDevice(AMDevice& device,
                                                                     const std::string& bundleId);
};
