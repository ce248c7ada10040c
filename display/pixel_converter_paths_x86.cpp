// The converters' paths on x86 (32- and 64-bit), fastest first.
#include "display/pixel_converters_internal.h"

namespace quenlixor {

extern const ConverterPath avx2_converters;
extern const ConverterPath sse2_converters;
extern const ConverterPath mmx_converters;

std::span<const ConverterPath* const> converter_path_table() {
    static constexpr const ConverterPath* table[] = {
        &avx2_converters,
        &sse2_converters,
        &mmx_converters,
        &portable_converters,
    };
    return table;
}

}  // namespace quenlixor
