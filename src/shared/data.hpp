#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace twinlens {

// A byte block. Streams that share a block with their creator hold it through a shared_ptr.
using Data = std::vector<std::uint8_t>;
using SharedData = std::shared_ptr<const Data>;
using SharedMutableData = std::shared_ptr<Data>;

}  // namespace twinlens
