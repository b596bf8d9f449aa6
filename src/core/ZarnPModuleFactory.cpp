#include "core/ZarnPModuleFactory.h"

#include "core/ZarnPPlaceholderModule.h"

namespace zarn {

// PLACEHOLDER: builds the placeholder module until the module wiring lands.
std::shared_ptr<ZarnPEntryModule> buildDefaultModule(std::shared_ptr<ZarnPZarnConfiguration> configuration) {
    return std::make_shared<ZarnPPlaceholderModule>(std::move(configuration));
}

}  // namespace zarn
