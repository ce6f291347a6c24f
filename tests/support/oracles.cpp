#include "support/oracles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
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
    std::vector<ReaderExtent> entries;
    std::string directory;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (line.rfind("Directory listing of ", 0) == 0) {
            directory = line.substr(21);
            continue;
        }
        // "----------   0    0    0    9000 Dec  6 2026 [    184 00]  A.BIN;1"
        const auto first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] != '-') continue;  // files only
        const auto bracket = line.find('[');
        if (bracket == std::string::npos) continue;
        ReaderExtent entry;
        entry.sector = std::stoull(line.substr(bracket + 1));
        std::istringstream fields(line);
        std::string token;
        for (int i = 0; i < 5; ++i) fields >> token;
        entry.size = std::stoull(token);
        std::string name = line.substr(line.rfind(' ') + 1);
        name = name.substr(0, name.find(';'));
        if (directory.empty() || directory.back() != '/') directory += '/';
        entry.path = upper(directory + name);
        entries.push_back(entry);
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

bool have_pycdlib() { return run_command("/usr/bin/python3 -c 'import pycdlib'").exit_code == 0; }

bool pycdlib_udf_extract(const std::string& image, const std::vector<std::string>& paths, const std::string& folder) {
    const std::string script = folder + "/read_udf.py";
    std::filesystem::create_directories(folder);
    write_text(script,
               "import os, sys, pycdlib\n"
               "iso = pycdlib.PyCdlib()\n"
               "iso.open(sys.argv[1])\n"
               "for path in sys.argv[3:]:\n"
               "    local = sys.argv[2] + path\n"
               "    os.makedirs(os.path.dirname(local), exist_ok=True)\n"
               "    iso.get_file_from_iso(local, udf_path=path)\n");
    std::string command = "/usr/bin/python3 " + shell_quote(script) + " " + shell_quote(image);
    command += " " + shell_quote(folder);
    for (const auto& p : paths) command += " " + shell_quote(p);
    const auto result = run_command(command);
    if (result.exit_code != 0) std::fprintf(stderr, "pycdlib: %s\n", result.output.c_str());
    return result.exit_code == 0;
}

} // namespace isorelink::test
