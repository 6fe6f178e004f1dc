// An environment variable set (or unset) for the life of one object, then put
// back as it was: tests that steer the code under test through its
// environment leave none of it to the tests after them.
#pragma once

#include <optional>
#include <string>

namespace testsupport {

class ScopedEnv {
public:
    // Sets name to value; a null value unsets it.
    ScopedEnv(const char* name, const char* value);
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_; // empty: it was not set
};

} // namespace testsupport
