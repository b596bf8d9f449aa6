#pragma once
// Hooks for tests of the public entry. Not part of the public API.
#include <functional>
#include <memory>

#include "entry/ZarnPPublicFacade.h"

namespace zarn::testing {

using ModuleFactory =
    std::function<std::shared_ptr<ZarnPEntryModule>(std::shared_ptr<ZarnPZarnConfiguration>)>;

// Replaces the builder of the module (null: the default builder).
void setModuleFactory(ModuleFactory factory);
// Drops the process-wide module, as if the process had just started.
void resetEntry();

}  // namespace zarn::testing
