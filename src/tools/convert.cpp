#include "tools/convert.h"

#include <filesystem>

#include "common/messages.h"
#include "format/cue_sheet.h"
#include "platform/file.h"
#include "read/image_source.h"
#include "tools/format_bridge.h"
#include "tools/image_path.h"

namespace isorelink::host {

namespace {

namespace fs = std::filesystem;

std::optional<ImageFormat> format_by_name(const std::string& path) {
    auto ext = fs::path(path).extension().string();
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".iso") return ImageFormat::Plain;
    if (ext == ".cue" || ext == ".bin") return ImageFormat::Raw;
    if (ext == ".cso") return ImageFormat::Cso;
    if (ext == ".zso") return ImageFormat::Zso;
    return std::nullopt;
}

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

Expected<ConvertReport> convert_unguarded(const ImageSource& source, const std::string& in,
                                          const std::vector<std::string>& outputs, ImageFormat to,
                                          const ConvertOptions& options) {
    ConvertReport report;
    const auto size = source.size().value_or(0);
    std::string detail;
    switch (to) {
    case ImageFormat::Plain: {
        if (auto done = decode_to_plain(source, outputs[0], in, options.quiet); !done)
            return with_prefix("convert: ", done.error());
        break;
    }
    case ImageFormat::Raw: {
        const bool mode2 = !options.mode1;
        auto written = write_raw_image(source, outputs[0], mode2, nullptr, fresh_subheaders(source), options.quiet);
        if (!written) return with_prefix("convert: ", written.error());
        auto cue = File::open(outputs[1], "wb");
        const auto sheet = cue::single_track(fs::path(outputs[0]).filename().string(),
                                             mode2 ? cue::TrackMode::Mode2Raw : cue::TrackMode::Mode1Raw);
        if (!cue) return job_error(msg::kConvertCannotCreate, outputs[1]);
        if (!cue->write_text(sheet) || !cue->close()) return job_error(msg::kConvertCannotWrite, outputs[1]);
        detail = std::to_string(written->sectors) + (mode2 ? " Mode 2 Form 1" : " Mode 1") + " sectors";
        break;
    }
    case ImageFormat::Cso:
    case ImageFormat::Zso: {
        auto written = write_packed_image(source, outputs[0], to == ImageFormat::Cso ? packed::Family::Cso : packed::Family::Zso,
                                          nullptr, options.quiet);
        if (!written) return with_prefix("convert: ", written.error());
        detail = std::to_string(written->blocks) + " blocks, " + std::to_string(written->file_size) + " bytes";
        break;
    }
    }
    if (const auto* raw = dynamic_cast<const RawSource*>(&source); raw && raw->form2_sectors_read() > 0)
        report.warnings.push_back("warning: " + std::to_string(raw->form2_sectors_read()) +
                                  " Mode 2 Form 2 sectors kept only the first 2,048 of their 2,324 bytes (replace on "
                                  "the BIN/CUE keeps them whole)");
    report.written = outputs;
    report.summary = in + " (" + std::string(format_name(source.format())) + ", " + std::to_string(size) +
                     " bytes of image) -> " + std::string(format_name(to)) + (detail.empty() ? "" : ", " + detail);
    return report;
}

} // namespace

Expected<ConvertReport> run_convert(const std::string& in, const std::string& out, const ConvertOptions& options) {
    const auto to = format_by_name(out);
    if (!to) return job_error(msg::kConvertUnknownOutput, out);
    auto source = open_image_source(in);
    if (!source) return with_prefix("convert: ", source.error());
    const ImageFormat from = (*source)->format();
    if (from == *to) return job_error(msg::kConvertSameFormat, {in, out, format_name(from)});

    std::vector<std::string> outputs;
    if (*to == ImageFormat::Raw) {
        const fs::path base = fs::path(out).replace_extension();
        outputs = {base.string() + ".bin", base.string() + ".cue"};
    } else {
        outputs = {out};
    }
    // Never write over what is read: the image, or a raw image's .bin.
    std::vector<std::string> sources{in};
    if (const auto* raw = dynamic_cast<const RawSource*>(source->get())) sources.push_back(raw->layout().bin_path);
    for (const auto& o : outputs)
        for (const auto& s : sources)
            if (same_file(o, s)) return job_error(msg::kConvertIsSource, o);

    const auto [folder, name] = cli::split_image_path(outputs[0]);
    OutputGuard guard(folder, outputs, options.guard);
    if (auto allowed = guard.check("convert"); !allowed) return allowed.error();
    auto report = convert_unguarded(**source, in, outputs, *to, options);
    if (!report) {
        const auto cleaned = guard.failed();
        return cleaned.empty() ? report.error() : JobError{report.error().kind, report.error().message + "\n" + cleaned};
    }
    guard.succeeded(outputs, {});
    return report;
}

} // namespace isorelink::host
