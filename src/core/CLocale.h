#pragma once
#include <locale.h>

namespace zarn {

// The process's one handle on the "C" locale, created on first use and never freed (any thread
// may format or parse during exit). Null when the system could not create it.
locale_t cLocale();

}  // namespace zarn
