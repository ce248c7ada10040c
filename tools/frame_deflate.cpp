// Deflate of a frame's rows: a parse over the distances at which the
// pictures repeat, then one block of Huffman codes made for it.
//
// The parse takes the longest match, with one step of lookahead (a match is
// put off when the next byte starts a longer one), as zlib's lazy matching
// does. A byte that may be either is stored, where it is a literal, as the
// alternative (the transparent index): matches copy it on, into long runs.
// (Weighing those matches by what their codes cost, in a second parse,
// saved 0.2 % on the whole cycle for twice the time; it is not done. What
// does save is looking everywhere in the window, which the thorough parse
// below does, at many times the time.)
#include "tools/frame_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace quenlixor {
namespace {

constexpr int min_match = 3;
constexpr int run_distance = 1;  // a run: the byte before, repeated
constexpr int max_match = 258;
constexpr int window = 32768;
constexpr int literal_codes = 286;  // 0-255 bytes, 256 end of block, 257-285 lengths
constexpr int distance_codes = 30;
constexpr int end_of_block = 256;
constexpr int max_code_bits = 15;
constexpr int max_length_code_bits = 7;

// Lengths 3-258 and distances 1-32768: each code's first value and extra
// bits.
constexpr std::array<int, 29> length_base = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                             15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                             67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> length_extra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> distance_base = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};

int distance_extra(int code) {
    return code < 4 ? 0 : (code - 2) / 2;
}

// Each length's code (less 257), and each distance's up to 512.
struct CodeTables {
    std::array<std::uint8_t, max_match + 1> length_code{};
    std::array<std::uint8_t, 512> small_distance_code{};  // distances 1-512
    CodeTables() {
        std::size_t code = 0;
        for (std::size_t length = min_match; length <= max_match; ++length) {
            while (code + 1 < length_base.size() &&
                   length_base[code + 1] <= static_cast<int>(length)) {
                ++code;
            }
            length_code[length] = static_cast<std::uint8_t>(code);
        }
        code = 0;
        for (std::size_t distance = 1; distance <= small_distance_code.size(); ++distance) {
            while (distance_base[code + 1] <= static_cast<int>(distance)) {
                ++code;
            }
            small_distance_code[distance - 1] = static_cast<std::uint8_t>(code);
        }
    }
};
const CodeTables tables;

int distance_code(int distance) {
    if (distance <= 512) {
        return tables.small_distance_code[static_cast<std::size_t>(distance - 1)];
    }
    std::size_t code = 18;
    while (code + 1 < distance_base.size() && distance_base[code + 1] <= distance) {
        ++code;
    }
    return static_cast<int>(code);
}

// A token: a literal byte (below 256), or a match: length << 16 | distance,
// with bit 31 set.
constexpr std::uint32_t match_flag = 0x80000000U;

constexpr int most_distances = 32;

struct Parse {
    const FrameRows* rows = nullptr;
    std::uint8_t* stored = nullptr;
    std::array<int, most_distances> distances{};
    int distance_count = 0;
    // The bytes before this one are stored for good.
    std::size_t settled = 0;
    // For each distance but the run's: from the last byte it was
    // asked for up to agree_end, every byte fits the byte that distance
    // before it, as stored; at agree_end one does not, if misfit_at_end.
    std::array<std::size_t, most_distances> agree_end{};
    std::array<bool, most_distances> misfit_at_end{};
};

// Bytes whose high bit is set where a byte of `word` is not zero.
std::uint64_t nonzero_bytes(std::uint64_t word) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FU;
    return (((word & low7) + low7) | word) & ~low7;
}

std::uint64_t load64(const std::uint8_t* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;  // little-endian on every platform built for
}

// The eight bytes a match `distance` back copies from its byte `length`
// on: from[length % distance] and on, as a copy reaching past its start
// repeats what it copied.
std::uint64_t copied_bytes(const std::uint8_t* from, int distance, int length) {
    if (distance == run_distance) {
        return from[0] * std::uint64_t{0x0101010101010101U};
    }
    if (length + 8 <= distance) {
        return load64(from + length);
    }
    std::uint8_t bytes[8];
    for (int index = 0; index < 8; ++index) {
        bytes[index] = from[(length + index) % distance];
    }
    return load64(bytes);
}

