// Guard pages: mmap/mprotect on POSIX systems, VirtualAlloc/VirtualProtect on
// Windows (so that the same tests run natively and under Wine).
#include "tests/display/guarded_pages.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quenlixor::test_support {
namespace {

std::size_t round_up(std::size_t bytes, std::size_t page) {
    return (bytes + page - 1) / page * page;
}

#if defined(_WIN32)

std::size_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* reserve(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

bool forbid(void* address, std::size_t bytes) {
    DWORD previous = 0;
    return VirtualProtect(address, bytes, PAGE_NOACCESS, &previous) != 0;
}

void unreserve(void* address, std::size_t) {
    VirtualFree(address, 0, MEM_RELEASE);
}

#else

std::size_t page_size() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void* reserve(std::size_t bytes) {
    void* address =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return address == MAP_FAILED ? nullptr : address;
}

bool forbid(void* address, std::size_t bytes) {
    return mprotect(address, bytes, PROT_NONE) == 0;
}

void unreserve(void* address, std::size_t bytes) {
    munmap(address, bytes);
}

#endif

}  // namespace

GuardedPages guarded_pages_allocate(std::size_t bytes) {
    const std::size_t page = page_size();
    const std::size_t usable = round_up(bytes == 0 ? 1 : bytes, page);
    const std::size_t total = usable + 2 * page;
    GuardedPages pages{nullptr, nullptr, nullptr, 0};
    void* reservation = reserve(total);
    if (reservation == nullptr) {
        ADD_FAILURE() << "cannot map " << total << " bytes";
        return pages;
    }
    auto* first = static_cast<unsigned char*>(reservation);
    if (!forbid(first, page) || !forbid(first + page + usable, page)) {
        ADD_FAILURE() << "cannot protect the guard pages";
        unreserve(reservation, total);
        return pages;
    }
    pages.begin = first + page;
    pages.end = pages.begin + usable;
    pages.reservation = reservation;
    pages.reservation_size = total;
    return pages;
}

void guarded_pages_release(GuardedPages& pages) {
    if (pages.reservation != nullptr) {
        unreserve(pages.reservation, pages.reservation_size);
    }
    pages = GuardedPages{nullptr, nullptr, nullptr, 0};
}

}  // namespace quenlixor::test_support
