#include "parser/arena.h"

#include <algorithm>

namespace quarn::py {

void* Arena::allocate_slow(std::size_t size, std::size_t align) {
  constexpr std::size_t kMaxBlock = 1024 * 1024;
  std::size_t block_size = std::max(next_block_size_, size + align);
  next_block_size_ = std::min(next_block_size_ * 2, kMaxBlock);
  blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(block_size));
  cursor_ = blocks_.back().get();
  limit_ = cursor_ + block_size;
  return allocate(size, align);
}

}  // namespace quarn::py
