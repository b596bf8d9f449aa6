#include "entry/ZarnPModuleFactory.h"

#include "device/exchange/ZarnPHttpRequestCreatorImpl.h"
#include "device/system/ZarnPLocationManagerCreatorImpl.h"
#include "entry/ZarnPModule.h"
#include "zarn/platform/Platform.h"

namespace zarn {

std::shared_ptr<ZarnPEntryModule> buildDefaultModule(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    return std::make_shared<ZarnPModule>(
        std::move(configuration),
        std::make_shared<ZarnPHttpRequestCreatorImpl>(platform::current().httpClient),
        std::make_shared<ZarnPLocationManagerCreatorImpl>(platform::current().locationManagerFactory,
                                                          platform::current().locationAuthorization));
}

}  // namespace zarn
