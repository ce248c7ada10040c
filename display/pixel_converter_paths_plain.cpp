// The converters' paths where there is no packed one: the portable path alone.
#include "display/pixel_converters_internal.h"

namespace quenlixor {

std::span<const ConverterPath* const> converter_path_table() {
    static constexpr const ConverterPath* table[] = {
        &portable_converters,
    };
    return table;
}

}  // namespace quenlixor
