#pragma once
// Every coded message a job can leave in the status file. The texts are the
// host's contract: byte for byte, trailing blanks and missing blanks included.
#include <string_view>

namespace isorelink::msg {

// Extraction
inline constexpr std::string_view kNoImageExtract = "Code 100a - Error No BigFile Selected ";
inline constexpr std::string_view kOpenImage = "Code 101e - Error Opening %s";
inline constexpr std::string_view kBadHeader = "Code 1101a - invalid file header %s";
inline constexpr std::string_view kCreateHeaderCopy = "Code 1101b - Error Opening %s";
inline constexpr std::string_view kCreateSectorListing = "Code 1101c - Error Opening %s";
inline constexpr std::string_view kCreateFileListing = "Code 1101d - Error Opening %s";
inline constexpr std::string_view kCreatePathTableCopy = "Code 1101e - Error Opening %s";
inline constexpr std::string_view kReopenPathTableCopy = "Code 1101f - Error Opening %s";
inline constexpr std::string_view kReopenHeaderCopy = "Code 1101g - Error Opening %s";
inline constexpr std::string_view kWalkOpenImage = "Code 1101h - Error Opening %s";
inline constexpr std::string_view kCreateRecordFile = "Code 1104- Error Opening %s";
inline constexpr std::string_view kReopenRecordFile = "Code 1105- Error Opening %s";
// 1106 is built by structure_error(): "Code 1106 - invalid volume structure %s (REASON)"
inline constexpr std::string_view kExtractNameTooLong = "Code 1107 - name too long %s";
// Warnings of a listing that went on (the CLI prints them; the status file holds none).
inline constexpr std::string_view kDirectoryCutShort =
    "warning: directory %s is listed up to a record that runs past its recorded length";
inline constexpr std::string_view kDirectoryWithoutSelfRecord =
    "warning: directory %s has an empty \".\" record: none of its files are listed";
inline constexpr std::string_view kExtractInternal = "Code 1108 - internal error %s";
// The image is the same file as one the job would create, truncate or delete.
inline constexpr std::string_view kImageIsJobFile = "Code 1109 - image is one of the job's own files %s";

// Rebuild
inline constexpr std::string_view kNoImageRebuild = "Code 400a - Error No BigFile Selected ";
inline constexpr std::string_view kOpenNewImage = "Code 401 - Error Opening %s";
inline constexpr std::string_view kOpenRelinkList = "Code 402 - Error Opening %s";
inline constexpr std::string_view kOpenRecordFile = "Code 404- Error Opening %s";
// 405 names the line, the list and the check it failed: "Code 405 - invalid relink line N PATH (REASON)".
inline constexpr std::string_view kInvalidRelinkLine = "Code 405 - invalid relink line %s";
namespace relink_refusal {
inline constexpr std::string_view kLineTooLong = "line longer than 2047 characters";
inline constexpr std::string_view kLineTooShort = "line too short for its fields";
inline constexpr std::string_view kFieldNotHex = "field not eight hexadecimal digits";
inline constexpr std::string_view kRecordOutsideImage = "directory record outside the image";
inline constexpr std::string_view kDescriptorOutsideImage = "allocation descriptor outside the image";
inline constexpr std::string_view kBelowPartition = "sector below the UDF partition";
inline constexpr std::string_view kNoFileEntry = "no UDF File Entry holds the allocation descriptor";
} // namespace relink_refusal
inline constexpr std::string_view kPartitionNotFound = "Code 406 - UDF partition not found %s";
inline constexpr std::string_view kRebuildNameTooLong = "Code 407 - name too long %s";
inline constexpr std::string_view kRebuildInternal = "Code 408 - internal error %s";
// The new image is the same file as the source image, the relink list or the record file.
inline constexpr std::string_view kNewImageIsJobFile = "Code 410 - new image is one of the job's own files %s";
inline constexpr std::string_view kNewImageTooShort = "Code 409 - not a disc image %s";  // too short for its kind bytes
inline constexpr std::string_view kDvdEndFirst = "Code 4001dvd - Error!!! Opening [%s]";
inline constexpr std::string_view kDvdEndSecond = "Code 4002dvd - Error!!! Opening [%s]";
inline constexpr std::string_view kCdEnd = "Code 4003cd - Error!!! Opening [%s]";
inline constexpr std::string_view kPspEnd = "Code 4001psp - Error!!! Opening [%s]";

} // namespace isorelink::msg