// Which of eight bytes from `to` on do not fit `copied`: the high bit of
// each such byte. A byte fits when it is the copied byte, or may be either
// and the copied byte is the alternative.
std::uint64_t misfits(const FrameRows& rows, std::size_t to, std::uint64_t copied) {
    const std::uint64_t alternative = rows.alternative * std::uint64_t{0x0101010101010101U};
    const std::uint64_t differs = nonzero_bytes(copied ^ load64(rows.values + to));
    const std::uint64_t not_either =
        rows.either == nullptr ? ~std::uint64_t{0} : ~load64(rows.either + to);
    return differs & nonzero_bytes((copied ^ alternative) | not_either);
}

// The length of the match at `at`, `distance` back, up to `limit`, its
// first `length` bytes known to fit. Eight bytes at a time.
int match_length(const Parse& parse, std::size_t at, int distance, int length, int limit) {
    const std::uint8_t* from = parse.stored + at - static_cast<std::size_t>(distance);
    for (; length < limit; length += 8) {
        std::uint64_t misfit = misfits(*parse.rows, at + static_cast<std::size_t>(length),
                                       copied_bytes(from, distance, length));
        if (limit - length < 8) {
            misfit |= ~std::uint64_t{0} << (8 * (limit - length));
        }
        if (misfit != 0) {
            return length + std::countr_zero(misfit) / 8;
        }
    }
    return limit;
}

// Where the bytes from `from` on stop fitting the byte `distance` before
// each, as stored, before `bound` (bound - distance <= settled); `bound`
// if none does.
std::size_t agreement_end(const Parse& parse, std::size_t from, int distance, std::size_t bound) {
    const auto back = static_cast<std::size_t>(distance);
    for (std::size_t to = from; to < bound; to += 8) {
        std::uint64_t misfit = misfits(*parse.rows, to, load64(parse.stored + to - back));
        if (bound - to < 8) {
            misfit |= ~std::uint64_t{0} << (8 * (bound - to));
        }
        if (misfit != 0) {
            return to + static_cast<std::size_t>(std::countr_zero(misfit) / 8);
        }
    }
    return bound;
}

// The length of the match at `at` at distance number `index` (a row's or
// more), up to `limit`. The bytes found to fit are kept, so that
// asking again further on measures only what lies beyond them; they are
// measured only against bytes already stored for good, and past those the
// match is measured afresh.
int tracked_length(Parse& parse, int index, std::size_t at, int limit) {
    const auto slot = static_cast<std::size_t>(index);
    const int distance = parse.distances[slot];
    std::size_t& end = parse.agree_end[slot];
    bool& misfit = parse.misfit_at_end[slot];
    if (end <= at) {
        end = at;
        misfit = false;
    }
    if (!misfit) {
        const std::size_t bound = std::min(at + static_cast<std::size_t>(limit),
                                           parse.settled + static_cast<std::size_t>(distance));
        if (end < bound) {
            end = agreement_end(parse, end, distance, bound);
            misfit = end < bound;
        }
    }
    const auto length =
        static_cast<int>(std::min<std::size_t>(end - at, static_cast<std::size_t>(limit)));
    if (misfit || length == limit) {
        return length;
    }
    return match_length(parse, at, distance, length, limit);
}

struct Match {
    int length = 0;
    int distance = 0;
};

// The longest match at `at` longer than `shorter` bytes (and than 2), at
// the first of the distances (in the order they are tried) that reaches as
// far; none (length 0) when there is none. A match can be longer than the
// best so far only if it fits the byte just past it: that byte is tested
// first.
Match best_match(Parse& parse, std::size_t at, int shorter) {
    const FrameRows& rows = *parse.rows;
    const auto limit = static_cast<int>(std::min<std::size_t>(max_match, rows.size - at));
    Match best{std::max(shorter, min_match - 1), 0};
    // The bytes that fit just past the best match.
    std::uint8_t wanted = 0;
    std::uint8_t also_wanted = 0;
    const auto want_past = [&] {
        const std::size_t past = at + static_cast<std::size_t>(best.length);
        wanted = rows.values[past];
        also_wanted = rows.either != nullptr && rows.either[past] != 0 ? rows.alternative : wanted;
    };
    want_past();
    for (int index = 0; index < parse.distance_count; ++index) {
        const int distance = parse.distances[static_cast<std::size_t>(index)];
        if (static_cast<std::size_t>(distance) > at) {
            continue;
        }
        const int offset = distance == run_distance ? 0
                           : best.length < distance ? best.length
                                                    : best.length % distance;
        const std::uint8_t copied =
            parse
                .stored[at - static_cast<std::size_t>(distance) + static_cast<std::size_t>(offset)];
        if (copied != wanted && copied != also_wanted) {
            continue;
        }
        const int length = distance == run_distance ? match_length(parse, at, distance, 0, limit)
                                                    : tracked_length(parse, index, at, limit);
        if (length > best.length) {
            best = {length, distance};
            if (length == limit) {
                break;
            }
            want_past();
        }
    }
    return best.distance == 0 ? Match{} : best;
}

