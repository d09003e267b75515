#pragma once
// Installs a locale for the life of a test and puts the previous one back, so
// that a failing test cannot leave its separators to the tests after it.

#include "platform/Locale.h"

namespace testsupport {

class LocaleGuard {
public:
    explicit LocaleGuard(const platform::LocaleFormats& formats)
        : saved_(platform::CurrentLocale()) {
        platform::SetLocale(formats);
    }
    ~LocaleGuard() { platform::SetLocale(saved_); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

    void Use(const platform::LocaleFormats& formats) { platform::SetLocale(formats); }

private:
    platform::LocaleFormats saved_;
};

}  // namespace testsupport
