#pragma once

#include "records/ScanContext.h"
#include "services/ServiceIndex.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CalendarsService;
class CallHistoryService;
class DcimService;
class DeviceInfo;
class InternetHistoryService;
class MessageServices;
class NotesServices;
class WhatsAppService;
class abstractServices;
class contactServices;

// Owns one recovery service of each data type and runs the one a ServiceIndex picks, on the
// calling thread. The run controller starts one thread per data type and each thread asks for
// its own service, so up to eight services run at once, each on its own thread with its own
// database connections; the manager itself changes nothing while they run.
class ServicesManager {
public:
    // The eight services; a test may hand in services of its own.
    struct Services {
        std::unique_ptr<WhatsAppService> whatsAppServ;
        std::unique_ptr<CallHistoryService> callHistoryServ;
        std::unique_ptr<CalendarsService> calendarServ;
        std::unique_ptr<NotesServices> noteServ;
        std::unique_ptr<MessageServices> messageServ;
        std::unique_ptr<contactServices> contactServ;
        std::unique_ptr<DcimService> dcmiServ;
        std::unique_ptr<InternetHistoryService> internetHistoryServ;

        // The application's services.
        static Services standard(const DeviceInfo& device);
    };

    // initWithDevice: the application's services, for the device's backup.
    explicit ServicesManager(std::shared_ptr<const DeviceInfo> device);
    // Services of the caller's own; every one must be set.
    ServicesManager(Services services, std::shared_ptr<const DeviceInfo> device);
    ~ServicesManager();
    ServicesManager(const ServicesManager&) = delete;
    ServicesManager& operator=(const ServicesManager&) = delete;

    // Runs the chosen service's RecoverFromIOSBackup on the scan's context and returns when it
    // has ended (or stopped early at the context's request). A context without a device is
    // given the manager's. A code outside 0-7 does nothing.
    void StartRecoveryofService(ServiceIndex index, const ScanContext& context);
    void StartRecoveryofService(std::int64_t code, const ScanContext& context);

    // Every service lets go of what its last run kept (abstractServices::releaseResults), so a
    // new scan does not hold the previous one's records; not while a service runs.
    void releaseResults();

    // Runs the services of recoveryModules one after another on the calling thread.
    void StartRecovery(const ScanContext& context);

    // Nothing to load: the services are made at construction.
    void load() {}

    // The device whose backup the services read when a run's context names none; set before
    // each run of deleted records. A running service keeps the record it started with.
    void setDevice(std::shared_ptr<const DeviceInfo> device);
    std::shared_ptr<const DeviceInfo> device() const;

    WhatsAppService& whatsAppServ() { return *services_.whatsAppServ; }
    CallHistoryService& callHistoryServ() { return *services_.callHistoryServ; }
    CalendarsService& calendarServ() { return *services_.calendarServ; }
    NotesServices& noteServ() { return *services_.noteServ; }
    MessageServices& messageServ() { return *services_.messageServ; }
    contactServices& contactServ() { return *services_.contactServ; }
    DcimService& dcmiServ() { return *services_.dcmiServ; }
    InternetHistoryService& internetHistoryServ() { return *services_.internetHistoryServ; }

    // Messages, contacts, notes, calendar, call history and WhatsApp, in this order: every
    // service but the photo and video and the internet-history services.
    const std::vector<abstractServices*>& recoveryModules() const { return recoveryModules_; }

    // The service of an index; nullptr outside 0-7.
    abstractServices* serviceFor(ServiceIndex index);

private:
    ScanContext withDevice(const ScanContext& context) const;

    Services services_;
    std::vector<abstractServices*> recoveryModules_;
    mutable std::mutex deviceMutex_;
    std::shared_ptr<const DeviceInfo> device_;
};
