// SPDX-License-Identifier: MIT
#pragma once

#include <clocale>
#include <locale>
#include <string>

namespace orvel::testing {

// Switches the C and the C++ global locale for one test and restores both.
// ok() is false when the locale is not installed on this machine.
class LocaleGuard {
public:
    explicit LocaleGuard(const char* name)
        : m_previousC(std::setlocale(LC_ALL, nullptr))
        , m_previousCpp(std::locale())
    {
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
        if (m_ok) {
            try {
                std::locale::global(std::locale(name));
            } catch (const std::runtime_error&) {
                m_ok = false;
            }
        }
    }
    ~LocaleGuard()
    {
        std::locale::global(m_previousCpp);
        std::setlocale(LC_ALL, m_previousC.c_str());
    }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;

    [[nodiscard]] bool ok() const { return m_ok; }

private:
    std::string m_previousC;
    std::locale m_previousCpp;
    bool m_ok = false;
};

} // namespace orvel::testing
