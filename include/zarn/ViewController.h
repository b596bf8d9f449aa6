#pragma once

namespace zarn {

// A screen of the host app from which the library may present its own screens (the mail
// composer). The host's window system provides the concrete kind.
class ViewController {
  public:
    virtual ~ViewController() = default;
};

}  // namespace zarn
