#include "device/AFCDirectoryAccess.h"

#include "device/AMDevice.h"
#include "device/DeviceNotificationCenter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

namespace {

constexpr std::size_t kCopyChunk = 10240;

std::string LastPathComponent(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool AllDigits(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

// ---- AFCFileReference ----

AFCFileReference::AFCFileReference(const std::string&, AFCFileRef ref,
                                   std::shared_ptr<AFCConnectionHolder> afc)
    : ref_(ref), afc_(std::move(afc)) {}

AFCFileReference::~AFCFileReference() {
    if (ref_ != 0) closeFile();
}

void AFCFileReference::clearLastError() {
    lasterror_.reset();
}

void AFCFileReference::setLastError(OptString text) {
    lasterror_ = std::move(text);
}

bool AFCFileReference::checkStatus(std::int32_t status, const char* from) {
    if (status == 0) {
        clearLastError();
        return true;
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s failed: %lx", from, static_cast<unsigned long>(status));
    setLastError(std::string(text));
    return false;
}

bool AFCFileReference::ensureFileIsOpen() {
    if (ref_ != 0) return true;
    setLastError("File is not open");
    return false;
}

bool AFCFileReference::closeFile() {
    if (!ensureFileIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    // A connection closed under the file has closed the file with it.
    const std::int32_t status = afc_->afc ? AFCFileRefClose(afc_->afc, ref_) : 0;
    if (!checkStatus(status, "AFCFileRefClose")) return false;
    ref_ = 0;
    return true;
}

bool AFCFileReference::seek(std::int64_t offset, std::int32_t whence) {
    if (!ensureFileIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(afc_->afc ? AFCFileRefSeek(afc_->afc, ref_, offset, whence) : kAFCInvalidArgument,
                       "AFCFileRefSeek");
}

bool AFCFileReference::tell(std::uint64_t* offset) {
    if (!ensureFileIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(afc_->afc ? AFCFileRefTell(afc_->afc, ref_, offset) : kAFCInvalidArgument,
                       "AFCFileRefTell");
}

std::uint32_t AFCFileReference::readN(std::uint32_t count, void* bytes) {
    if (!ensureFileIsOpen()) return 0;
    std::lock_guard lock(afc_->mutex);
    std::uint32_t read = count;
    if (!checkStatus(afc_->afc ? AFCFileRefRead(afc_->afc, ref_, bytes, &read) : kAFCInvalidArgument,
                     "AFCFileRefRead"))
        return 0;
    return read;
}

bool AFCFileReference::writeN(std::uint32_t count, const void* bytes) {
    if (!ensureFileIsOpen()) return false;
    if (count == 0) return true;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(
        afc_->afc ? AFCFileRefWrite(afc_->afc, ref_, bytes, count) : kAFCInvalidArgument,
        "AFCFileRefWrite");
}

bool AFCFileReference::writeNSData(const std::vector<std::uint8_t>& data) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
        setLastError("Data too large");
        return false;
    }
    return writeN(static_cast<std::uint32_t>(data.size()), data.data());
}

bool AFCFileReference::setFileSize(std::uint64_t size) {
    if (!ensureFileIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(
        afc_->afc ? AFCFileRefSetFileSize(afc_->afc, ref_, size) : kAFCInvalidArgument,
        "AFCFileRefSetFileSize");
}

// ---- AFCDirectoryAccess ----

AFCDirectoryAccess::~AFCDirectoryAccess() {
    close();
}

bool AFCDirectoryAccess::openService(const std::string& serviceName, AMDevice& device) {
    return initWithName(serviceName, device) && openConnection();
}

bool AFCDirectoryAccess::openConnection() {
    AFCConnection* afc = nullptr;
    if (AFCConnectionOpen(service_, 0, &afc) != 0) return false;
    std::lock_guard lock(afc_->mutex);
    afc_->afc = afc;
    return true;
}

bool AFCDirectoryAccess::checkStatus(std::int32_t status, const char* from) {
    if (status == 0) {
        clearLastError();
        return true;
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s failed: Return code = 0x%04X", from,
                  static_cast<unsigned>(status));
    setLastError(std::string(text));
    return false;
}

bool AFCDirectoryAccess::ensureConnectionIsOpen() {
    std::lock_guard lock(afc_->mutex);
    if (afc_->afc) return true;
    setLastError("Connection is not open");
    return false;
}

void AFCDirectoryAccess::close() {
    std::lock_guard lock(afc_->mutex);
    if (!afc_->afc) return;
    AFCConnectionClose(afc_->afc);
    afc_->afc = nullptr;
}

bool AFCDirectoryAccess::requirePath(const std::string& path, const char* message) {
    if (!path.empty()) return true;
    setLastError(message);
    return false;
}

PlistValue AFCDirectoryAccess::readAfcDictionary(AFCKeyValuePairs* pairs) {
    PlistValue result = PlistValue::dictionary();
    for (;;) {
        const char* key = nullptr;
        const char* value = nullptr;
        if (AFCKeyValueRead(pairs, &key, &value) != 0 || !key || !value) break;
        const std::string text(value);
        if (AllDigits(text)) {
            // Digits beyond 64 bits stay a text rather than wrapping.
            try {
                result.set(key, PlistValue::integer(text.empty() ? 0 : std::stoll(text)));
            } catch (const std::exception&) {
                result.set(key, PlistValue::string(text));
            }
        } else {
            result.set(key, PlistValue::string(text));
        }
    }
    return result;
}

PlistValue AFCDirectoryAccess::deviceInfo() {
    if (!ensureConnectionIsOpen()) return {};
    std::lock_guard lock(afc_->mutex);
    AFCKeyValuePairs* pairs = nullptr;
    if (!checkStatus(AFCDeviceInfoOpen(afc_->afc, &pairs), "AFCDeviceInfoOpen")) return {};
    PlistValue result = readAfcDictionary(pairs);
    AFCKeyValueClose(pairs);
    return result;
}

PlistValue AFCDirectoryAccess::getFileInfo(const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return {};
    std::lock_guard lock(afc_->mutex);
    AFCKeyValuePairs* pairs = nullptr;
    if (!checkStatus(AFCFileInfoOpen(afc_->afc, path.c_str(), &pairs), "AFCFileInfoOpen")) return {};
    PlistValue result = readAfcDictionary(pairs);
    AFCKeyValueClose(pairs);
    result.set("path", PlistValue::string(path));
    for (const char* key : {"st_birthtime", "st_mtime"}) {
        if (const std::optional<std::int64_t> ns = result.get(key).asInteger())
            result.set(key, PlistValue::date(*ns / 1000000000));
    }
    return result;
}

bool AFCDirectoryAccess::fileExistsAtPath(const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    AFCKeyValuePairs* pairs = nullptr;
    if (AFCFileInfoOpen(afc_->afc, path.c_str(), &pairs) != 0) return false;
    AFCKeyValueClose(pairs);
    return true;
}

std::optional<std::vector<std::string>> AFCDirectoryAccess::directoryContents(const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return std::nullopt;
    std::lock_guard lock(afc_->mutex);
    AFCDirectory* dir = nullptr;
    if (!checkStatus(AFCDirectoryOpen(afc_->afc, path.c_str(), &dir), "AFCDirectoryOpen"))
        return std::nullopt;
    std::vector<std::string> names;
    for (;;) {
        const char* name = nullptr;
        if (AFCDirectoryRead(afc_->afc, dir, &name) != 0 || !name) break;
        const std::string entry(name);
        if (entry != "." && entry != "..") names.push_back(entry);
    }
    AFCDirectoryClose(afc_->afc, dir);
    return names;
}

bool AFCDirectoryAccess::readDir(AFCConnection* afc, const std::string& path,
                                 std::vector<std::string>& into) {
    AFCDirectory* dir = nullptr;
    const std::int32_t status = AFCDirectoryOpen(afc, path.c_str(), &dir);
    if (status == kAFCReadError) {  // a file
        into.push_back(path);
        return true;
    }
    if (!checkStatus(status, "AFCDirectoryOpen")) return false;
    into.push_back(path + "/");
    std::vector<std::string> children;
    for (;;) {
        const char* name = nullptr;
        if (AFCDirectoryRead(afc, dir, &name) != 0 || !name) break;
        const std::string entry(name);
        if (entry != "." && entry != "..") children.push_back(path + "/" + entry);
    }
    AFCDirectoryClose(afc, dir);
    for (const std::string& child : children)
        if (!readDir(afc, child, into)) return false;
    return true;
}

std::optional<std::vector<std::string>> AFCDirectoryAccess::recursiveDirectoryContents(
    const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return std::nullopt;
    std::lock_guard lock(afc_->mutex);
    std::vector<std::string> result;
    if (!readDir(afc_->afc, path, result)) return std::nullopt;
    std::sort(result.begin(), result.end());
    return result;
}

bool AFCDirectoryAccess::mkdir(const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(AFCDirectoryCreate(afc_->afc, path.c_str()), "AFCDirectoryCreate");
}

bool AFCDirectoryAccess::unlink(const std::string& path) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(AFCRemovePath(afc_->afc, path.c_str()), "AFCRemovePath");
}

bool AFCDirectoryAccess::rename(const std::string& oldPath, const std::string& newPath) {
    if (!requirePath(oldPath, "Old path is nil") || !requirePath(newPath, "New path is nil") ||
        !ensureConnectionIsOpen())
        return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(AFCRenamePath(afc_->afc, oldPath.c_str(), newPath.c_str()), "AFCRenamePath");
}

bool AFCDirectoryAccess::link(const std::string& path, const std::string& target) {
    if (!requirePath(path, "Path is nil") || !requirePath(target, "Target is nil") ||
        !ensureConnectionIsOpen())
        return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(AFCLinkPath(afc_->afc, 1, target.c_str(), path.c_str()), "AFCLinkPath");
}

bool AFCDirectoryAccess::symlink(const std::string& path, const std::string& target) {
    if (!requirePath(path, "Path is nil") || !requirePath(target, "Target is nil") ||
        !ensureConnectionIsOpen())
        return false;
    std::lock_guard lock(afc_->mutex);
    return checkStatus(AFCLinkPath(afc_->afc, 2, target.c_str(), path.c_str()), "AFCLinkPath");
}

bool AFCDirectoryAccess::processOp(AFCOperation* operation, const char*) {
    const std::unique_ptr<AFCOperation, void (*)(AFCOperation*)> owned(operation, AFCOperationRelease);
    if (!ensureConnectionIsOpen()) return false;
    if (!operation) {
        setLastError("Input operation is nil");
        return false;
    }
    std::lock_guard lock(afc_->mutex);
    if (!checkStatus(AFCConnectionProcessOperation(afc_->afc, operation, AFCConnectionGetIOTimeout(afc_->afc)),
                     "AFCConnectionProcessOperation"))
        return false;
    const std::int32_t result = AFCOperationGetResultStatus(operation);
    if (result == 0) {
        clearLastError();
        return true;
    }
    const PlistValue info = AFCConnectionCopyLastErrorInfo(afc_->afc);
    const std::string code = std::to_string(result);
    if (!info)
        setLastError("Error " + code + " occurred, no error info");
    else
        setLastError(info.stringFor("NSLocalizedDescription").value_or("Error " + code + " occurred, no message"));
    return false;
}

bool AFCDirectoryAccess::setmodtime(const std::string& path, std::optional<std::int64_t> unixSeconds) {
    if (!requirePath(path, "Path is nil")) return false;
    if (!unixSeconds) {
        setLastError("timestamp is nil");
        return false;
    }
    if (!ensureConnectionIsOpen()) return false;
    setLastError("AFCOperationCreateSetModTime() failed");
    return false;
}

std::unique_ptr<AFCFileReference> AFCDirectoryAccess::openFile(const std::string& path, std::int64_t mode) {
    if (!requirePath(path) || !ensureConnectionIsOpen()) return nullptr;
    std::lock_guard lock(afc_->mutex);
    AFCFileRef ref = 0;
    if (!checkStatus(AFCFileRefOpen(afc_->afc, path.c_str(), mode, &ref), "AFCFileRefOpen"))
        return nullptr;
    return std::make_unique<AFCFileReference>(path, ref, afc_);
}

std::unique_ptr<AFCFileReference> AFCDirectoryAccess::openForRead(const std::string& path) {
    return openFile(path, 1);
}
std::unique_ptr<AFCFileReference> AFCDirectoryAccess::openForWrite(const std::string& path) {
    return openFile(path, 2);
}
std::unique_ptr<AFCFileReference> AFCDirectoryAccess::openForReadWrite(const std::string& path) {
    return openFile(path, 3);
}

bool AFCDirectoryAccess::copyLocalFile(const std::string& localPath, const std::string& remotePath) {
    if (!ensureConnectionIsOpen()) return false;
    if (fileExistsAtPath(remotePath)) {
        setLastError("Won't overwrite existing file");
        return false;
    }
    std::ifstream input(localPath, std::ios::binary);
    std::error_code error;
    if (!input || !std::filesystem::is_regular_file(localPath, error)) {
        setLastError("Can't open input file");
        return false;
    }
    const auto size = std::filesystem::file_size(localPath, error);
    PlistValue info = PlistValue::dictionary();
    info.set("Source", PlistValue::string(localPath));
    info.set("Target", PlistValue::string(remotePath));
    info.set("Size", PlistValue::integer(static_cast<std::int32_t>(error ? 0 : size)));
    DeviceNotificationCenter& center = DeviceNotificationCenter::defaultCenter();
    center.postNotificationName("AFCFileCopyBegin", this, info);

    std::unique_ptr<AFCFileReference> remote = openForWrite(remotePath);
    if (!remote) return false;
    std::vector<char> buffer(kCopyChunk);
    std::int64_t done = 0;
    bool written = true;
    for (;;) {
        info.set("Done", PlistValue::integer(done));
        center.postNotificationName("AFCFileCopyProgress", this, info);
        input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = input.gcount();
        if (got <= 0) break;
        if (!remote->writeN(static_cast<std::uint32_t>(got), buffer.data())) written = false;
        done += got;
    }
    remote->closeFile();
    center.postNotificationName("AFCFileCopyDone", this, info);
    // A write the device refused is a failed copy, not a finished one.
    if (!written) {
        setLastError(remote->lasterror().value_or("AFCFileRefWrite failed"));
        return false;
    }
    return true;
}

bool AFCDirectoryAccess::copyLocalFileToRemoteDir(const std::string& localPath,
                                                  const std::string& remoteDir) {
    std::error_code error;
    const std::filesystem::path local(localPath);
    if (!std::filesystem::exists(std::filesystem::symlink_status(local, error))) return false;
    const std::string target = JoinPath(remoteDir, LastPathComponent(localPath));
    if (std::filesystem::is_directory(local, error)) {
        if (!mkdir(target)) return false;
        for (const auto& entry : std::filesystem::directory_iterator(local, error))
            if (!copyLocalFileToRemoteDir(entry.path().string(), target)) return false;
        return !error;
    }
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(local, error))) {
        char linkTarget[1026];
        const ssize_t length = ::readlink(localPath.c_str(), linkTarget, 1025);
        if (length < 0) return false;
        linkTarget[length] = '\0';
        return symlink(target, linkTarget);
    }
    return copyLocalFile(localPath, target);
}

bool AFCDirectoryAccess::copyRemoteFile(const std::string& remotePath, const std::string& localPath) {
    if (!ensureConnectionIsOpen()) return false;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(localPath, error))) {
        setLastError("Won't overwrite existing file");
        return false;
    }
    std::unique_ptr<AFCFileReference> remote = openForRead(remotePath);
    if (!remote) return false;
    std::ofstream output(localPath, std::ios::binary | std::ios::trunc);
    if (!output) {
        setLastError("Can't open output file");
        return false;
    }
    std::vector<char> buffer(kCopyChunk);
    OptString failure;
    for (;;) {
        const std::uint32_t got = remote->readN(static_cast<std::uint32_t>(buffer.size()), buffer.data());
        if (got == 0) {
            // No bytes and an error: the read failed, the file has not ended.
            failure = remote->lasterror();
            break;
        }
        if (!output.write(buffer.data(), got)) {
            failure = "Can't write output file";
            break;
        }
    }
    output.close();
    if (!failure && !output) failure = "Can't write output file";
    remote->closeFile();
    if (failure) {
        std::filesystem::remove(localPath, error);
        setLastError(failure);
        return false;
    }
    clearLastError();
    return true;
}

// ---- The four services ----

std::unique_ptr<AFCMediaDirectory> AFCMediaDirectory::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AFCMediaDirectory> made(new AFCMediaDirectory());
    return made->openService("com.apple.afc", device) ? std::move(made) : nullptr;
}

