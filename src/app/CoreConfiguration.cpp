#include "app/CoreConfiguration.h"

#include "common/ApplicationDetailsUtil.h"
#include "config/ApplicationConfig.h"
#include "config/LanguageConfig.h"
#include "config/XMLParser.h"

CoreConfiguration CoreConfiguration::defaults() {
    CoreConfiguration config;
    config.applicationVersion = ApplicationDetailsUtil::getApplicationVersion();
    return config;
}

CoreConfiguration CoreConfiguration::fromApplicationConfig(const ApplicationConfig& config) {
    CoreConfiguration core;
    core.RestoreAvailable = config.RestoreAvailable;
    core.buildVersion = config.buildVersion;
    core.applicationVersion = config.applicationVersion;
    core.BannerURL = config.BannerURL;
    core.supportUrl = config.supportUrl;
    return core;
}

CoreConfiguration CoreConfiguration::loadFromFiles() {
    XMLParser::loadConfig();
    LanguageConfig::sharedObject().loadConfig();
    return fromApplicationConfig(ApplicationConfig::sharedObject());
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
