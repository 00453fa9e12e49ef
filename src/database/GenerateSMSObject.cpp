#include "database/GenerateSMSObject.h"

#include "database/DAOs.h"
#include "records/Message.h"
#include "records/SMS.h"

#include <string>

std::shared_ptr<SMS> generateSMSObject(const Message& message, DAOs& daos) {
    auto sms = std::make_shared<SMS>();
    const auto handleId = static_cast<std::int32_t>(message.HandleId());
    sms->setSlNo(0);
    sms->setRowID(-1);
    sms->setHandleID(handleId);

    if (message.Address()) {
        sms->setAddress(message.Address());
    } else {
        OptString handleAddress;
        daos.GetPhoneNumberForID(handleId, handleAddress);
        if (handleAddress && !handleAddress->empty()) {
            sms->setAddress(handleAddress);
        } else {
            const std::int64_t number = daos.state().unKnownCount.fetch_add(1) + 1;
            sms->setAddress("unknown" + std::to_string(number));
        }
    }

    sms->setLocalTime(message.Date());
    sms->setMessage(message.Text());
    sms->setType(DAOs::GetMessageType(0, message.IsFromMe() ? 1 : 0));
    sms->setService(message.Service());
    sms->setGUID(message.Guid());
    sms->setIsChecked(0);
    sms->setIsRecovered(true);
    return sms;
}
