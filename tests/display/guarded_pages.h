// Memory fenced by inaccessible pages, so that a stray read or write just
// before or just after it faults at once.
#pragma once

#include <cstddef>

namespace quenlixor::test_support {

struct GuardedPages {
    unsigned char* begin;  // first usable byte; the page before it is inaccessible
    unsigned char* end;    // one past the last usable byte; the page at `end` is inaccessible
    void* reservation;     // the whole mapping, guard pages included
    std::size_t reservation_size;
};

// At least `bytes` usable bytes, rounded up to whole pages, between two
// inaccessible pages. Fails the calling test (and returns an empty record)
// when the system refuses.
GuardedPages guarded_pages_allocate(std::size_t bytes);

void guarded_pages_release(GuardedPages& pages);

}  // namespace quenlixor::test_support