// The byte a literal stores at `at`: the alternative where it may be
// either, else its value.
std::uint8_t literal_at(const Parse& parse, std::size_t at) {
    const FrameRows& rows = *parse.rows;
    return rows.either != nullptr && rows.either[at] != 0 ? rows.alternative : rows.values[at];
}

void run_parse(Parse& parse, std::vector<std::uint32_t>& tokens) {
    const FrameRows& rows = *parse.rows;
    tokens.clear();
    tokens.reserve(rows.size / 16);
    std::size_t at = 0;
    Match next;
    bool next_known = false;
    while (at < rows.size) {
        parse.settled = at;
        const Match here = next_known ? next : best_match(parse, at, 0);
        next_known = false;
        if (here.length >= min_match && at + 1 < rows.size && here.length < max_match) {
            const std::uint8_t saved = parse.stored[at];
            parse.stored[at] = literal_at(parse, at);
            next = best_match(parse, at + 1, here.length);
            parse.stored[at] = saved;
            next_known = next.length != 0;
        }
        if (here.length >= min_match && !next_known) {
            std::uint8_t* const to = parse.stored + at;
            const auto length = static_cast<std::size_t>(here.length);
            const auto distance = static_cast<std::size_t>(here.distance);
            if (distance == run_distance) {
                std::memset(to, to[-1], length);
            } else if (distance >= length) {
                std::memcpy(to, to - distance, length);
            } else {
                for (std::size_t offset = 0; offset < length; ++offset) {
                    to[offset] = to[offset - distance];
                }
            }
            tokens.push_back(match_flag | (static_cast<std::uint32_t>(here.length) << 16) |
                             static_cast<std::uint32_t>(here.distance));
            at += static_cast<std::size_t>(here.length);
            continue;
        }
        parse.stored[at] = literal_at(parse, at);
        tokens.push_back(parse.stored[at]);
        ++at;
    }
}

// Huffman code lengths for `frequencies`, none longer than `limit` bits:
// where the plain Huffman code is too deep, the frequencies are halved (rounded
// up) and the code built again. A code of one symbol gets one bit.
template <std::size_t N>
void code_lengths(const std::array<std::uint32_t, N>& frequencies, int limit,
                  std::array<std::uint8_t, N>& lengths) {
    std::array<std::uint32_t, N> weights = frequencies;
    for (;;) {
        // Nodes: leaves 0..N-1, then inner nodes; a heap of (weight, node).
        std::array<std::pair<std::uint64_t, int>, N> heap{};
        std::array<int, 2 * N> parent{};
        int count = 0;
        for (std::size_t symbol = 0; symbol < N; ++symbol) {
            if (weights[symbol] != 0) {
                heap[static_cast<std::size_t>(count++)] = {
                    (std::uint64_t{weights[symbol]} << 16) | symbol, static_cast<int>(symbol)};
            }
        }
        lengths.fill(0);
        if (count == 0) {
            return;
        }
        if (count == 1) {
            lengths[static_cast<std::size_t>(heap[0].second)] = 1;
            return;
        }
        const auto greater = [](const auto& a, const auto& b) { return a.first > b.first; };
        std::make_heap(heap.begin(), heap.begin() + count, greater);
        int next_node = static_cast<int>(N);
        while (count > 1) {
            std::pop_heap(heap.begin(), heap.begin() + count, greater);
            const auto first = heap[static_cast<std::size_t>(--count)];
            std::pop_heap(heap.begin(), heap.begin() + count, greater);
            const auto second = heap[static_cast<std::size_t>(count - 1)];
            parent[static_cast<std::size_t>(first.second)] = next_node;
            parent[static_cast<std::size_t>(second.second)] = next_node;
            // The sum's weight, ties broken by node number so that every
            // platform builds the same code.
            heap[static_cast<std::size_t>(count - 1)] = {
                ((first.first >> 16) + (second.first >> 16)) << 16 |
                    static_cast<std::uint64_t>(next_node),
                next_node};
            std::push_heap(heap.begin(), heap.begin() + count, greater);
            ++next_node;
        }
        const int root = next_node - 1;
        bool fits_limit = true;
        for (std::size_t symbol = 0; symbol < N; ++symbol) {
            if (weights[symbol] == 0) {
                continue;
            }
            int depth = 0;
            for (int node = static_cast<int>(symbol); node != root;
                 node = parent[static_cast<std::size_t>(node)]) {
                ++depth;
            }
            lengths[symbol] = static_cast<std::uint8_t>(std::min(depth, 255));
            fits_limit = fits_limit && depth <= limit;
        }
        if (fits_limit) {
            return;
        }
        for (std::uint32_t& weight : weights) {
            weight = weight == 0 ? 0 : (weight + 1) / 2;
        }
    }
}

