#include "support/oracles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <sstream>

#include "support/test_support.h"

namespace isorelink::test {

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<ReaderExtent> sorted(std::vector<ReaderExtent> entries) {
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

std::string slashed(std::string iso_path) {
    std::replace(iso_path.begin(), iso_path.end(), '\\', '/');
    return iso_path;
}

std::vector<ReaderExtent> xorriso_extents(const std::string& image) {
    const auto result = run_command("xorriso -indev " + shell_quote(image) + " -find / -exec report_lba --");
    std::vector<ReaderExtent> entries;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        // File data lba:  0 ,      419 ,        1 ,      100 , '/AFIRST.BIN'
        unsigned long long xt = 0, start = 0, blocks = 0, size = 0;
        char path[1024] = {};
        if (std::sscanf(line.c_str(), "File data lba: %llu , %llu , %llu , %llu , '%1023[^']'", &xt, &start, &blocks,
                        &size, path) == 5)
            entries.push_back({path, start, size, blocks});
    }
    return sorted(entries);
}

std::vector<ReaderExtent> listed_records(const std::string& image) {
    const auto result = run_command("isoinfo -l -i " + shell_quote(image));
    // "----------   0    0    0    9000 Dec  6 2026 [    184 00]  A.BIN;1": files only; "[ 34 FFFF A.BIN;1"
    // for each extent but the last
    const std::regex file(R"(^\s*-\S*\s+\S+\s+\S+\s+\S+\s+(\d+) .*\[\s*(\d+) \w+\]?\s+([^;\s]+))");
    std::vector<ReaderExtent> entries;
    std::string directory;
    std::istringstream lines(result.output);
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Directory listing of ", 0) == 0) {
            directory = line.substr(21);
            directory.erase(directory.find_last_not_of(" \r/") + 1);  // "/DATA/" -> "/DATA", "/" -> ""
        } else if (std::regex_search(line, m, file)) {
            entries.push_back({upper(directory + "/" + m[3].str()), std::stoull(m[2]), std::stoull(m[1])});
        }
    }
    return sorted(entries);
}

std::map<std::string, ReaderExtent> by_path(const std::vector<ReaderExtent>& extents) {
    std::map<std::string, ReaderExtent> out;
    for (const auto& e : extents) out[e.path] = e;
    return out;
}

int seven_zip_extract(const std::string& image, const std::string& type, const std::string& folder) {
    return run_command("7z x -y -t" + type + " -o" + shell_quote(folder) + " " + shell_quote(image)).exit_code;
}

bool have_pycdlib() {
    return have_program("python3") && run_command("/usr/bin/python3 -c 'import pycdlib'").exit_code == 0;
}

bool pycdlib_udf_extract(const std::string& image, const std::vector<std::string>& paths, const std::string& folder) {
    const std::string script = "import os, sys, pycdlib\n"
                               "iso = pycdlib.PyCdlib()\n"
                               "iso.open(sys.argv[1])\n"
                               "for path in sys.argv[3:]:\n"
                               "    os.makedirs(os.path.dirname(sys.argv[2] + path), exist_ok=True)\n"
                               "    iso.get_file_from_iso(sys.argv[2] + path, udf_path=path)\n";
    std::string command = "/usr/bin/python3 -c " + shell_quote(script) + " " + shell_quote(image);
    command += " " + shell_quote(folder);
    for (const auto& p : paths) command += " " + shell_quote(p);
    const auto result = run_command(command);
    if (result.exit_code != 0) std::fprintf(stderr, "pycdlib: %s\n", result.output.c_str());
    return result.exit_code == 0;
}

} // namespace isorelink::test
