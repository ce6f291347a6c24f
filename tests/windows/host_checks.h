#pragma once
// One check area of the test host each; they return a ctest exit code.
#include <string>

#include "module_api.h"

namespace host {

int check_exports(const Module& module);
int check_resources(const Module& module);
int check_status_file(const Module& module, const std::string& folder);
int check_message_pump(const Module& module, const std::string& folder);
int check_jobs(const Module& module, const std::string& kit, const std::string& reference);

} // namespace host
