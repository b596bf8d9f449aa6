#pragma once
#include <string>

namespace zarn::platform {

// Which classes the host process links, looked up by name at run time: how the library tells
// that the app is wrapped by a web or scripting framework. Any thread; never fails.
class RuntimeClasses {
  public:
    virtual ~RuntimeClasses() = default;
    RuntimeClasses() = default;
    RuntimeClasses(const RuntimeClasses&) = delete;
    RuntimeClasses& operator=(const RuntimeClasses&) = delete;

    virtual bool classExists(const std::string& name) = 0;
};

}  // namespace zarn::platform
