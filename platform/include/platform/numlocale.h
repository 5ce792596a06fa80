// numlocale.h - numbers read and written in the C conventions, whatever locale a host has set.
//
// A host (a window toolkit) sets the user's locale for the whole process, and with it the decimal
// separator of every formatted number. The run, its option parser and its messages read and
// write numbers as the suite's files have them: while a CNumericLocale lives, the calling thread
// uses the C numeric conventions over the process's other locale settings.
#pragma once

#include <locale.h>

#include <string>

namespace platform {

class CNumericLocale {
  public:
    // Only the outermost scope of a thread installs the locale; the scopes inside it (a message
    // written during a run) find it in force and cost nothing.
    CNumericLocale();
    ~CNumericLocale();
    CNumericLocale(const CNumericLocale &) = delete;
    CNumericLocale &operator=(const CNumericLocale &) = delete;

  private:
#ifdef _WIN32
    bool active_ = false; // the outermost scope, which set the locale
    int config_ = 0;      // the thread's locale mode it replaced
    std::string old_;     // the numeric locale it replaced
#else
    locale_t loc_{}; // the thread's locale while the scope lives; null for an inner scope
    locale_t old_{}; // the one it replaced
#endif
};

} // namespace platform
