#include "services/ServicesManager.h"

#include "records/DeviceInfo.h"
#include "services/CalendarsService.h"
#include "services/CallHistoryService.h"
#include "services/ContactServices.h"
#include "services/DcimService.h"
#include "services/InternetHistoryService.h"
#include "services/MessageServices.h"
#include "services/NotesServices.h"
#include "services/WhatsAppService.h"

#include <stdexcept>
#include <utility>

ServicesManager::Services ServicesManager::Services::standard(const DeviceInfo& device) {
    Services s;
    s.whatsAppServ = std::make_unique<WhatsAppService>();
    s.callHistoryServ = std::make_unique<CallHistoryService>();
    s.calendarServ = std::make_unique<CalendarsService>();
    s.noteServ = std::make_unique<NotesServices>();
    s.messageServ = MessageServices::initwithDevice(device);
    s.contactServ = std::make_unique<contactServices>();
    s.dcmiServ = std::make_unique<DcimService>();
    s.internetHistoryServ = std::make_unique<InternetHistoryService>();
    // The carved calls are named from the address book's service, which outlives them both.
    s.callHistoryServ->setContactServ(s.contactServ.get());
    return s;
}

namespace {

std::shared_ptr<const DeviceInfo> OrEmpty(std::shared_ptr<const DeviceInfo> device) {
    return device ? std::move(device) : std::make_shared<const DeviceInfo>();
}

}  // namespace

ServicesManager::ServicesManager(std::shared_ptr<const DeviceInfo> device)
    : ServicesManager(Services::standard(*OrEmpty(device)), device) {}

ServicesManager::ServicesManager(Services services, std::shared_ptr<const DeviceInfo> device)
    : services_(std::move(services)), device_(OrEmpty(std::move(device))) {
    if (!services_.whatsAppServ || !services_.callHistoryServ || !services_.calendarServ ||
        !services_.noteServ || !services_.messageServ || !services_.contactServ ||
        !services_.dcmiServ || !services_.internetHistoryServ)
        throw std::invalid_argument("ServicesManager: every service must be given");
    recoveryModules_ = {services_.messageServ.get(),     services_.contactServ.get(),
                        services_.noteServ.get(),        services_.calendarServ.get(),
                        services_.callHistoryServ.get(), services_.whatsAppServ.get()};
}

ServicesManager::~ServicesManager() = default;

void ServicesManager::setDevice(std::shared_ptr<const DeviceInfo> device) {
    std::lock_guard lock(deviceMutex_);
    device_ = OrEmpty(std::move(device));
}

std::shared_ptr<const DeviceInfo> ServicesManager::device() const {
    std::lock_guard lock(deviceMutex_);
    return device_;
}

abstractServices* ServicesManager::serviceFor(ServiceIndex index) {
    switch (index) {
        case ServiceIndex::ServiceIndexMessages:
            return services_.messageServ.get();
        case ServiceIndex::ServiceIndexPhotosVideos:
            return services_.dcmiServ.get();
        case ServiceIndex::ServiceIndexContacts:
            return services_.contactServ.get();
        case ServiceIndex::ServiceIndexCallHistory:
            return services_.callHistoryServ.get();
        case ServiceIndex::ServiceIndexCalendar:
            return services_.calendarServ.get();
        case ServiceIndex::ServiceIndexNotes:
            return services_.noteServ.get();
        case ServiceIndex::ServiceIndexInternetHistory:
            return services_.internetHistoryServ.get();
        case ServiceIndex::ServiceIndexWhatsApp:
            return services_.whatsAppServ.get();
    }
    return nullptr;
}

ScanContext ServicesManager::withDevice(const ScanContext& context) const {
    ScanContext run = context;
    // The run keeps this device record even if the next run's device is set meanwhile.
    if (!run.device) run.device = device();
    return run;
}

void ServicesManager::StartRecoveryofService(ServiceIndex index, const ScanContext& context) {
    abstractServices* service = serviceFor(index);
    if (!service) return;
    service->RecoverFromIOSBackup(withDevice(context));
}

void ServicesManager::StartRecoveryofService(std::int64_t code, const ScanContext& context) {
    if (const auto index = ServiceIndexFromCode(code)) StartRecoveryofService(*index, context);
}

void ServicesManager::StartRecovery(const ScanContext& context) {
    const ScanContext run = withDevice(context);
    for (abstractServices* service : recoveryModules_) {
        if (run.cancelled()) return;
        service->RecoverFromIOSBackup(run);
    }
}

void ServicesManager::releaseResults() {
    for (int index = 0; index < 8; ++index)
        if (abstractServices* service = serviceFor(static_cast<ServiceIndex>(index)))
            service->releaseResults();
}
