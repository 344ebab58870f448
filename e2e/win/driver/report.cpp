#include "driver/report.h"

#include <cstdio>

namespace driver {
namespace {

int passed = 0;
int failed = 0;

}  // namespace

Case::Case(const char* name) : name_(name) {}

Case::~Case() {
    if (failures_.empty()) {
        ++passed;
        std::printf("PASS %s\n", name_.c_str());
    } else {
        ++failed;
        std::printf("FAIL %s: %s\n", name_.c_str(), failures_.c_str());
    }
    std::fflush(stdout);
}

void Case::Add(const char* format, va_list arguments) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    if (!failures_.empty()) failures_ += "; ";
    failures_ += text;
}

bool Case::Expect(bool condition, const char* format, ...) {
    if (condition) return true;
    va_list arguments;
    va_start(arguments, format);
    Add(format, arguments);
    va_end(arguments);
    return false;
}

void Case::Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Add(format, arguments);
    va_end(arguments);
}

int PassedCount() { return passed; }
int FailedCount() { return failed; }

void PrintTally() {
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
}

std::string Format(const char* format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

}  // namespace driver
