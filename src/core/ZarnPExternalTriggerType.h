#pragma once
#include <string>

namespace zarn {

// How an app-reported region was triggered: 0 enter, 1 exit.
class ZarnPExternalTriggerType {
  public:
    static constexpr int Enter = 0;
    static constexpr int Exit = 1;
    // "ENTER" for 0, "EXIT" for any other value.
    static std::string toString(int type) { return type == Enter ? "ENTER" : "EXIT"; }
    // "enter" 0, "exit" 1 (exact, lower case), anything else -1.
    static int toTriggerType(const std::string& text) {
        if (text == "enter")
            return Enter;
        if (text == "exit")
            return Exit;
        return -1;
    }
};

}  // namespace zarn