// Canonical codes for `lengths`, bit-reversed for the stream's order.
template <std::size_t N>
void canonical_codes(const std::array<std::uint8_t, N>& lengths,
                     std::array<std::uint16_t, N>& codes) {
    std::array<int, max_code_bits + 2> count{};
    for (const std::uint8_t length : lengths) {
        ++count[length];
    }
    count[0] = 0;
    std::array<int, max_code_bits + 2> next{};
    int code = 0;
    for (int bits = 1; bits <= max_code_bits + 1; ++bits) {
        code = (code + count[static_cast<std::size_t>(bits - 1)]) << 1;
        next[static_cast<std::size_t>(bits)] = code;
    }
    for (std::size_t symbol = 0; symbol < N; ++symbol) {
        const int length = lengths[symbol];
        if (length == 0) {
            codes[symbol] = 0;
            continue;
        }
        int value = next[static_cast<std::size_t>(length)]++;
        int reversed = 0;
        for (int bit = 0; bit < length; ++bit, value >>= 1) {
            reversed = (reversed << 1) | (value & 1);
        }
        codes[symbol] = static_cast<std::uint16_t>(reversed);
    }
}

struct BitWriter {
    std::vector<unsigned char>* bytes = nullptr;
    std::uint64_t pending = 0;
    int pending_bits = 0;
    void put(std::uint32_t value, int bits) {
        pending |= std::uint64_t{value} << pending_bits;
        pending_bits += bits;
        while (pending_bits >= 8) {
            bytes->push_back(static_cast<unsigned char>(pending));
            pending >>= 8;
            pending_bits -= 8;
        }
    }
    void flush() {
        if (pending_bits > 0) {
            bytes->push_back(static_cast<unsigned char>(pending));
        }
        pending = 0;
        pending_bits = 0;
    }
};

// The code lengths of both alphabets, run-length coded with codes 16 (repeat
// the last 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros).
struct LengthRuns {
    std::vector<std::uint8_t> symbols;
    std::vector<std::uint8_t> extra;
};

void run_length_code(const std::uint8_t* lengths, int count, LengthRuns& runs) {
    for (int at = 0; at < count;) {
        const std::uint8_t length = lengths[at];
        int run = 1;
        while (at + run < count && lengths[at + run] == length) {
            ++run;
        }
        if (length == 0 && run >= 3) {
            const int taken = std::min(run, 138);
            runs.symbols.push_back(taken >= 11 ? 18 : 17);
            runs.extra.push_back(static_cast<std::uint8_t>(taken >= 11 ? taken - 11 : taken - 3));
            at += taken;
            continue;
        }
        runs.symbols.push_back(length);
        runs.extra.push_back(0);
        ++at;
        --run;
        while (length != 0 && run >= 3) {
            const int taken = std::min(run, 6);
            runs.symbols.push_back(16);
            runs.extra.push_back(static_cast<std::uint8_t>(taken - 3));
            at += taken;
            run -= taken;
        }
    }
}

// A block's codes: the lengths of every literal/length and distance code,
// and the codes themselves.
struct BlockCodes {
    std::array<std::uint8_t, literal_codes> literal_lengths{};
    std::array<std::uint8_t, distance_codes> distance_lengths{};
    std::array<std::uint16_t, literal_codes> literal_bits{};
    std::array<std::uint16_t, distance_codes> distance_bits{};
};

// The fixed codes of a block of type 1: the canonical codes of the lengths
// the format gives its 288 literal/length codes (the last two never used,
// but counted) and of 30 distance codes of 5 bits.
void fixed_codes(BlockCodes& codes) {
    std::array<std::uint8_t, 288> lengths{};
    for (std::size_t code = 0; code < lengths.size(); ++code) {
        lengths[code] = code < 144 ? 8 : code < 256 ? 9 : code < 280 ? 7 : 8;
    }
    std::array<std::uint16_t, 288> bits{};
    canonical_codes(lengths, bits);
    std::copy_n(lengths.begin(), literal_codes, codes.literal_lengths.begin());
    std::copy_n(bits.begin(), literal_codes, codes.literal_bits.begin());
    codes.distance_lengths.fill(5);
    canonical_codes(codes.distance_lengths, codes.distance_bits);
}

