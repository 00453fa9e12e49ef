#pragma once

#include "common/Types.h"
#include "records/SharedList.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class BrimleyAppDelegate;

// The data types the send-to-device wizard sends, each as one JSON file for the companion
// application. The files are a contract with that application: their names, keys and value
// forms do not change.
enum class SendKind { Messages, CallHistory, Contacts, Calendar, Notes, WhatsApp };

namespace SendFiles {

// "yyyy-MM-dd HH:mm:ss" as "MM-dd-yyyy HH:mm", by character position: absent stays absent; a
// text of fewer than 11 characters gives " "; of 11 to 15 characters the time is what there is.
OptString reframeDate(const OptString& date);

// One file's JSON: an object with one key whose value is an array of objects of texts. The
// records are read from the shared state, existing records first. The absent texts the file
// fills are filled in the records themselves too (each in one locked step, as the export and
// the screens may read them meanwhile), so what is shown and exported afterwards is what was
// sent.
nlohmann::ordered_json Build(SendKind kind, BrimleyAppDelegate& record);
// The text written: pretty-printed, UTF-8 (a broken byte sequence of a record becomes U+FFFD).
std::string Text(const nlohmann::ordered_json& file);

// The file name ("messages.json"), and the message shown when no device is connected.
const char* FileName(SendKind kind);
std::string NoDeviceMessage(SendKind kind);
// Every kind, in the order "send all" sends them.
const std::vector<SendKind>& AllKinds();

}  // namespace SendFiles

// The delivery of the files to the companion application on the first connected device,
// through the companion library. Toolkit-free; the wizard runs it on a thread of its own.
class SendToDevice {
public:
    struct Inputs {
        BrimleyAppDelegate* record = nullptr;
        // Where the JSON files are written (a private working folder).
        std::string folder;
        // The companion library to load.
        std::string library;
        // The configured companion bundle identifier; "test" means none.
        OptString configuredBundle;
        // The identifier of the first connected device; none without a device.
        std::function<std::optional<std::string>()> firstDevice;
    };

    // What became of one file.
    struct Delivery {
        SendKind kind = SendKind::Messages;
        std::string path;
        // No device was connected when its turn came: nothing was written or delivered.
        bool noDevice = false;
        bool written = false;
        // The companion applications (bundle identifiers) it was offered to and that took it.
        std::vector<std::string> targets;
        std::vector<std::string> reached;
        bool delivered() const { return written && !reached.empty(); }
    };

    explicit SendToDevice(Inputs inputs);

    // The folder in the companion application's container: "Documents/<device identifier>",
    // the identifier of the device read or else of the backup read ("Documents/" without one).
    static std::string AppFolder(const BrimleyAppDelegate& record);
    // The device name the folders on the device carry: the device read, else the backup read,
    // else the last component of the backup's location.
    static std::string DeviceName(const BrimleyAppDelegate& record);
    // The companion applications a file goes to: the known ones in order, then the configured
    // one when it is neither "test" nor known.
    std::vector<std::string> Targets() const;

    // Writes and delivers the files of the kinds, one after the other. `afterEach` runs after
    // each kind (a test's hook); a stop request ends the send before the next kind.
    std::vector<Delivery> send(const std::vector<SendKind>& kinds, const std::string& appFolder,
                               std::stop_token stop = {},
                               const std::function<void(const Delivery&)>& afterEach = {});
    // Delivers one file written before to the record's own companion application
    // (appIdentifier) alone, in a folder named after the live device's name only (no fall-back
    // to the backup's); whether it was taken. False without a device or an identifier.
    bool sendToActualDevice(const std::string& path, const std::string& appFolder);
    // Whether the companion library loaded at the last attempt.
    bool libraryLoaded() const { return libraryLoaded_; }

private:
    // Delivers one file to one companion application, into a new folder "<appFolder>#<device
    // name>/<Unix seconds now>"; whether it was taken.
    bool deliver(const std::string& path, const std::string& udid, const std::string& bundle,
                 const std::string& appFolder, const std::string& deviceName);

    Inputs inputs_;
    bool libraryLoaded_ = true;
};
