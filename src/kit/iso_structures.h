#pragma once
// ISO 9660 structures as the kit writes them: primary volume descriptor,
// set terminator, path tables and directory extents.
#include <cstdint>
#include <string_view>
#include <vector>

#include "format/endian.h"
#include "kit/layout_plan.h"

namespace isorelink::kit {

// The fixed recording time of every kit image: 2004-06-15 12:00:00 GMT.
void put_record_date(MutableByteView b, std::size_t off);   // 7 bytes
void put_volume_date(MutableByteView b, std::size_t off);   // 17 bytes
void put_unset_volume_date(MutableByteView b, std::size_t off);

// One directory record of `identifier`, which may hold 0x00 or 0x01; with
// `xa`, the CD-XA system use field follows the identifier.
void put_directory_record(MutableByteView b, std::size_t off, std::uint32_t extent, std::uint32_t size,
                          std::uint8_t flags, std::string_view identifier, bool xa = false);

void encode_primary_descriptor(const ImageRecipe& recipe, const Plan& plan, MutableByteView sector);
void encode_set_terminator(MutableByteView sector);

// The whole path table, padded to its sectors.
std::vector<std::byte> encode_path_table(const Plan& plan, bool big_endian);

// A directory's extent (sectors × 2048 bytes, zero tails).
std::vector<std::byte> encode_directory(const Plan& plan, std::size_t directory);

} // namespace isorelink::kit
