// Finding a row of a small constant table by its name.
#pragma once

#include <cstddef>
#include <string>

namespace skin {

// The row of table whose key member equals name, or nullptr.
template <typename Row, std::size_t N>
const Row* FindByName(const Row (&table)[N], const char* Row::*key, const std::string& name) {
    for (const Row& row : table) {
        if (name == row.*key)
            return &row;
    }
    return nullptr;
}

} // namespace skin
