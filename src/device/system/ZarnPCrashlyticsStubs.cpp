#include "device/system/ZarnPCrashlyticsStubs.h"

#include "zarn/platform/Platform.h"

namespace zarn {

std::shared_ptr<platform::CrashReporter> ZarnPCrashlyticsStubs::sharedInstance() {
    return platform::current().crashReporter;
}

void ZarnPCrashlyticsStubs::setUserIdentifier(const std::string& identifier) {
    if (auto r = sharedInstance())
        r->setUserIdentifier(identifier);
}

void ZarnPCrashlyticsStubs::recordError(const Error& error) {
    if (auto r = sharedInstance())
        r->recordError(error);
}

}  // namespace zarn
