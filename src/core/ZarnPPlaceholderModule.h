#pragma once
#include <memory>

#include "core/ZarnPPublicFacade.h"

namespace zarn {

// PLACEHOLDER until the module wiring and the facade are built: the entry builds this module
// so that every class method can run end to end. Its facade logs each call at DEBUG in domain
// "PlaceholderFacade" and answers empty results; isEnabled answers false.
class ZarnPPlaceholderModule final : public ZarnPEntryModule {
public:
    explicit ZarnPPlaceholderModule(std::shared_ptr<ZarnPZarnConfiguration> configuration);
    std::shared_ptr<ZarnPPublicFacade> interface() override { return facade_; }

private:
    std::shared_ptr<ZarnPPublicFacade> facade_;
};

}  // namespace zarn
