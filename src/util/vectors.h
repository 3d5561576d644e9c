#pragma once
// The dynamic array types shared by every layer. Event values are 32-bit
// floats; sums, statistics and matrix elements are 64-bit.
#include <cstdint>
#include <string>
#include <vector>

#include "util/huge_page_allocator.h"

namespace dbc {

using TSingleVector = std::vector<float, HugePageAllocator<float>>;
using TSingleMatrix = std::vector<TSingleVector>;  // [parameter][event]
using TVector = std::vector<double>;
using TMatrix = std::vector<TVector>;  // a vector of rows
using TIntVector = std::vector<std::int32_t>;
using TByteVector = std::vector<std::uint8_t>;
using TBoolVector = std::vector<bool>;
using StringArray = std::vector<std::string>;

}  // namespace dbc
