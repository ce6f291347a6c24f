#pragma once
// File extents as xorriso and isoinfo report them; whole files read through 7-Zip and pycdlib.
#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace isorelink::test {

struct ReaderExtent {
    std::string path;          // "/DATA/A.BIN": upper case, no ";1"
    std::uint64_t sector = 0;
    std::uint64_t size = 0;    // xorriso: the whole file's; isoinfo: the record's
    std::uint64_t blocks = 0;  // xorriso only: the extent's sectors
    auto operator<=>(const ReaderExtent&) const = default;
};

// `xorriso -find / -exec report_lba`: one entry per extent, sorted.
std::vector<ReaderExtent> xorriso_extents(const std::string& image);
// `isoinfo -l`: one entry per file record, sorted.
std::vector<ReaderExtent> listed_records(const std::string& image);
// Path -> extent (a file's last extent when it has several).
std::map<std::string, ReaderExtent> by_path(const std::vector<ReaderExtent>& extents);

// `7z x -t<type>` ("iso" or "udf") into a folder; 7-Zip's exit code.
int seven_zip_extract(const std::string& image, const std::string& type, const std::string& folder);
// Debian's pycdlib under /usr/bin/python3 (hidden with the other readers when python3 is not on the oracle path).
bool have_pycdlib();
// Reads each path ("/DATA/A.BIN") through pycdlib's udf_path into folder + path.
bool pycdlib_udf_extract(const std::string& image, const std::vector<std::string>& paths, const std::string& folder);

// "\\DATA\\A.BIN" -> "/DATA/A.BIN"
std::string slashed(std::string iso_path);

} // namespace isorelink::test
