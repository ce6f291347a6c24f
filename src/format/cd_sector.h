#pragma once
// Raw 2,352-byte CD-ROM sectors: the sync pattern, the header (MSF address in
// BCD and the mode), the Mode 2 subheader, the EDC and the P and Q parity of
// the Reed-Solomon product code, as ECMA-130 (2nd edition, Annex A, clause 14
// and Annex B) defines them. Pure: no I/O.
//
//   Mode 1:         sync 0-11, header 12-15, user data 16-2063, EDC 2064-2067,
//                   zero 2068-2075, P 2076-2247, Q 2248-2351.
//   Mode 2 Form 1:  sync, header, subheader 16-23 (twice the same 4 bytes),
//                   user data 24-2071, EDC 2072-2075, P, Q. The EDC covers the
//                   subheader and the user data; P and Q are computed with the
//                   header taken as zero, so a Form 1 sector can move address.
//   Mode 2 Form 2:  sync, header, subheader, 2,324 bytes of user data, EDC at
//                   2348 (zero when not computed), no parity.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "format/endian.h"

namespace isorelink::cd {

inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::size_t kUserSize = 2048;
// Logical block 0 sits at MSF 00:02:00: the 150 sectors of the lead-in pause.
inline constexpr std::uint32_t kMsfOffset = 150;
// The last address an MSF header can hold (99:59:74), as a logical block.
inline constexpr std::uint32_t kLastAddress = 99u * 60u * 75u + 59u * 75u + 74u - kMsfOffset;

using Subheader = std::array<std::byte, 8>;
// The subheader of an ordinary data sector: file 0, channel 0, submode Data
// (0x08), coding 0, written twice. Sectors we append take it.
inline constexpr Subheader kDataSubheader{std::byte{0}, std::byte{0}, std::byte{0x08}, std::byte{0},
                                          std::byte{0}, std::byte{0}, std::byte{0x08}, std::byte{0}};
// Submode bits: end of record, Form 2, end of file.
inline constexpr std::uint8_t kSubmodeEndOfRecord = 0x01;
inline constexpr std::uint8_t kSubmodeForm2 = 0x20;
inline constexpr std::uint8_t kSubmodeEndOfFile = 0x80;

enum class Mode { Mode0, Mode1, Mode2Form1, Mode2Form2, Unknown };

// The sector's mode from its header byte 15 and, in Mode 2, the Form 2 bit of
// its submode.
Mode mode_of(ByteView raw);

// Where the 2,048 bytes of an image sector lie in a raw sector of that mode
// (16 for Mode 1, 24 for Mode 2).
std::size_t user_data_offset(Mode mode);

// True for 00 FF*10 00.
bool has_sync(ByteView raw);

// The header's address as a logical block (MSF - 150); nullopt when a digit is
// not BCD or the address lies before 00:02:00.
std::optional<std::uint32_t> header_address(ByteView raw);

// The EDC: a CRC-32 with the polynomial (x^16 + x^15 + x^2 + 1)(x^16 + x^2 + x + 1),
// bits taken least significant first, initial value 0, no final inversion.
std::uint32_t edc(ByteView data);

// Writes a whole sector at logical block lba (lba <= kLastAddress).
void encode_mode1(ByteView user, std::uint32_t lba, MutableByteView raw);
void encode_mode2_form1(ByteView user, std::uint32_t lba, const Subheader& subheader, MutableByteView raw);

// Recomputes the sync, header, EDC and parity of a Mode 1 or Mode 2 Form 1
// sector in place, from its user data (and subheader).
void reseal(Mode mode, std::uint32_t lba, MutableByteView raw);

struct SectorCheck {
    Mode mode = Mode::Unknown;
    bool sync = false;
    bool address = false;  // the header names lba
    bool edc = false;      // Form 2 with no EDC (zero) counts as good
    bool ecc = false;      // Form 2: no parity to check, counts as good
    bool good() const { return sync && address && edc && ecc && mode != Mode::Unknown; }
};

// Checks a raw sector expected at logical block lba.
SectorCheck check_sector(ByteView raw, std::uint32_t lba);

} // namespace isorelink::cd