std::unique_ptr<AFCCrashLogDirectory> AFCCrashLogDirectory::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AFCCrashLogDirectory> made(new AFCCrashLogDirectory());
    return made->openService("com.apple.crashreportcopymobile", device) ? std::move(made) : nullptr;
}

std::unique_ptr<AFCRootDirectory> AFCRootDirectory::initWithAMDevice(AMDevice& device) {
    std::unique_ptr<AFCRootDirectory> made(new AFCRootDirectory());
    return made->openService("com.apple.afc2", device) ? std::move(made) : nullptr;
}

std::unique_ptr<AFCApplicationDirectory> AFCApplicationDirectory::initWithAMDevice(
    AMDevice& device, const std::string& bundleId) {
    std::unique_ptr<AFCApplicationDirectory> made(new AFCApplicationDirectory());
    if (!made->initWithName("com.apple.mobile.house_arrest", device)) return nullptr;
    PlistValue request = PlistValue::dictionary();
    request.set("Command", PlistValue::string("VendContainer"));
    request.set("Identifier", PlistValue::string(bundleId));
    if (!made->sendXMLRequest(request)) return nullptr;
    const PlistValue reply = made->readXMLReply();
    if (!reply || reply.has("Error")) return nullptr;
    return made->openConnection() ? std::move(made) : nullptr;
}
