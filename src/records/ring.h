// A queue of values in one array used as a ring: values are added at the back and leave from
// either end. The array doubles when full and never shrinks, so once it has grown to the widest
// window of a run, keeping a value allocates nothing (a deque of large values allocates a node
// for each), and a slot's old value is replaced by assignment, reusing what it holds.
#pragma once
#include <cstddef>
#include <utility>
#include <vector>

namespace skelv {

template <typename T>
class Ring {
 public:
  // Room for `capacity` values before the first growth (rounded up to a power of two).
  explicit Ring(std::size_t capacity = 16) {
    std::size_t n = 1;
    while (n < capacity) n *= 2;
    slots_.resize(n);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The value `i` places from the front (i < size()).
  T& operator[](std::size_t i) { return slots_[(head_ + i) & (slots_.size() - 1)]; }
  const T& operator[](std::size_t i) const { return slots_[(head_ + i) & (slots_.size() - 1)]; }
  T& front() { return (*this)[0]; }
  T& back() { return (*this)[size_ - 1]; }

  // The slot of a new value at the back, holding whatever it held before: assign to it.
  T& push_slot() {
    if (size_ == slots_.size()) grow();
    return (*this)[size_++];
  }
  void push_back(T value) { push_slot() = std::move(value); }
  // The first `n` values leave (n <= size()).
  void pop_front(std::size_t n = 1) {
    head_ = (head_ + n) & (slots_.size() - 1);
    size_ -= n;
  }
  void pop_back() { --size_; }
  // Values past the first `n` leave (n <= size()).
  void keep_front(std::size_t n) { size_ = n; }
  void clear() { head_ = size_ = 0; }

 private:
  void grow() {
    std::vector<T> wider(slots_.size() * 2);
    for (std::size_t i = 0; i < size_; ++i) wider[i] = std::move((*this)[i]);
    slots_ = std::move(wider);
    head_ = 0;
  }

  std::vector<T> slots_;  // a power of two in size
  std::size_t head_ = 0;  // slot of the front value
  std::size_t size_ = 0;
};

}  // namespace skelv
