// Checks of a table of fast paths (the renderer's kernels, the converters'
// paths) against the build: rows fastest first, each needing a processor
// feature, but the last, which every processor runs; one row for each fast
// path the build compiled and named in `built` (names between spaces).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace quenlixor::test_support {

template <class Row>
void expect_table_of_built_paths(std::span<const Row* const> table, const Row& last,
                                 const char* built) {
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.back(), &last);
    EXPECT_EQ(last.needs, nullptr);
    std::vector<std::string> compiled;
    std::istringstream words(built);
    for (std::string word; words >> word;) {
        compiled.push_back(word);
    }
    std::vector<std::string> listed;
    for (const Row* row : table.first(table.size() - 1)) {
        listed.emplace_back(row->name);
        EXPECT_NE(row->needs, nullptr) << row->name;
    }
    std::sort(compiled.begin(), compiled.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, compiled);
}

}  // namespace quenlixor::test_support
