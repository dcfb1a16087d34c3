#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quarn::py {

// A bump allocator for syntax-tree nodes: allocation is a pointer increment,
// everything is freed at once with the arena. Only trivially destructible
// types go in, so nothing needs destroying.
class Arena {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  void* allocate(std::size_t size, std::size_t align) {
    auto address = reinterpret_cast<std::uintptr_t>(cursor_);
    std::size_t padding = (align - address % align) % align;
    if (cursor_ == nullptr || padding + size > static_cast<std::size_t>(limit_ - cursor_)) {
      return allocate_slow(size, align);
    }
    std::byte* result = cursor_ + padding;
    cursor_ = result + size;
    return result;
  }

  // A value-initialized T.
  template <class T>
  T* make() {
    static_assert(std::is_trivially_destructible_v<T>);
    return ::new (allocate(sizeof(T), alignof(T))) T{};
  }

  template <class T>
  std::span<T> copy(std::span<const T> items) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (items.empty()) return {};
    T* data = static_cast<T*>(allocate(sizeof(T) * items.size(), alignof(T)));
    std::memcpy(static_cast<void*>(data), items.data(), sizeof(T) * items.size());
    return {data, items.size()};
  }

  // Copies the elements of `items` from index `from` on.
  template <class T>
  std::span<T> copy_tail(const std::vector<T>& items, std::size_t from) {
    return copy(std::span<const T>(items.data() + from, items.size() - from));
  }

  std::string_view copy(std::string_view text) {
    if (text.empty()) return {};
    char* data = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(data, text.data(), text.size());
    return {data, text.size()};
  }

 private:
  void* allocate_slow(std::size_t size, std::size_t align);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* cursor_ = nullptr;
  std::byte* limit_ = nullptr;
  std::size_t next_block_size_ = 16 * 1024;
};

}  // namespace quarn::py