// How often the tokens use each literal-or-length code and each distance
// code, the end of the block counted once.
struct TokenCounts {
    std::array<std::uint32_t, literal_codes> literal{};
    std::array<std::uint32_t, distance_codes> distance{};
};

void count_tokens(const std::vector<std::uint32_t>& tokens, TokenCounts& counts) {
    for (const std::uint32_t token : tokens) {
        if ((token & match_flag) == 0) {
            ++counts.literal[token];
            continue;
        }
        const int length = static_cast<int>((token >> 16) & 0x1FF);
        ++counts.literal[257U + tables.length_code[static_cast<std::size_t>(length)]];
        ++counts
              .distance[static_cast<std::size_t>(distance_code(static_cast<int>(token & 0xFFFF)))];
    }
    ++counts.literal[end_of_block];
}

// The bits the tokens take in `codes`, their extra bits included.
std::uint64_t token_bits(const TokenCounts& counts, const BlockCodes& codes) {
    std::uint64_t bits = 0;
    for (std::size_t code = 0; code < literal_codes; ++code) {
        const int extra = code > end_of_block ? length_extra[code - 257] : 0;
        bits += std::uint64_t{counts.literal[code]} *
                static_cast<std::uint64_t>(codes.literal_lengths[code] + extra);
    }
    for (std::size_t code = 0; code < distance_codes; ++code) {
        bits += std::uint64_t{counts.distance[code]} *
                static_cast<std::uint64_t>(codes.distance_lengths[code] +
                                           distance_extra(static_cast<int>(code)));
    }
    return bits;
}

void write_tokens(const std::vector<std::uint32_t>& tokens, const BlockCodes& codes,
                  BitWriter& out) {
    for (const std::uint32_t token : tokens) {
        if ((token & match_flag) == 0) {
            out.put(codes.literal_bits[token], codes.literal_lengths[token]);
            continue;
        }
        const int length = static_cast<int>((token >> 16) & 0x1FF);
        const int distance = static_cast<int>(token & 0xFFFF);
        const auto code =
            static_cast<std::size_t>(tables.length_code[static_cast<std::size_t>(length)]);
        out.put(codes.literal_bits[257 + code], codes.literal_lengths[257 + code]);
        out.put(static_cast<std::uint32_t>(length - length_base[code]), length_extra[code]);
        const auto dcode = static_cast<std::size_t>(distance_code(distance));
        out.put(codes.distance_bits[dcode], codes.distance_lengths[dcode]);
        out.put(static_cast<std::uint32_t>(distance - distance_base[dcode]),
                distance_extra(static_cast<int>(dcode)));
    }
    out.put(codes.literal_bits[end_of_block], codes.literal_lengths[end_of_block]);
}

