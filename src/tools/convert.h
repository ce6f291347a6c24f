#pragma once
// convert IN OUT: between a plain image (.iso), a raw image (.cue/.bin), a
// CSO and a ZSO, each side's format told by its name (IN by its content too).
// A raw image is written with a CUE sheet beside its .bin, Mode 2 Form 1
// sectors (a PS2 CD's) unless mode1 asks for Mode 1. OUT is guarded like
// every output: never overwritten unless isorelink wrote it or force.
#include <string>

#include "common/result.h"
#include "tools/output_guard.h"

namespace isorelink::host {

struct ConvertOptions {
    bool mode1 = false;
    bool quiet = false;
    GuardOptions guard;
};

struct ConvertReport {
    std::vector<std::string> written;  // the files, the .bin before its .cue
    std::string summary;               // one line
    std::vector<std::string> warnings;  // each "warning: ...", shown even when quiet
};

Expected<ConvertReport> run_convert(const std::string& in, const std::string& out, const ConvertOptions& options);

} // namespace isorelink::host
