#include "device/AMService.h"

#include "device/AMDevice.h"

#include <array>
#include <cstdio>
#include <iostream>

long ServiceInputStream::read(void* buffer, std::size_t size) {
    std::size_t got = 0;
    const std::int32_t status = AMServiceReceive(socket_, buffer, size, &got);
    if (got > 0) return static_cast<long>(got);
    if (status == kAMDReceiveFailed) return 0;  // the device closed the stream
    error_ = status == kAMDReceiveTimeout ? "The device sent nothing in time"
                                          : "The service connection is not open";
    return -1;
}

std::unique_ptr<AMService> AMService::serviceWithName(const std::string& name, AMDevice& device) {
    std::unique_ptr<AMService> service(new AMService());
    if (!service->initWithName(name, device)) return nullptr;
    return service;
}

bool AMService::initWithName(const std::string& name, AMDevice& device) {
    delegate_ = nullptr;
    service_ = device._startService(name);
    return service_ != nullptr;
}

void AMService::clearLastError() {
    setLastError(std::nullopt);
}

void AMService::setLastError(OptString text) {
    std::lock_guard lock(errorMutex_);
    lasterror_ = std::move(text);
}

OptString AMService::lasterror() const {
    std::lock_guard lock(errorMutex_);
    return lasterror_;
}

bool AMService::sendXMLRequest(const PlistValue& request) {
    const std::string body = request.toXml();
    if (body.empty() || body.size() > kMaxServiceFrameBytes) {
        setLastError("Can't convert request to XML");
        return false;
    }
    const auto length = static_cast<std::uint32_t>(body.size());
    const std::array<unsigned char, 4> header{
        static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
        static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
    std::size_t sent = 0;
    AMServiceSend(service_, header.data(), header.size(), &sent);
    if (sent != header.size()) {
        setLastError("Can't send message size");
        return false;
    }
    sent = 0;
    AMServiceSend(service_, body.data(), body.size(), &sent);
    if (sent < body.size()) {
        setLastError("Can't send message text");
        return false;
    }
    clearLastError();
    return true;
}

PlistValue AMService::readXMLReply() {
    std::array<unsigned char, 4> header{};
    std::size_t have = 0;
    while (have < header.size()) {
        std::size_t got = 0;
        AMServiceReceive(service_, header.data() + have, header.size() - have, &got, readTimeoutMs_);
        if (got == 0) break;
        have += got;
    }
    if (have != header.size()) {
        setLastError("Can't receive reply size");
        return {};
    }
    const std::uint32_t length = (std::uint32_t(header[0]) << 24) | (std::uint32_t(header[1]) << 16) |
                                 (std::uint32_t(header[2]) << 8) | std::uint32_t(header[3]);
    if (length == 0) return {};
    if (length > kMaxServiceFrameBytes) {
        char text[96];
        std::snprintf(text, sizeof text, "Reply size %u exceeds the limit of %u bytes", length,
                      kMaxServiceFrameBytes);
        setLastError(std::string(text));
        return {};
    }
    std::string body(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        std::size_t got = 0;
        AMServiceReceive(service_, body.data() + done, length - done, &got, readTimeoutMs_);
        if (got == 0) {
            char text[80];
            std::snprintf(text, sizeof text, "Reply was truncated, expected %d more bytes",
                          static_cast<int>(length - done));
            setLastError(std::string(text));
            return {};
        }
        done += got;
    }
    std::string why;
    PlistValue reply = PlistValue::parse(body.data(), body.size(), &why);
    if (!reply) {
        std::cerr << "device service: refused a reply, " << why << '\n';
        setLastError("Reply is not a property list");
        return {};
    }
    clearLastError();
    return reply;
}
