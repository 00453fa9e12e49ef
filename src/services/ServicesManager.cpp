#include "services/ServicesManager.h"

#include "records/BrimleyAppDelegate.h"
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

ServicesManager::Services ServicesManager::Services::forRecord(const DeviceInfo& device,
                                                               BrimleyAppDelegate& record) {
    Services s;
    s.whatsAppServ = std::make_unique<WhatsAppService>(record);
    s.callHistoryServ = std::make_unique<CallHistoryService>(record);
    s.calendarServ = std::make_unique<CalendarsService>(record);
    s.noteServ = std::make_unique<NotesServices>(record);
    s.messageServ = MessageServices::initwithDevice(device, record);
    s.contactServ = std::make_unique<contactServices>(record);
    s.dcmiServ = std::make_unique<DcimService>(record);
    s.internetHistoryServ = std::make_unique<InternetHistoryService>(record);
    return s;
}

namespace {

std::shared_ptr<const DeviceInfo> OrEmpty(std::shared_ptr<const DeviceInfo> device) {
    return device ? std::move(device) : std::make_shared<const DeviceInfo>();
}

}  // namespace

ServicesManager::ServicesManager(std::shared_ptr<const DeviceInfo> device,
                                 BrimleyAppDelegate& record)
    : ServicesManager(Services::forRecord(*OrEmpty(device), record), device) {}

ServicesManager::ServicesManager(std::shared_ptr<const DeviceInfo> device)
    : ServicesManager(std::move(device), BrimleyAppDelegate::appDelegate()) {}

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

void ServicesManager::StartRecoveryofService(ServiceIndex index, std::stop_token stop) {
    abstractServices* service = serviceFor(index);
    if (!service) return;
    // The run keeps this device record even if the next run's device is set meanwhile.
    const auto current = device();
    service->RecoverFromIOSBackup(*current, std::move(stop));
}

void ServicesManager::StartRecoveryofService(std::int64_t code, std::stop_token stop) {
    if (const auto index = ServiceIndexFromCode(code))
        StartRecoveryofService(*index, std::move(stop));
}

void ServicesManager::StartRecovery(std::stop_token stop) {
    const auto current = device();
    for (abstractServices* service : recoveryModules_) {
        if (stop.stop_requested()) return;
        service->RecoverFromIOSBackup(*current, stop);
    }
}
