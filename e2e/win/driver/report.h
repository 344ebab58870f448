// One line per case: "PASS name" or "FAIL name: why", and the closing tally.
#pragma once

#include <cstdarg>
#include <string>

namespace driver {

class Case {
public:
    explicit Case(const char* name);
    ~Case();  // prints the case's line and counts it
    Case(const Case&) = delete;
    Case& operator=(const Case&) = delete;

    // Records a failure when `condition` is false; returns `condition`, so a case can
    // stop checking what depends on it.
    bool Expect(bool condition, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
    void Fail(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
    bool Passed() const { return failures_.empty(); }

private:
    void Add(const char* format, va_list arguments);
    std::string name_;
    std::string failures_;
};

int PassedCount();
int FailedCount();
void PrintTally();

// Formats like printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

}  // namespace driver
