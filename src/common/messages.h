#pragma once
// Every coded message a job can leave in the status file. The texts are the
// host's contract: byte for byte, trailing blanks and missing blanks included.
#include <string_view>

#include "common/job_error.h"

namespace isorelink::msg {

// Extraction
inline constexpr Message kNoImageExtract{ErrorKind::BadInput, "Code 100a - Error No BigFile Selected "};
inline constexpr Message kOpenImage{ErrorKind::Io, "Code 101e - Error Opening %s"};
inline constexpr Message kBadHeader{ErrorKind::BadImage, "Code 1101a - invalid file header %s"};
inline constexpr Message kCreateHeaderCopy{ErrorKind::Io, "Code 1101b - Error Opening %s"};
inline constexpr Message kCreateSectorListing{ErrorKind::Io, "Code 1101c - Error Opening %s"};
inline constexpr Message kCreateFileListing{ErrorKind::Io, "Code 1101d - Error Opening %s"};
inline constexpr Message kCreatePathTableCopy{ErrorKind::Io, "Code 1101e - Error Opening %s"};
inline constexpr Message kReopenPathTableCopy{ErrorKind::Io, "Code 1101f - Error Opening %s"};
inline constexpr Message kReopenHeaderCopy{ErrorKind::Io, "Code 1101g - Error Opening %s"};
inline constexpr Message kWalkOpenImage{ErrorKind::Io, "Code 1101h - Error Opening %s"};
inline constexpr Message kCreateRecordFile{ErrorKind::Io, "Code 1104- Error Opening %s"};
inline constexpr Message kReopenRecordFile{ErrorKind::Io, "Code 1105- Error Opening %s"};
// Filled by structure_error(), which cuts the path rather than the reason.
inline constexpr Message kInvalidStructure{ErrorKind::BadImage, "Code 1106 - invalid volume structure %s (%s)"};
inline constexpr Message kExtractNameTooLong{ErrorKind::BadInput, "Code 1107 - name too long %s"};
// Warnings of a listing that went on (the CLI prints them; the status file holds none).
inline constexpr Message kDirectoryCutShort{
    ErrorKind::BadImage, "warning: directory %s is listed up to a record that runs past its recorded length"};
inline constexpr Message kDirectoryWithoutSelfRecord{
    ErrorKind::BadImage, "warning: directory %s has an empty \".\" record: none of its files are listed"};
inline constexpr Message kExtractInternal{ErrorKind::Internal, "Code 1108 - internal error %s"};
// The image is the same file as one the job would create, truncate or delete.
inline constexpr Message kImageIsJobFile{ErrorKind::BadInput, "Code 1109 - image is one of the job's own files %s"};

// Rebuild
inline constexpr Message kNoImageRebuild{ErrorKind::BadInput, "Code 400a - Error No BigFile Selected "};
inline constexpr Message kOpenNewImage{ErrorKind::Io, "Code 401 - Error Opening %s"};
inline constexpr Message kOpenRelinkList{ErrorKind::Io, "Code 402 - Error Opening %s"};
inline constexpr Message kOpenRecordFile{ErrorKind::Io, "Code 404- Error Opening %s"};
// The line number, the relink list's path and the check it failed.
inline constexpr Message kInvalidRelinkLine{ErrorKind::BadInput, "Code 405 - invalid relink line %s %s (%s)"};
namespace relink_refusal {
inline constexpr std::string_view kLineTooLong = "line longer than 2047 characters";
inline constexpr std::string_view kLineTooShort = "line too short for its fields";
inline constexpr std::string_view kFieldNotHex = "field not eight hexadecimal digits";
inline constexpr std::string_view kRecordOutsideImage = "directory record outside the image";
inline constexpr std::string_view kDescriptorOutsideImage = "allocation descriptor outside the image";
inline constexpr std::string_view kBelowPartition = "sector below the UDF partition";
inline constexpr std::string_view kNoFileEntry = "no UDF File Entry holds the allocation descriptor";
} // namespace relink_refusal
inline constexpr Message kPartitionNotFound{ErrorKind::BadImage, "Code 406 - UDF partition not found %s"};
inline constexpr Message kRebuildNameTooLong{ErrorKind::BadInput, "Code 407 - name too long %s"};
inline constexpr Message kRebuildInternal{ErrorKind::Internal, "Code 408 - internal error %s"};
// The new image is the same file as the source image, the relink list or the record file.
inline constexpr Message kNewImageIsJobFile{ErrorKind::BadInput, "Code 410 - new image is one of the job's own files %s"};
inline constexpr Message kNewImageTooShort{ErrorKind::BadImage, "Code 409 - not a disc image %s"};  // too short for its kind bytes
inline constexpr Message kDvdEndFirst{ErrorKind::Io, "Code 4001dvd - Error!!! Opening [%s]"};
inline constexpr Message kDvdEndSecond{ErrorKind::Io, "Code 4002dvd - Error!!! Opening [%s]"};
inline constexpr Message kCdEnd{ErrorKind::Io, "Code 4003cd - Error!!! Opening [%s]"};
inline constexpr Message kPspEnd{ErrorKind::Io, "Code 4001psp - Error!!! Opening [%s]"};

// The command-line tools: no codes, since no host reads them.
inline constexpr Message kCannotOpen{ErrorKind::Io, "cannot open %s"};
inline constexpr Message kCannotRead{ErrorKind::Io, "cannot read %s"};
inline constexpr Message kCannotReadLength{ErrorKind::Io, "cannot read the length of %s"};
inline constexpr Message kCannotReadToEnd{ErrorKind::Io, "cannot read %s to its end"};
inline constexpr Message kCannotWriteBecause{ErrorKind::Io, "cannot write %s: %s"};
inline constexpr Message kChangedWhileRead{ErrorKind::Io, "%s changed while it was read"};
inline constexpr Message kOverlappingContents{ErrorKind::Internal, "the new contents overlap at byte %s"};
inline constexpr Message kTargetIsSource{ErrorKind::BadInput, "%s is %s itself (a link): it is never written"};
inline constexpr Message kCannotReadImageLength{ErrorKind::Io, "cannot read the image's length"};
inline constexpr Message kNoRoomForVolumeDescriptor{ErrorKind::BadImage,
                                                    "the image is too short to hold a primary volume descriptor"};
inline constexpr Message kCannotReadSector{ErrorKind::Io, "cannot read sector %s of %s"};
inline constexpr Message kNoVolumeDescriptor{ErrorKind::BadImage, "sector 16 holds no ISO 9660 primary volume descriptor"};
inline constexpr Message kListingLineTooLong{ErrorKind::BadInput, "sector listing line %s is longer than %s characters"};
inline constexpr Message kListingLineFields{ErrorKind::BadInput, "sector listing line %s does not hold the %s fields: %s"};
// COMMAND, the files, then what to do.
inline constexpr Message kForeignOutput{ErrorKind::BadInput,
                                        "%s: %s exists and isorelink did not write it (or it changed since); "
                                        "it would be overwritten or deleted\n%s"};
inline constexpr Message kForeignOutputs{ErrorKind::BadInput,
                                         "%s: %s exist and isorelink did not write them (or they changed since); "
                                         "they would be overwritten or deleted\n%s"};
inline constexpr Message kForeignOutputAdvice{ErrorKind::BadInput,
                                              "move it away, or pass --force to let isorelink overwrite it"};
inline constexpr Message kForeignOutputsAdvice{ErrorKind::BadInput,
                                               "move them away, or pass --force to let isorelink overwrite them"};

// --out DIR: the jobs run in DIR on a link to the image.
inline constexpr Message kOutCannotCreate{ErrorKind::Io, "cannot create the folder %s"};
inline constexpr Message kOutNameTaken{ErrorKind::BadInput,
                                       "%s exists and is not %s: the jobs read the image under its own name there"};
inline constexpr Message kOutCannotLink{ErrorKind::Io, "cannot create the link %s to %s: %s"};
inline constexpr Message kNoTemporaryFolder{ErrorKind::Io, "cannot create a temporary folder in %s"};

inline constexpr Message kReplaceNothing{ErrorKind::BadInput, "replace: name at least one ISO_PATH=LOCAL_FILE"};
inline constexpr Message kReplaceBadRequest{ErrorKind::BadInput, "replace: expected ISO_PATH=LOCAL_FILE, got '%s'"};
inline constexpr Message kReplaceFolderGiven{ErrorKind::BadInput, "replace: %s is a folder, not a file"};
inline constexpr Message kReplaceNotInImage{ErrorKind::BadInput, "replace: %s is not a file in %s"};
inline constexpr Message kReplaceMultiExtent{
    ErrorKind::BadInput, "replace: %s is recorded in several extents; replace handles single-extent files only"};
inline constexpr Message kReplaceNotListed{ErrorKind::BadImage, "replace: the sector listing does not name %s"};
inline constexpr Message kReplaceNamedTwice{ErrorKind::BadInput, "replace: %s is named more than once"};
inline constexpr Message kReplaceNoSuchLine{ErrorKind::Internal, "replace: no such listing line"};
inline constexpr Message kReplaceTooLargeIso{ErrorKind::BadInput,
                                             "replace: %s is larger than one ISO 9660 extent can hold (4 GiB - 1)"};
inline constexpr Message kReplaceTooLargeUdf{
    ErrorKind::BadInput, "replace: %s is larger than one UDF extent can hold (1 GiB - 1) on a PS2 DVD"};
inline constexpr Message kReplaceBeyond32Bits{ErrorKind::BadInput,
                                              "replace: the new image would need sector numbers beyond 32 bits"};
inline constexpr Message kReplaceCannotOpen{ErrorKind::Io, "replace: cannot open %s"};
inline constexpr Message kReplaceCannotRead{ErrorKind::Io, "replace: cannot read %s"};
inline constexpr Message kReplaceCannotReadLength{ErrorKind::Io, "replace: cannot read the length of %s"};
inline constexpr Message kReplaceCannotReadSector{ErrorKind::Io, "replace: cannot read sector %s of %s"};
inline constexpr Message kReplaceCannotCreate{ErrorKind::Io, "replace: cannot create %s"};
inline constexpr Message kReplaceCannotWrite{ErrorKind::Io, "replace: cannot write %s"};

inline constexpr Message kUnpackNotInImage{ErrorKind::BadInput, "unpack: %s is neither a file nor a folder in %s"};
inline constexpr Message kUnpackBeyondImage{ErrorKind::BadImage,
                                            "unpack: %s lies beyond the end of %s (sector %s): the image is cut short"};
inline constexpr Message kUnpackNotAFolder{ErrorKind::BadInput,
                                           "unpack: %s is in the way: it is not a folder (a file or a link)"};
inline constexpr Message kUnpackCannotCreateFolder{ErrorKind::Io, "unpack: cannot create the folder %s: %s"};
inline constexpr Message kUnpackFolderInTheWay{ErrorKind::BadInput, "unpack: %s is a folder; the file would replace it"};
// Warnings: the file is left out and the rest unpacked.
inline constexpr Message kUnpackEmptyName{ErrorKind::BadImage, "%s has an empty name in its path: left out"};
inline constexpr Message kUnpackNamedTwice{ErrorKind::BadImage, "%s is recorded twice: the first one is unpacked"};
inline constexpr Message kUnpackFileAndFolder{ErrorKind::BadImage,
                                              "%s names both a file and a folder: the folder is unpacked"};
inline constexpr Message kUnpackReservedName{ErrorKind::BadImage,
                                             "%s has the name of isorelink's own record of what it wrote: left out"};

// Patches
inline constexpr Message kPatchUnknownType{ErrorKind::BadInput,
                                           "replace: %s: a patch is a .xdelta (VCDIFF) or a .ppf (PPF 3.0) file"};
inline constexpr Message kXdeltaMissing{ErrorKind::Io,
                                        "xdelta3 not found: install it (Debian: apt-get install xdelta3) or write a "
                                        ".ppf patch"};
inline constexpr Message kXdeltaFailed{ErrorKind::Io, "xdelta3 could not write %s (exit status %s)"};
inline constexpr Message kPpfShrunk{ErrorKind::BadInput,
                                    "a PPF patch cannot shorten an image: %s is shorter than %s; write a .xdelta patch"};
inline constexpr Message kPpfCannotWrite{ErrorKind::Io, "cannot write %s"};

// replace --from DIR
inline constexpr Message kReplaceFromNotFolder{ErrorKind::BadInput, "replace: %s is not a folder"};
inline constexpr Message kReplaceFromCannotList{ErrorKind::Io, "replace: cannot read the folder %s: %s"};
inline constexpr Message kReplaceFromStrangers{ErrorKind::BadInput, "replace: files of %s that %s does not hold: %s (replace changes the image's files and adds none)"};

inline constexpr Message kVerifyCannotOpen{ErrorKind::Io, "verify: cannot open %s"};

// Image formats: the readers of raw, CUE and compressed images, and convert.
inline constexpr Message kImageIsFolder{ErrorKind::BadInput, "%s is a folder, not a disc image"};
// The path, then the format's name.
inline constexpr Message kImageFormatRefused{ErrorKind::BadInput,
                                             "%s: %s: not supported; convert it to BIN/CUE or ISO first"};
inline constexpr Message kCueRefused{ErrorKind::BadInput, "%s: %s"};
inline constexpr Message kCueCannotOpenBin{ErrorKind::Io, "%s names %s, which cannot be opened"};
inline constexpr Message kRawTooShort{ErrorKind::BadImage, "%s is %s bytes long: %s"};
inline constexpr Message kPackedRefused{ErrorKind::BadImage, "%s: %s"};
// The path, then the library.
inline constexpr Message kPackedNoCodec{ErrorKind::BadInput,
                                        "%s: this isorelink was built without %s, so it reads no %s images; "
                                        "convert it to ISO with another build first"};
inline constexpr Message kBlockUnreadable{ErrorKind::BadImage, "%s: %s"};
// The image, what it is, the command to run.
inline constexpr Message kNeedsConvert{ErrorKind::BadInput,
                                       "%s is %s; the extraction reads 2,048-byte images: run `isorelink convert %s %s` "
                                       "first"};
inline constexpr Message kConvertSameFormat{ErrorKind::BadInput, "convert: %s and %s are both %s images"};
inline constexpr Message kConvertUnknownOutput{ErrorKind::BadInput,
                                               "convert: %s: name the output .iso, .cue, .bin, .cso or .zso"};
inline constexpr Message kConvertCannotCreate{ErrorKind::Io, "convert: cannot create %s"};
inline constexpr Message kConvertCannotWrite{ErrorKind::Io, "convert: cannot write %s"};
inline constexpr Message kConvertTooLarge{ErrorKind::BadInput, "convert: %s holds more sectors than a CD's addresses reach"};
inline constexpr Message kConvertIsSource{ErrorKind::BadInput, "convert: %s is the source image itself"};
inline constexpr Message kReplaceOutputIsSource{ErrorKind::BadInput,
                                                "replace: %s would be written over %s, which the image is read from"};

inline constexpr Message kDemoCannotCreateFolder{ErrorKind::Io, "demo: cannot create the folder %s"};
inline constexpr Message kDemoNoTemporaryFolder{ErrorKind::Io, "demo: no temporary folder"};
inline constexpr Message kDemoCannotCreateTemporary{ErrorKind::Io, "demo: cannot create a temporary folder in %s"};
inline constexpr Message kDemoCannotRead{ErrorKind::Io, "demo: cannot read %s"};
inline constexpr Message kDemoCannotWrite{ErrorKind::Io, "demo: cannot write %s"};
inline constexpr Message kDemoForeignAdvice{ErrorKind::BadInput,
                                            "move them away, or give the demo a folder of its own"};
inline constexpr Message kDemoNotVerified{ErrorKind::Internal, "demo: the new image did not verify"};

// The sample-image kit; its reasons are the argument.
inline constexpr Message kKit{ErrorKind::BadInput, "image kit: %s"};
inline constexpr Message kKitVolumeId{ErrorKind::BadInput, "image kit: volume identifier '%s' is not made of d-characters"};
inline constexpr Message kKitCannotCreate{ErrorKind::Io, "image kit: cannot create %s"};
inline constexpr Message kKitCannotReadContent{ErrorKind::Io, "image kit: cannot read the content of %s"};

} // namespace isorelink::msg
