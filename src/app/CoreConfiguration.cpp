#include "app/CoreConfiguration.h"

#include "common/ApplicationDetailsUtil.h"

CoreConfiguration CoreConfiguration::defaults() {
    CoreConfiguration config;
    config.applicationVersion = ApplicationDetailsUtil::getApplicationVersion();
    return config;
}

OptString CoreConfiguration::versionLabel() const {
    if (!applicationVersion) return std::nullopt;
    switch (buildVersion) {
        case 0:
            return "TM640R v" + *applicationVersion;
        case 2:
            return "PB740R v" + *applicationVersion;
        default:
            return std::nullopt;
    }
}
