#include "sim/SimDeviceHardware.h"

namespace zarn::sim {

std::optional<std::string> SimDeviceHardware::machine() {
    std::lock_guard lk(mutex_);
    return machine_;
}

std::string SimDeviceHardware::model() {
    std::lock_guard lk(mutex_);
    return model_;
}

std::string SimDeviceHardware::systemName() {
    std::lock_guard lk(mutex_);
    return systemName_;
}

std::optional<std::string> SimDeviceHardware::identifierForVendor() {
    std::lock_guard lk(mutex_);
    return identifierForVendor_;
}

void SimDeviceHardware::setMachine(std::optional<std::string> machine) {
    std::lock_guard lk(mutex_);
    machine_ = std::move(machine);
}

void SimDeviceHardware::setModel(std::string model) {
    std::lock_guard lk(mutex_);
    model_ = std::move(model);
}

void SimDeviceHardware::setSystemName(std::string name) {
    std::lock_guard lk(mutex_);
    systemName_ = std::move(name);
}

void SimDeviceHardware::setIdentifierForVendor(std::optional<std::string> identifier) {
    std::lock_guard lk(mutex_);
    identifierForVendor_ = std::move(identifier);
}

}  // namespace zarn::sim