// The tokens as one last block, with codes made for them (type 2) or with
// the fixed codes (type 1), whichever is shorter.
void write_block(const std::vector<std::uint32_t>& tokens, std::vector<unsigned char>& bytes) {
    TokenCounts counts;
    count_tokens(tokens, counts);

    BlockCodes made;
    code_lengths(counts.literal, max_code_bits, made.literal_lengths);
    code_lengths(counts.distance, max_code_bits, made.distance_lengths);
    // A block with no match still names one distance code.
    if (std::all_of(made.distance_lengths.begin(), made.distance_lengths.end(),
                    [](std::uint8_t length) { return length == 0; })) {
        made.distance_lengths[0] = 1;
    }
    int literal_used = literal_codes;
    while (literal_used > 257 &&
           made.literal_lengths[static_cast<std::size_t>(literal_used - 1)] == 0) {
        --literal_used;
    }
    int distance_used = distance_codes;
    while (distance_used > 1 &&
           made.distance_lengths[static_cast<std::size_t>(distance_used - 1)] == 0) {
        --distance_used;
    }
    // The code lengths, run-length coded, and the code of that.
    std::array<std::uint8_t, literal_codes + distance_codes> all_lengths{};
    std::copy_n(made.literal_lengths.begin(), literal_used, all_lengths.begin());
    std::copy_n(made.distance_lengths.begin(), distance_used, all_lengths.begin() + literal_used);
    LengthRuns runs;
    run_length_code(all_lengths.data(), literal_used + distance_used, runs);
    std::array<std::uint32_t, 19> length_code_counts{};
    for (const std::uint8_t symbol : runs.symbols) {
        ++length_code_counts[symbol];
    }
    std::array<std::uint8_t, 19> length_code_lengths{};
    code_lengths(length_code_counts, max_length_code_bits, length_code_lengths);
    static constexpr std::array<int, 19> order = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                  11, 4,  12, 3, 13, 2, 14, 1, 15};
    int length_codes_used = 19;
    while (length_codes_used > 4 &&
           length_code_lengths[static_cast<std::size_t>(
               order[static_cast<std::size_t>(length_codes_used - 1)])] == 0) {
        --length_codes_used;
    }
    static constexpr std::array<int, 3> run_extra_bits = {2, 3, 7};
    std::uint64_t header_bits = 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(length_codes_used);
    for (const std::uint8_t symbol : runs.symbols) {
        header_bits += static_cast<std::uint64_t>(
            length_code_lengths[symbol] +
            (symbol >= 16 ? run_extra_bits[static_cast<std::size_t>(symbol - 16)] : 0));
    }
    BlockCodes fixed;
    fixed_codes(fixed);
    const bool use_fixed = token_bits(counts, fixed) <= header_bits + token_bits(counts, made);

    BitWriter out{&bytes};
    out.put(1, 1);  // the last block
    if (use_fixed) {
        out.put(1, 2);
        write_tokens(tokens, fixed, out);
        out.flush();
        return;
    }
    out.put(2, 2);
    out.put(static_cast<std::uint32_t>(literal_used - 257), 5);
    out.put(static_cast<std::uint32_t>(distance_used - 1), 5);
    out.put(static_cast<std::uint32_t>(length_codes_used - 4), 4);
    for (int index = 0; index < length_codes_used; ++index) {
        out.put(
            length_code_lengths[static_cast<std::size_t>(order[static_cast<std::size_t>(index)])],
            3);
    }
    std::array<std::uint16_t, 19> length_code_bits{};
    canonical_codes(length_code_lengths, length_code_bits);
    for (std::size_t index = 0; index < runs.symbols.size(); ++index) {
        const std::uint8_t symbol = runs.symbols[index];
        out.put(length_code_bits[symbol], length_code_lengths[symbol]);
        if (symbol >= 16) {
            out.put(runs.extra[index], run_extra_bits[static_cast<std::size_t>(symbol - 16)]);
        }
    }
    canonical_codes(made.literal_lengths, made.literal_bits);
    canonical_codes(made.distance_lengths, made.distance_bits);
    write_tokens(tokens, made, out);
    out.flush();
}

// The zlib stream of `tokens` for the `size` bytes at `stored`: the header
// (deflate with a 32 KiB window, the strongest level's flag), one block,
// and the Adler-32 of the bytes.
void write_stream(const std::vector<std::uint32_t>& tokens, const std::uint8_t* stored,
                  std::size_t size, std::vector<unsigned char>& bytes) {
    bytes.push_back(0x78);
    bytes.push_back(0xDA);
    write_block(tokens, bytes);
    const auto adler = static_cast<std::uint32_t>(
        adler32(adler32(0, nullptr, 0), stored, static_cast<uInt>(size)));
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<unsigned char>(adler >> shift));
    }
}

// --- the thorough parse -----------------------------------------------------
// The matches a binary-tree match finder finds, and the cheapest way
// through them, costed in the bits of the codes the last way through made:
// done over a few rounds, as zopfli does, the costs and the way settle. All
// in whole bits, so that every platform takes the same way.

constexpr int chain_bits = 15;

// For each byte the matches found that reach further than those found
// before them: lengths rising.
struct Steps {
    std::vector<std::uint32_t> begin;  // each byte's first, and one past the last byte's
    std::vector<std::uint16_t> lengths;
    std::vector<std::uint16_t> distances;
};

// How many bytes from `a` and from `b` on are the same, up to `limit`
// (both may be read up to frame_rows_slack bytes past it): eight at a time.
int common_length(const std::uint8_t* a, const std::uint8_t* b, int limit) {
    int length = 0;
    while (length < limit) {
        const std::uint64_t differ = load64(a + length) ^ load64(b + length);
        if (differ != 0) {
            return std::min(limit, length + std::countr_zero(differ) / 8);
        }
        length += 8;
    }
    return limit;
}

