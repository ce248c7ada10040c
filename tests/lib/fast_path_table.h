// Checks of a table of fast paths (the renderer's kernels, the converters'
// paths) against the build and against what the processor features mean:
// rows fastest first, each needing a processor feature, but the last, which
// every processor runs; one row for each fast path the build compiled and
// named in `built` (names between spaces); and each row needing more than
// the next, so that the first row a processor can run is the fastest it can.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "platform/processor_features.h"

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

// A processor as the features describe it: a level that QUENLIXOR_SIMD
// names, with everything of that level and below it (each level includes
// the ones before it) and nothing above.
struct ProcessorOfALevel {
    const char* level;
    ProcessorFeatures features;
};

// One processor of every level, from none to one with every feature of
// every family; a table names the features of its own family only.
inline std::vector<ProcessorOfALevel> processors_of_every_level() {
    const ProcessorFeatures everything{true, true, true, true, true, true};
    std::vector<ProcessorOfALevel> processors;
    for (const char* level : {"none", "mmx", "sse2", "avx2", "avx512", "neon", "simd128"}) {
        SimdLevel cap = SimdLevel::none;
        EXPECT_TRUE(parse_simd_level(level, cap)) << level;
        processors.push_back({level, capped_features(everything, cap)});
    }
    return processors;
}

template <class Row>
bool runs_on(const Row& row, const ProcessorFeatures& processor) {
    return row.needs == nullptr || processor.*row.needs;
}

// Each row's needs include the next row's, and more: every processor that
// runs a row runs the one after it, and some processor runs the one after
// but not the row (else the row after would never be chosen, or the order
// between the two would say nothing). So, wherever a processor's level
// lies, the rows it runs are the table's last ones and the first of them
// needs the most.
template <class Row>
void expect_ordered_by_needs(std::span<const Row* const> table) {
    const std::vector<ProcessorOfALevel> processors = processors_of_every_level();
    for (std::size_t at = 0; at + 1 < table.size(); ++at) {
        const Row& row = *table[at];
        const Row& next = *table[at + 1];
        bool next_alone = false;
        for (const ProcessorOfALevel& processor : processors) {
            EXPECT_TRUE(!runs_on(row, processor.features) || runs_on(next, processor.features))
                << "a processor of level " << processor.level << " runs " << row.name << " but not "
                << next.name << ", listed after it";
            next_alone = next_alone ||
                         (runs_on(next, processor.features) && !runs_on(row, processor.features));
        }
        EXPECT_TRUE(next_alone) << row.name << " needs nothing that " << next.name
                                << ", listed after it, does not";
    }
}

}  // namespace quenlixor::test_support
