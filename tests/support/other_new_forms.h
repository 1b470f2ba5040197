// For a program that replaces operator new(size_t) and operator delete(void*):
// every other form goes through those two, so that no block is taken by one
// allocator and given back to another (sanitizers check that). Include it in
// exactly one file of the program.
#pragma once

#include <new>

void* operator new[](size_t size) {
  return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}

void operator delete[](void* block) noexcept {
  operator delete(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
  operator delete(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
  operator delete(block);
}

void operator delete[](void* block, size_t) noexcept {
  operator delete(block);
}