std::uint32_t chain_hash(const std::uint8_t* at) {
    return ((std::uint32_t{at[0]} << 10) ^ (std::uint32_t{at[1]} << 5) ^ at[2]) &
           ((1U << chain_bits) - 1);
}

// The matches at each byte: the bytes of the window are kept in binary
// trees, one for each hash of three bytes, ordered as the bytes from each
// on compare; going down the tree from the newest, each node shares more
// or fewer bytes with the byte being put in, and those that share more
// than any before are its steps. (The trees are rebuilt as they are
// searched, with the new byte as the root: LZMA's binary-tree match finder.)
void find_steps(const std::uint8_t* bytes, std::size_t size, int most_nodes, Steps& steps) {
    constexpr std::int32_t none = -1;
    std::vector<std::int32_t> head(std::size_t{1} << chain_bits, none);
    // Each byte's two subtrees: smaller at 2 * at, larger at 2 * at + 1.
    std::vector<std::int32_t> below(2 * size, none);
    steps.begin.assign(size + 1, 0);
    steps.lengths.clear();
    steps.distances.clear();
    for (std::size_t at = 0; at < size; ++at) {
        steps.begin[at] = static_cast<std::uint32_t>(steps.lengths.size());
        if (at + min_match > size) {
            continue;
        }
        const int limit = static_cast<int>(std::min<std::size_t>(max_match, size - at));
        const std::uint32_t hash = chain_hash(bytes + at);
        std::int32_t node = head[hash];
        head[hash] = static_cast<std::int32_t>(at);
        std::int32_t* smaller = &below[2 * at];
        std::int32_t* larger = &below[2 * at + 1];
        int smaller_length = 0;  // bytes shared with every node hung under `smaller`
        int larger_length = 0;
        int best = min_match - 1;
        for (int visited = 0;; ++visited) {
            if (node == none || at - static_cast<std::size_t>(node) > window ||
                visited == most_nodes) {
                *smaller = none;
                *larger = none;
                break;
            }
            const auto from = static_cast<std::size_t>(node);
            const int known = std::min(smaller_length, larger_length);
            const int length =
                known + common_length(bytes + from + known, bytes + at + known, limit - known);
            if (length > best) {
                best = length;
                steps.lengths.push_back(static_cast<std::uint16_t>(length));
                steps.distances.push_back(static_cast<std::uint16_t>(at - from));
            }
            if (length == limit) {
                // The same bytes as far as a match goes: the node's subtrees
                // become the new byte's, and the node leaves the tree.
                *smaller = below[2 * from];
                *larger = below[2 * from + 1];
                break;
            }
            if (bytes[from + static_cast<std::size_t>(length)] <
                bytes[at + static_cast<std::size_t>(length)]) {
                *smaller = node;
                smaller = &below[2 * from + 1];
                smaller_length = length;
                node = *smaller;
            } else {
                *larger = node;
                larger = &below[2 * from];
                larger_length = length;
                node = *larger;
            }
        }
    }
    steps.begin[size] = static_cast<std::uint32_t>(steps.lengths.size());
}

// What each code costs, in bits with its extra bits: those of a block's
// codes, and those it does not use as long as the longest code.
struct CodeCosts {
    std::array<std::uint32_t, max_match + 1> length{};  // by match length
    std::array<std::uint32_t, literal_codes> literal{};
    std::array<std::uint32_t, distance_codes> distance{};
};

void costs_of(const std::vector<std::uint32_t>& tokens, CodeCosts& costs) {
    TokenCounts counts;
    count_tokens(tokens, counts);
    std::array<std::uint8_t, literal_codes> literal_lengths{};
    std::array<std::uint8_t, distance_codes> distance_lengths{};
    code_lengths(counts.literal, max_code_bits, literal_lengths);
    code_lengths(counts.distance, max_code_bits, distance_lengths);
    for (std::size_t code = 0; code < literal_codes; ++code) {
        costs.literal[code] = literal_lengths[code] != 0 ? literal_lengths[code] : max_code_bits;
    }
    for (std::size_t code = 0; code < distance_codes; ++code) {
        costs.distance[code] =
            (distance_lengths[code] != 0 ? distance_lengths[code] : max_code_bits) +
            static_cast<std::uint32_t>(distance_extra(static_cast<int>(code)));
    }
    for (std::size_t length = min_match; length <= max_match; ++length) {
        const std::size_t code = tables.length_code[length];
        costs.length[length] =
            costs.literal[257 + code] + static_cast<std::uint32_t>(length_extra[code]);
    }
}

