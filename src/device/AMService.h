#pragma once

#include "common/Types.h"
#include "device/DevicePlist.h"
#include "device/MobileDeviceFramework.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class AMDevice;

// Something told of a service's progress; each service defines what it tells (see
// AMInstallationProxyDelegate).
class AMServiceDelegate {
public:
    virtual ~AMServiceDelegate() = default;
};

// Reads a service socket as a byte stream (the file relay's archive, the log relay's lines).
class ServiceInputStream {
public:
    explicit ServiceInputStream(AMServiceSocket socket) : socket_(std::move(socket)) {}
    // Up to `size` bytes; 0 at the end of the stream, -1 on an error or when nothing came
    // within the read timeout (error() then says which).
    long read(void* buffer, std::size_t size);
    const std::string& error() const { return error_; }

private:
    AMServiceSocket socket_;
    std::string error_;
};

// The base of every device-service client: the socket of one service started on a device, and
// the exchange of property-list messages over it. A message is a 4-byte big-endian length
// followed by an XML property list of that many bytes.
class AMService {
public:
    virtual ~AMService() = default;
    AMService(const AMService&) = delete;
    AMService& operator=(const AMService&) = delete;

    // A plain service client on the named service, or none.
    static std::unique_ptr<AMService> serviceWithName(const std::string& name, AMDevice& device);

    void clearLastError();
    void setLastError(OptString text);
    OptString lasterror() const;

    AMServiceDelegate* delegate() const { return delegate_; }
    void setDelegate(AMServiceDelegate* delegate) { delegate_ = delegate; }

    // True when the whole message was sent.
    bool sendXMLRequest(const PlistValue& request);
    // The next reply, or none (see lasterror). A reply whose length field is 0 gives none and
    // leaves lasterror as it was; one larger than kMaxServiceFrameBytes is refused unread.
    PlistValue readXMLReply();
    // A stream reading the service socket.
    ServiceInputStream inputStreamFromSocket() const { return ServiceInputStream(service_); }

    // How long one wait for reply bytes may last, in milliseconds.
    void setReadTimeout(unsigned milliseconds) { readTimeoutMs_ = milliseconds; }
    const AMServiceSocket& socket() const { return service_; }

protected:
    AMService() = default;
    // Starts the service on the device (which must be connected and in session); false when it
    // could not be started.
    bool initWithName(const std::string& name, AMDevice& device);

    AMServiceSocket service_;

private:
    mutable std::mutex errorMutex_;
    OptString lasterror_;
    AMServiceDelegate* delegate_ = nullptr;
    unsigned readTimeoutMs_ = kDeviceReadTimeoutMs;
};
