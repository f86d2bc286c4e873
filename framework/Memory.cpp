// A program's allocations go straight to the C runtime's heap. Without this the
// C++ library's allocator, with its exception and thread machinery, would be most
// of the program's size and would call what older Windows lack. The agent and the
// service have no way to go on without memory, so running out ends them at once
// rather than leaving half-built lists behind.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        std::abort();
    return block;
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