// The cheapest way through `bytes` at `costs`, as tokens.
void cheapest_parse(const std::uint8_t* bytes, std::size_t size, const Steps& steps,
                    const CodeCosts& costs, std::vector<std::uint32_t>& tokens) {
    constexpr std::uint32_t unreached = 0xFFFFFFFFU;
    std::vector<std::uint32_t> cost(size + 1, unreached);
    std::vector<std::uint32_t> taken(size + 1, 0);  // the token that reaches each byte
    cost[0] = 0;
    for (std::size_t at = 0; at < size; ++at) {
        const std::uint32_t here = cost[at];
        if (here + costs.literal[bytes[at]] < cost[at + 1]) {
            cost[at + 1] = here + costs.literal[bytes[at]];
            taken[at + 1] = bytes[at];
        }
        int shorter = min_match - 1;
        for (std::uint32_t step = steps.begin[at]; step < steps.begin[at + 1]; ++step) {
            const int distance = steps.distances[step];
            const std::uint32_t distance_cost =
                costs.distance[static_cast<std::size_t>(distance_code(distance))];
            for (int length = shorter + 1; length <= steps.lengths[step]; ++length) {
                const std::uint32_t total =
                    here + costs.length[static_cast<std::size_t>(length)] + distance_cost;
                const std::size_t to = at + static_cast<std::size_t>(length);
                if (total < cost[to]) {
                    cost[to] = total;
                    taken[to] = match_flag | static_cast<std::uint32_t>(length) << 16 |
                                static_cast<std::uint32_t>(distance);
                }
            }
            shorter = steps.lengths[step];
        }
    }
    tokens.clear();
    for (std::size_t at = size; at > 0;) {
        const std::uint32_t token = taken[at];
        tokens.push_back(token);
        at -= (token & match_flag) == 0 ? 1 : (token >> 16) & 0x1FF;
    }
    std::reverse(tokens.begin(), tokens.end());
}

}  // namespace

void deflate_frame(const FrameRows& rows, DeflateScratch& scratch,
                   std::vector<unsigned char>& bytes) {
    scratch.stored.assign(rows.size + frame_rows_slack, 0);
    Parse parse;
    parse.rows = &rows;
    parse.stored = scratch.stored.data();
    const auto stride = static_cast<int>(rows.stride);
    // The run, then the row above, up to 4 bytes either way, and the one
    // above that, straight above and a byte to the left: the nearest first,
    // which a tie goes to. (More distances, such as 5 bytes either way or
    // three rows up, made the cycle larger: each costs codes of its own.)
    parse.distances[static_cast<std::size_t>(parse.distance_count++)] = run_distance;
    for (int rows_up = 1; rows_up <= 2; ++rows_up) {
        const int first = rows_up == 1 ? -4 : 0;
        const int last = rows_up == 1 ? 4 : 1;
        for (int shift = first; shift <= last; ++shift) {
            const int distance = rows_up * stride + shift;
            if (distance > run_distance && distance <= window) {
                parse.distances[static_cast<std::size_t>(parse.distance_count++)] = distance;
            }
        }
    }
    run_parse(parse, scratch.tokens);
    write_stream(scratch.tokens, scratch.stored.data(), rows.size, bytes);
}

void deflate_frame_thoroughly(const FrameRows& rows, const ThoroughEffort& effort,
                              DeflateScratch& scratch, std::vector<unsigned char>& bytes) {
    const std::size_t start = bytes.size();
    deflate_frame(rows, scratch, bytes);
    const std::uint8_t* const stored = scratch.stored.data();
    Steps steps;
    find_steps(stored, rows.size, effort.tree_nodes, steps);
    CodeCosts costs;
    costs_of(scratch.tokens, costs);
    std::vector<unsigned char> stream;
    int rounds_without_gain = 0;
    for (int round = 0; round < effort.rounds && rounds_without_gain < 2; ++round) {
        cheapest_parse(stored, rows.size, steps, costs, scratch.tokens);
        stream.clear();
        write_stream(scratch.tokens, stored, rows.size, stream);
        if (stream.size() < bytes.size() - start) {
            bytes.resize(start);
            bytes.insert(bytes.end(), stream.begin(), stream.end());
            rounds_without_gain = 0;
        } else {
            ++rounds_without_gain;
        }
        costs_of(scratch.tokens, costs);
    }
}

}  // namespace quenlixor
