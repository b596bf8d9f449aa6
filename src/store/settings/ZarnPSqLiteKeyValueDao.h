#pragma once
#include <memory>

#include "core/ZarnPSequenceChecker.h"
#include "store/ZarnPSqLiteDao.h"
#include "store/settings/ZarnPStringKeyValueDao.h"

namespace zarn {

class ZarnPKeyValueDao;

// The settings table "keyvalue": one row per key, the value always text. Failed writes are
// logged in the domain "SqLiteKeyValueDao" and never raised; a failed read answers nothing.
//
// The typed settings store (booleans, numbers, dates and string lists over these strings) wraps
// this one; keyValueDao() hands out such a wrapper.
class ZarnPSqLiteKeyValueDao : public ZarnPSqLiteDao,
                               public ZarnPStringKeyValueDao,
                               public std::enable_shared_from_this<ZarnPSqLiteKeyValueDao> {
  public:
    using ZarnPSqLiteDao::ZarnPSqLiteDao;

    void createOrUpdate(int version) override;
    std::vector<TableShape> tableShapes() const override { return {{"keyvalue", "key value"}}; }
    // The user's opt-out "zarn_enabled" and the app's public token; with the token, a data update
    // forced. An opt-out the old file holds but cannot be read may be an opt-out: the new file
    // then keeps the library off until the app enables it.
    std::function<void()> keepAcrossNewFile() override;

    std::optional<std::string> getPropertyValueForKey(const std::string& key) override;
    void setPropertyValue(const std::optional<std::string>& value, const std::string& key) override;
    void unsetPropertyKey(const std::string& key) override;
    // The file opens and the table answers a query.
    bool isReadable() override;

    // This store as the string interface the typed wrapper takes (empty when this object is not
    // owned by a shared_ptr).
    std::shared_ptr<ZarnPStringKeyValueDao> stringKeyValueDao();
    // A new typed store over this one.
    std::shared_ptr<ZarnPKeyValueDao> keyValueDao();

  private:
    ZarnPSequenceChecker sequence_;
};

}  // namespace zarn
