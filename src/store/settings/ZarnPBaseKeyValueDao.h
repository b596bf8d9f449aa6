#pragma once
#include <memory>

#include "store/settings/ZarnPKeyValueDao.h"

namespace zarn {

class ZarnPStringKeyValueDao;

// The typed settings over the string store. Every number is written and read in the C locale,
// whatever the process locale. Called on the SDK thread, as the string store is.
class ZarnPBaseKeyValueDao final : public ZarnPKeyValueDao {
  public:
    // initWithDao: the string store (required).
    explicit ZarnPBaseKeyValueDao(std::shared_ptr<ZarnPStringKeyValueDao> baseDao);

    std::optional<std::string> getPropertyValueForKey(const std::string& key) override;
    void setPropertyValue(const std::string& value, const std::string& key) override;
    bool getBoolPropertyValueForKey(const std::string& key) override;
    bool getBoolPropertyValueForKey(const std::string& key, bool defaultValue) override;
    void setBoolPropertyValue(bool value, const std::string& key) override;
    void setIntPropertyValue(int value, const std::string& key) override;
    int getIntPropertyValueForKey(const std::string& key) override;
    void setLongPropertyValue(int64_t value, const std::string& key) override;
    int64_t getLongPropertyValueForKey(const std::string& key) override;
    void setDatePropertyValue(Date value, const std::string& key) override;
    std::optional<Date> getDatePropertyValueForKey(const std::string& key) override;
    std::optional<std::vector<std::string>> getStringArrayPropertyValueForKey(
        const std::string& key) override;
    void setStringArrayPropertyValue(const std::vector<std::string>& value, const std::string& key) override;
    void setDoublePropertyValue(double value, const std::string& key) override;
    double getDoublePropertyValueForKey(const std::string& key) override;
    void unsetPropertyKey(const std::string& key) override;
    bool hasProperty(const std::string& key) override;
    bool isReadable() override;

    // The shortest decimal text that reads back as the same double ("0.1", "1796126400.5").
    static std::string doubleText(double value);

    const std::shared_ptr<ZarnPStringKeyValueDao>& baseDao() const { return baseDao_; }

  private:
    void setFiniteDouble(double value, const std::string& key);

    std::shared_ptr<ZarnPStringKeyValueDao> baseDao_;
};

}  // namespace zarn
