#include "tools/demo.h"

#include <cstdarg>
#include <filesystem>
#include <random>
#include <vector>

#include "common/messages.h"
#include "platform/file.h"
#include "extract/extraction_job.h"
#include "tools/guarded_jobs.h"
#include "tools/replace_job.h"
#include "read/sector_listing.h"
#include "tools/verify_image.h"
#include "kit/image_builder.h"

namespace isorelink::host {

namespace fs = std::filesystem;

namespace {

constexpr const char* kImageName = "SAMPLE.ISO";

// The demo's account; nothing when `out` is null (--quiet).
#if defined(__MINGW_PRINTF_FORMAT)
__attribute__((format(__MINGW_PRINTF_FORMAT, 2, 3)))
#elif defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void say(std::FILE* out, const char* format, ...) {
    if (out == nullptr) return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(out, format, arguments);
    va_end(arguments);
}

std::vector<std::byte> bytes_of(std::string_view text) {
    std::vector<std::byte> out(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<std::byte>(text[i]);
    return out;
}

// Script lines as a game's text bank might hold them, repeated to a size.
std::string script_text(std::string_view line, std::size_t size) {
    std::string text;
    while (text.size() < size) text += line;
    text.resize(size);
    return text;
}

kit::FileRecipe explicit_file(std::string path, std::string_view text) {
    kit::FileRecipe f;
    f.path = std::move(path);
    f.content = bytes_of(text);
    return f;
}

kit::FileRecipe pattern_file(std::string path, std::uint64_t size) {
    kit::FileRecipe f;
    f.path = std::move(path);
    f.pattern = kit::ContentPattern::Pattern;
    f.size = size;
    return f;
}

kit::ImageRecipe sample_recipe() {
    kit::ImageRecipe recipe;
    recipe.kind = ImageKind::Ps2Dvd;
    recipe.volume_id = "ISORELINK_DEMO";
    recipe.files.push_back(
        explicit_file("\\SYSTEM.CNF", "BOOT2 = cdrom0:\\SLUS_000.00;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n"));
    recipe.files.push_back(pattern_file("\\SLUS_000.00", 180000));
    recipe.files.push_back(
        explicit_file("\\DATA\\TEXT.BIN", script_text("Welcome, traveller. The gate opens at dawn.\n", 6000)));
    recipe.files.push_back(pattern_file("\\DATA\\FONT.BIN", 20000));
    recipe.files.push_back(pattern_file("\\DATA\\MOVIE.PSS", 400000));
    recipe.files.push_back(pattern_file("\\DATA\\SOUND.BIN", 50000));
    return recipe;
}

Expected<std::string> make_folder(const std::string& asked) {
    std::error_code ec;
    if (!asked.empty()) {
        fs::create_directories(asked, ec);
        if (!fs::is_directory(asked, ec)) return job_error(msg::kDemoCannotCreateFolder, asked);
        return asked;
    }
    std::random_device seed;
    std::mt19937 random(seed());
    const auto base = fs::temp_directory_path(ec);
    if (ec) return job_error(msg::kDemoNoTemporaryFolder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("isorelink-demo-" + std::to_string(random() % 1000000));
        if (fs::create_directory(candidate, ec)) return candidate.string();
    }
    return job_error(msg::kDemoCannotCreateTemporary, base.string());
}

std::string prefix_of(const std::string& folder) {
    std::string prefix = folder;
    if (prefix.empty() || (prefix.back() != '/' && prefix.back() != static_cast<char>(fs::path::preferred_separator)))
        prefix.push_back(static_cast<char>(fs::path::preferred_separator));
    return prefix;
}

Expected<std::vector<ListingLine>> listing_of(const std::string& folder, const std::string& name) {
    auto guarded = run_guarded_extraction(folder, name, {});
    if (!guarded.summary) return guarded.failure.error;
    const auto& extraction = guarded.summary;
    auto in = File::open(extraction->names.sector_listing, "rb");
    const auto size = in ? in->size() : std::nullopt;
    if (!size) return job_error(msg::kDemoCannotRead, extraction->names.sector_listing);
    std::string text(static_cast<std::size_t>(*size), '\0');
    in->read(std::as_writable_bytes(std::span(text)));
    return parse_sector_listing(text, extraction->kind);
}

void show_lines(std::FILE* out, const std::vector<ListingLine>& lines, const std::vector<ListingLine>* before) {
    for (const auto& line : lines) {
        bool changed = false;
        if (before != nullptr)
            for (const auto& old : *before)
                if (old.path == line.path) changed = old.sector != line.sector || old.size != line.size;
        auto text = format_listing_line(line, ImageKind::Ps2Dvd);
        text.resize(text.size() - 2);  // CR LF
        say(out, "  %s %s\n", changed ? "*" : " ", text.c_str());
    }
}

Status write_file(const std::string& path, std::string_view text) {
    auto f = File::open(path, "wb");
    if (!f || !f->write_text(text) || !f->close()) return job_error(msg::kDemoCannotWrite, path);
    return ok_status();
}

Status run_demo_in(const std::string& folder, bool temporary, std::FILE* out) {
    const std::string prefix = prefix_of(folder);
    const std::string image = prefix + kImageName;
    const std::string text_path = prefix + "TEXT-translated.BIN";
    const std::string font_path = prefix + "FONT-trimmed.BIN";
    // In a folder of the user's, the sample and its inputs must not replace their files.
    OutputGuard guard(prefix, {image, text_path, font_path}, {});
    if (auto allowed = guard.check("demo", msg::kDemoForeignAdvice.text); !allowed)
        return allowed.error();
    say(out, "isorelink demo in %s%s\n\n", folder.c_str(),
        temporary ? " (a temporary folder, removed at the end: isorelink demo DIR keeps the files)" : "");

    auto built = kit::write_image(sample_recipe(), image);
    if (!built) return with_prefix("demo: ", built.error());
    say(out, "1. built %s: a PS2 DVD image (ISO 9660 + UDF bridge), %zu files, %u sectors\n\n", image.c_str(),
                 built->extents.size(), built->sector_count);

    auto before = listing_of(prefix, kImageName);
    if (!before) return before.error();
    say(out, "2. extract: %s-LSN.TXT (sector|size|record+2|UDF descriptor|path)\n", image.c_str());
    show_lines(out, *before, nullptr);

    // A translation longer than the original, and a trimmed font.
    const std::string translated = script_text("Willkommen, Reisender. Das Tor oeffnet sich im Morgengrauen.\n", 15000);
    if (auto s = write_file(text_path, translated); !s) return s;
    if (auto s = write_file(font_path, script_text("glyphs ", 7000)); !s) return s;
    guard.succeeded({image, text_path, font_path}, {});
    say(out, "\n3. replace \\DATA\\TEXT.BIN with a larger file (15000 bytes) and \\DATA\\FONT.BIN with a "
                      "smaller one (7000 bytes)\n");
    auto replaced = run_replace(image, {{"\\DATA\\TEXT.BIN", text_path}, {"data/font.bin", font_path}}, true);
    if (!replaced) return replaced.error();
    say(out, "%s", describe_replace(*replaced).c_str());

    auto verified = verify_image(replaced->new_image);
    if (!verified) return verified.error();
    say(out, "\n4. verify: %s\n", verified->summary.c_str());
    for (const auto& p : verified->problems) say(out, "   %s\n", p.c_str());

    auto after = listing_of(prefix, "NEW-" + std::string(kImageName));
    if (!after) return after.error();
    say(out, "\n5. extract NEW-%s: the listing after (* = moved or resized)\n", kImageName);
    show_lines(out, *after, &*before);
    say(out, "\nEvery other file kept its sector. Try your own image:\n"
                      "  isorelink extract GAME.ISO\n  isorelink replace GAME.ISO '\\DATA\\TEXT.BIN=my-text.bin'\n"
                      "  isorelink verify NEW-GAME.ISO\n");
    if (!verified->problems.empty()) return job_error(msg::kDemoNotVerified);
    return ok_status();
}

} // namespace

Status run_demo(const std::string& asked_folder, std::FILE* out) {
    auto folder = make_folder(asked_folder);
    if (!folder) return folder.error();
    const bool temporary = asked_folder.empty();
    auto status = run_demo_in(*folder, temporary, out);
    if (temporary) {
        std::error_code ec;
        fs::remove_all(*folder, ec);
    }
    return status;
}

} // namespace isorelink::host
