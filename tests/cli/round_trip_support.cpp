#include "cli/round_trip_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "imagekit/image_builder.h"

namespace isorelink::test {

namespace fs = std::filesystem;

Bytes sample_bytes(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::byte>(x & 0xFF);
    }
    return out;
}

std::string relative_path(const std::string& iso_path) {
    std::string out = iso_path.substr(1);
    for (auto& c : out)
        if (c == '\\') c = '/';
    return out;
}

namespace {

std::map<std::string, Bytes> sample_contents(ImageKind kind) {
    std::map<std::string, Bytes> files;
    const std::string cnf = kind == ImageKind::PspUmd ? "PSP GAME\r\n" : "BOOT2 = cdrom0:\\SLUS_000.00;1\r\n";
    files["\\SYSTEM.CNF"] = Bytes(reinterpret_cast<const std::byte*>(cnf.data()),
                                  reinterpret_cast<const std::byte*>(cnf.data()) + cnf.size());
    files["\\DATA\\GROW.BIN"] = sample_bytes(3000, 1);
    files["\\DATA\\SHRINK.BIN"] = sample_bytes(10000, 2);
    files["\\DATA\\SAME.BIN"] = sample_bytes(4000, 3);
    files["\\DATA\\KEEP.BIN"] = sample_bytes(5000, 4);
    files["\\MOVIE\\LAST.PSS"] = sample_bytes(20000, 5);
    return files;
}

// Data order of the kit images: GROW.BIN is followed at once by SHRINK.BIN.
const char* const kDataOrder[] = {"\\SYSTEM.CNF", "\\DATA\\GROW.BIN", "\\DATA\\SHRINK.BIN", "\\DATA\\SAME.BIN",
                                  "\\DATA\\KEEP.BIN", "\\MOVIE\\LAST.PSS"};

void patch(const std::string& path, std::uint64_t offset, std::string_view bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

std::optional<SampleImage> make_sample(Maker maker, ImageKind kind, const std::string& folder, std::string& why) {
    SampleImage sample;
    sample.kind = kind;
    sample.contents = sample_contents(kind);
    sample.path = (fs::path(folder) / "GAME.ISO").string();
    if (maker == Maker::Kit) {
        kit::ImageSpec spec;
        spec.kind = kind;
        for (const char* path : kDataOrder) {
            kit::FileSpec f;
            f.path = path;
            f.content = sample.contents[path];
            spec.files.push_back(std::move(f));
        }
        auto built = kit::write_image(spec, sample.path);
        if (!built) {
            why = "the image kit cannot build the sample: " + built.error().message;
            return std::nullopt;
        }
        return sample;
    }
    if (!have_program("genisoimage")) {
        why = "genisoimage is not installed";
        return std::nullopt;
    }
    const auto tree = fs::path(folder) / "tree";
    for (const auto& [path, bytes] : sample.contents) {
        const auto file = tree / relative_path(path);
        fs::create_directories(file.parent_path());
        write_bytes(file.string(), bytes);
    }
    // The system identifier gives the kind byte at 32777; "CD-XA001" at 33792 the header.
    const std::string system = kind == ImageKind::PspUmd ? "PSP GAME" : "PLAYSTATION";
    const auto made = run_command("genisoimage -quiet -sysid " + shell_quote(system) + " -V GAME -o " +
                                  shell_quote(sample.path) + " " + shell_quote(tree.string()));
    if (made.exit_code != 0) {
        why = "genisoimage failed: " + made.output;
        return std::nullopt;
    }
    patch(sample.path, 33792, "CD-XA001");
    fs::remove_all(tree);
    return sample;
}

namespace {
std::string to_iso_path(std::string path) {
    for (auto& c : path)
        if (c == '/') c = '\\';
    return path;
}
} // namespace

std::map<std::string, Placement> xorriso_placements(const std::string& image) {
    std::map<std::string, Placement> out;
    const auto r = run_command("xorriso -indev " + shell_quote(image) + " -find / -exec report_lba -- 2>/dev/null");
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        // File data lba:  0 ,      184 ,        5 ,     9000 , '/DATA/A.BIN'
        if (line.rfind("File data lba:", 0) != 0) continue;
        unsigned long long xt = 0, lba = 0, blocks = 0, size = 0;
        char name[1024] = {};
        if (std::sscanf(line.c_str(), "File data lba: %llu , %llu , %llu , %llu , '%1023[^']'", &xt, &lba, &blocks,
                        &size, name) == 5)
            out[to_iso_path(name)] = {static_cast<std::uint32_t>(lba), size};
    }
    return out;
}

std::map<std::string, Placement> isoinfo_placements(const std::string& image) {
    std::map<std::string, Placement> out;
    const auto r = run_command("isoinfo -l -i " + shell_quote(image));
    std::istringstream lines(r.output);
    std::string line, directory;
    while (std::getline(lines, line)) {
        // Directory listing of /DATA/
        if (line.rfind("Directory listing of ", 0) == 0) {
            directory = line.substr(21);
            continue;
        }
        // ----------   0    0    0            9000 Dec  6 2026 [    184 00]  A.BIN;1
        const auto open = line.find('[');
        const auto close = line.find(']');
        if (open == std::string::npos || close == std::string::npos || line[0] == 'd') continue;
        unsigned long long lba = 0;
        std::sscanf(line.c_str() + open + 1, "%llu", &lba);
        std::string name = line.substr(close + 1);
        name.erase(0, name.find_first_not_of(' '));
        name = name.substr(0, name.find(';'));
        while (!name.empty() && name.back() == ' ') name.pop_back();
        std::istringstream fields(line.substr(0, open));
        std::string field;
        std::vector<std::string> parts;
        while (fields >> field) parts.push_back(field);
        if (parts.size() < 5) continue;
        out[to_iso_path(directory + name)] = {static_cast<std::uint32_t>(lba), std::stoull(parts[4])};
    }
    return out;
}

int seven_zip_extract(const std::string& image, const std::string& type, const std::string& folder) {
    return run_command("7z x -y -t" + type + " -o" + shell_quote(folder) + " " + shell_quote(image)).exit_code;
}

bool pycdlib_udf_extract(const std::string& image, const std::vector<std::string>& paths, const std::string& folder) {
    std::string script = "import sys, pycdlib\n"
                         "iso = pycdlib.PyCdlib()\n"
                         "iso.open(sys.argv[1])\n"
                         "for i, p in enumerate(sys.argv[3:]):\n"
                         "    iso.get_file_from_iso(sys.argv[2] + '/' + str(i), udf_path=p)\n"
                         "iso.close()\n";
    const auto script_path = (fs::path(folder) / "read_udf.py").string();
    write_text(script_path, script);
    std::string command = "/usr/bin/python3 " + shell_quote(script_path) + " " + shell_quote(image) + " " +
                          shell_quote(folder);
    for (const auto& p : paths) command += " " + shell_quote("/" + relative_path(p));
    return run_command(command).exit_code == 0;
}

} // namespace isorelink::test
