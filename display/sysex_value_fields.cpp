#include "display/sysex_value_fields.h"

#include <string_view>

#include "display/sysex_fields.h"

namespace tessaly {

void AddValueFields(LineBuilder& line, const uint8_t* assembly, int position, int count,
                    const ValueFieldTable& fields) {
  // Sixteen fields at a time go to the line in one piece.
  constexpr int kBatch = 16;
  char batch[kBatch * 3];
  while (count > 0) {
    const int n = count < kBatch ? count : kBatch;
    for (int i = 0; i < n; ++i) {
      const auto& field = fields[DataValue(assembly, position + 2 * i)];
      batch[3 * i] = field[0];
      batch[3 * i + 1] = field[1];
      batch[3 * i + 2] = field[2];
    }
    line.Add(std::string_view(batch, static_cast<size_t>(3 * n)));
    position += 2 * n;
    count -= n;
  }
}

}  // namespace tessaly
